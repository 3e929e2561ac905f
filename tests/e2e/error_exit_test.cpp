// linkxfer's failures as a shell sees them: exit status (the low 8 bits of
// the negative code), the message on standard error, and no success text.

#include <fcntl.h>
#include <sys/file.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <filesystem>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "tests/support/e2e_devsim.h"
#include "tests/support/e2e_program.h"
#include "tests/support/e2e_sandbox.h"
#include "tests/support/xfer_row_name.h"

namespace flashkit::testing {
namespace {

using testing::PrintTo;

constexpr uint32_t kRunLimitMs = 30000;
constexpr uint32_t kReadyLimitMs = 10000;
constexpr char kFatalTail[] = "Plz....wait....\nClose the Command Window automatically!!\n";

// What runs around the linkxfer under test.
struct ErrorScene {
  E2eSandbox sandbox;
  std::unique_ptr<E2eDevsim> devsim;
  std::unique_ptr<E2eProgram> holder;  // another program on the same port
  std::unique_ptr<E2eProgram> peer;    // a sender on the other end of the wire
  int lock_fd = -1;
  std::string work_dir;  // linkxfer's, when not the host folder
  std::string failure;   // why the scene could not be set up

  ~ErrorScene() {
    if (lock_fd >= 0) close(lock_fd);
  }
};

void NoDevices(ErrorScene&) {}

void Wire(ErrorScene& s) {
  s.devsim = std::make_unique<E2eDevsim>(
      s.sandbox, std::vector<std::string>{"wire", "--com", "1", "--com", "2", "--baud", "115200"});
  if (!s.devsim->WaitReady()) s.failure = s.devsim->Diagnostics();
}

// A first linkxfer capturing a board's log holds COM1.
void PortHeldByLinkxfer(ErrorScene& s) {
  s.devsim = std::make_unique<E2eDevsim>(
      s.sandbox, std::vector<std::string>{"board", "--com", "1", "--baud", "115200"});
  if (!s.devsim->WaitReady()) {
    s.failure = s.devsim->Diagnostics();
    return;
  }
  s.holder = StartLinkxfer(s.sandbox, {"-p1", "-lf" + s.sandbox.LogPath("first.log"), "-lt30"});
  if (!s.holder->WaitForOut("Capturing log to", kReadyLimitMs)) s.failure = s.holder->Diagnostics();
}

// Another program holds the advisory lock on COM1 (root passes TIOCEXCL).
void PortLockedByAnotherProgram(ErrorScene& s) {
  Wire(s);
  s.lock_fd = open(s.sandbox.ComPath(1).c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC);
  if (s.lock_fd < 0 || flock(s.lock_fd, LOCK_EX | LOCK_NB) != 0) s.failure = "cannot lock COM1";
}

void StartSender(ErrorScene& s, const std::vector<std::string>& argv) {
  ChildLaunch launch;
  launch.argv = argv;
  launch.work_dir = s.sandbox.peer().string();
  launch.line_path = s.sandbox.ComPath(2);
  s.peer = std::make_unique<E2eProgram>(s.sandbox, "sz", launch);
  if (!s.peer->started()) s.failure = s.peer->Diagnostics();
}

// sz offers image.bin to a linkxfer working in /proc, where no one, root
// included, can create a file.
void SenderToUnwritableFolder(ErrorScene& s) {
  Wire(s);
  if (!WriteBytes(s.sandbox.peer() / "image.bin", RandomBytes(300, 1))) s.failure = "no file";
  StartSender(s, {"/usr/bin/sz", "--ymodem", "image.bin"});
  s.work_dir = "/proc";
}

// sz names the file "../escaped.bin"; from host/deeper that would land in host/.
void SenderNamingParentFolder(ErrorScene& s) {
  Wire(s);
  if (!WriteBytes(s.sandbox.root() / "escaped.bin", RandomBytes(300, 1))) s.failure = "no file";
  std::filesystem::create_directory(s.sandbox.host() / "deeper");
  StartSender(s, {"/usr/bin/sz", "--ymodem", "--full-path", "../escaped.bin"});
  s.work_dir = (s.sandbox.host() / "deeper").string();
}

struct ErrorRow {
  const char* name;
  void (*prepare)(ErrorScene&);
  std::vector<std::string> args;
  int exit_status;
  const char* err_text;
  const char* out_text;        // nullptr: nothing particular
  const char* must_not_exist;  // relative to the sandbox, nullptr: nothing
  bool out_at_start = false;   // standard output begins with out_text
};

constexpr const char* kNothing = nullptr;

const ErrorRow kRows[] = {
    {"port held by another linkxfer", PortHeldByLinkxfer, {"-sy", "-p1", "image.bin"}, 154,
     "Can't open port. Error -102\n\n", kNothing, kNothing},
    {"port locked by another program", PortLockedByAnotherProgram, {"-sy", "-p1", "image.bin"},
     154, "Can't open port. Error -102\n\n", kNothing, kNothing},
    {"no such port", NoDevices, {"-sy", "-p7", "image.bin"}, 155,
     "Can't open port. Error -101\n\n", kNothing, kNothing},
    {"port number 1000", NoDevices, {"-p1000"}, 155,
     "Can't open port. Error -101\n\n", kNothing, kNothing},
    {"file to send missing", Wire, {"-sy", "-p1", "missing.bin"}, 212,
     "Can't open file 'missing.bin'. Error -300\n\n", kNothing, kNothing},
    {"log file in a missing folder", Wire, {"-p1", "-lfno/such/log.txt"}, 11,
     "Can't create LogFile file 'no/such/log.txt'. Error -501\n\n", kNothing, kNothing},
    {"XMODEM receive into a missing folder", Wire, {"-rx", "-p1", "no/such/image.bin"}, 112,
     "Can't create file 'no/such/image.bin'. Error -400\n\n", kNothing, kNothing},
    {"YMODEM receive where no file can be created", SenderToUnwritableFolder,
     {"-r", "-p1", "-t5"}, 112, "Error during file transfer. Error -400\n\n", kNothing, kNothing},
    {"YMODEM receive of a name into the parent folder (..)", SenderNamingParentFolder,
     {"-r", "-p1", "-t5"}, 112, "Error during file transfer. Error -400\n\n", kNothing,
     "host/escaped.bin"},
    {"USB with no device", NoDevices, {"-u", "-sy", "image.bin"}, 151,
     "Error during file transfer. Error -105\n\n",
     "-u-syimage.binUsbConnect errorOpenUSBHandler errorCreateComInfo errorUSB Opened "
     "successfully.\n",
     kNothing, true},
    {"path to no device", NoDevices, {"-sy", "-p{root}/dev/ttyUSB9", "image.bin"}, 155,
     "/dev/ttyUSB9': no such device. Error -101\n\n", kNothing, kNothing},
    {"path of a folder", NoDevices, {"-sy", "-p{root}/dev", "image.bin"}, 156,
     "/dev': it is a folder, not a serial port. Error -100\n\n", kNothing, kNothing},
    {"path of a port another program holds", PortLockedByAnotherProgram,
     {"-sy", "-p{root}/dev/com1", "image.bin"}, 154,
     "/dev/com1': another program is using it. Error -102\n\n", kNothing, kNothing},
    {"-h prints the usage", NoDevices, {"-h"}, 0, "", " [options] [file1 [file2]]\n", kNothing},
    {"unknown option", NoDevices, {"-q"}, 1, "Invalid option '-q'\nTry '", kNothing, kNothing},
};

class ErrorExit : public ::testing::TestWithParam<ErrorRow> {};

TEST_P(ErrorExit, StatusAndMessage) {
  const ErrorRow& row = GetParam();
  ErrorScene scene;
  ASSERT_TRUE(scene.sandbox.ok());
  ASSERT_TRUE(WriteBytes(scene.sandbox.host() / "image.bin", RandomBytes(1000, 3)));
  row.prepare(scene);
  ASSERT_EQ(scene.failure, "");

  std::vector<std::string> args = row.args;
  for (std::string& arg : args) {
    if (const size_t at = arg.find("{root}"); at != std::string::npos) {
      arg.replace(at, 6, scene.sandbox.root().string());
    }
  }
  auto linkxfer = StartLinkxfer(scene.sandbox, args, scene.work_dir);
  const std::optional<ExitStatus> status = linkxfer->Finish(kRunLimitMs);
  const std::string why = linkxfer->Diagnostics();
  ASSERT_TRUE(status) << "still running\n" << why;
  EXPECT_EQ(status->Describe(), "exit status " + std::to_string(row.exit_status)) << why;
  EXPECT_NE(linkxfer->Err().find(row.err_text), std::string::npos) << why;
  const std::string out = linkxfer->Out();
  if (row.out_text) {
    EXPECT_NE(out.find(row.out_text), std::string::npos) << why;
    if (row.out_at_start) {
      EXPECT_EQ(out.find(row.out_text), 0u) << why;
    }
  }
  EXPECT_EQ(out.find("Sent OK"), std::string::npos) << why;
  EXPECT_EQ(out.find("Received OK"), std::string::npos) << why;
  if (row.exit_status > 1) {
    EXPECT_NE(out.find(kFatalTail), std::string::npos) << why;
  }
  if (row.must_not_exist) {
    EXPECT_FALSE(std::filesystem::exists(scene.sandbox.root() / row.must_not_exist)) << why;
  }
  // The sender hears the cancel and gives up.
  if (scene.peer) ExpectGaveUp(*scene.peer, "Receiver Cancelled", kRunLimitMs);
}

INSTANTIATE_TEST_SUITE_P(E2e, ErrorExit, ::testing::ValuesIn(kRows), XferRowName<ErrorRow>);

}  // namespace
}  // namespace flashkit::testing
