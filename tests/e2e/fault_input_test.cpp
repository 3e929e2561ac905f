// Bad input to linkxfer: a file to send that is a folder or may not be read,
// a received file that lands on a full disk or in a read-only folder, a COM
// port that is a plain file. Each ends with its message and status, tells a
// waiting sender, and never claims success.
//
// Root reads and writes whatever the permissions say; for the permission rows
// a root test run starts linkxfer without the capabilities that override
// them, so root meets the permissions as anyone else does (and skips those
// rows where it cannot).

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

namespace fs = std::filesystem;
using testing::PrintTo;

constexpr uint32_t kRunLimitMs = 30000;
constexpr char kSetpriv[] = "/usr/bin/setpriv";
constexpr char kFatalTail[] = "Plz....wait....\nClose the Command Window automatically!!\n";

struct InputScene {
  E2eSandbox sandbox;
  std::unique_ptr<E2eDevsim> wire;
  std::unique_ptr<E2eProgram> sender;
  std::string work_dir;  // linkxfer's, when not host/
  std::string failure;
};

void Wire(InputScene& s) {
  s.wire = std::make_unique<E2eDevsim>(
      s.sandbox, std::vector<std::string>{"wire", "--com", "1", "--com", "2", "--baud", "115200"});
  if (!s.wire->WaitReady()) s.failure = s.wire->Diagnostics();
}

// sz offers image.bin on COM2.
void WireWithSender(InputScene& s) {
  Wire(s);
  if (!WriteBytes(s.sandbox.peer() / "image.bin", RandomBytes(3000, 81))) s.failure = "no file";
  ChildLaunch launch;
  launch.argv = {"/usr/bin/sz", "--ymodem", "image.bin"};
  launch.work_dir = s.sandbox.peer().string();
  launch.line_path = s.sandbox.ComPath(2);
  s.sender = std::make_unique<E2eProgram>(s.sandbox, "sz", launch);
  if (!s.sender->started()) s.failure = s.sender->Diagnostics();
}

void FolderToSend(InputScene& s) {
  Wire(s);
  fs::create_directory(s.sandbox.host() / "folder.bin");
}

void UnreadableFile(InputScene& s) {
  Wire(s);
  if (!WriteBytes(s.sandbox.host() / "secret.bin", RandomBytes(1000, 82))) s.failure = "no file";
  fs::permissions(s.sandbox.host() / "secret.bin", fs::perms::none);
}

// The received file's name leads to /dev/full.
void FullDiskForSendersName(InputScene& s) {
  WireWithSender(s);
  fs::create_symlink("/dev/full", s.sandbox.host() / "image.bin");
}

void FullDiskForGivenName(InputScene& s) {
  WireWithSender(s);
  fs::create_symlink("/dev/full", s.sandbox.host() / "out.bin");
}

void MakeReadOnlyFolder(InputScene& s) {
  fs::create_directory(s.sandbox.host() / "ro");
  fs::permissions(s.sandbox.host() / "ro", fs::perms::owner_read | fs::perms::owner_exec |
                                                fs::perms::group_read | fs::perms::group_exec |
                                                fs::perms::others_read | fs::perms::others_exec);
}

void ReadOnlyFolderForSendersName(InputScene& s) {
  WireWithSender(s);
  MakeReadOnlyFolder(s);
  s.work_dir = (s.sandbox.host() / "ro").string();
}

void ReadOnlyFolderForGivenName(InputScene& s) {
  Wire(s);
  MakeReadOnlyFolder(s);
}

void ComIsPlainFile(InputScene& s) {
  if (!WriteBytes(s.sandbox.dev() / "com5", Bytes(10, 'x')) ||
      !WriteBytes(s.sandbox.host() / "image.bin", RandomBytes(1000, 83))) {
    s.failure = "no file";
  }
}

enum Permissions { kAsStarted, kObeyed };

struct InputRow {
  const char* name;
  void (*prepare)(InputScene&);
  std::vector<std::string> args;
  Permissions permissions;
  int exit_status;
  const char* err_text;
  const char* must_not_exist;  // under host/, nullptr: nothing
};

const InputRow kRows[] = {
    {"file to send is a folder", FolderToSend, {"-sy", "-p1", "folder.bin"}, kAsStarted, 212,
     "Can't open file 'folder.bin'. Error -300\n\n", nullptr},
    {"file to send may not be read", UnreadableFile, {"-sy", "-p1", "secret.bin"}, kObeyed, 212,
     "Can't open file 'secret.bin'. Error -300\n\n", nullptr},
    {"YMODEM receive under the sender's name onto a full disk", FullDiskForSendersName,
     {"-r", "-p1", "-t10"}, kAsStarted, 112, "Error during file transfer. Error -400\n\n", nullptr},
    {"YMODEM receive into a given file on a full disk", FullDiskForGivenName,
     {"-r", "-p1", "-t10", "out.bin"}, kAsStarted, 112,
     "Error during file transfer. Error -400\n\n", nullptr},
    {"YMODEM receive under the sender's name in a read-only folder", ReadOnlyFolderForSendersName,
     {"-r", "-p1", "-t10"}, kObeyed, 112, "Error during file transfer. Error -400\n\n",
     "ro/image.bin"},
    {"XMODEM receive into a read-only folder", ReadOnlyFolderForGivenName,
     {"-rc", "-p1", "-t10", "ro/image.bin"}, kObeyed, 112,
     "Can't create file 'ro/image.bin'. Error -400\n\n", "ro/image.bin"},
    {"COM port that is a plain file", ComIsPlainFile, {"-sy", "-p5", "image.bin"}, kAsStarted, 156,
     "Can't open port. Error -100\n\n", nullptr},
};

// What a root run puts before linkxfer so that file permissions apply to it.
const std::vector<std::string> kWithoutOverride = {kSetpriv, "--bounding-set",
                                                   "-dac_override,-dac_read_search"};

bool NeedsDroppedOverride(const InputRow& row) {
  return row.permissions == kObeyed && geteuid() == 0;
}

// Whether this machine lets a root test drop the override (setpriv present,
// and the bounding set may be changed).
bool CanDropOverride(E2eSandbox& sandbox) {
  ChildLaunch launch;
  launch.argv = kWithoutOverride;
  launch.argv.push_back("/bin/true");
  E2eProgram probe(sandbox, "setpriv", launch);
  const std::optional<ExitStatus> status = probe.Finish(kRunLimitMs);
  return status && status->code == 0;
}

std::unique_ptr<E2eProgram> StartFor(InputScene& s, const InputRow& row) {
  ChildLaunch launch;
  if (NeedsDroppedOverride(row)) launch.argv = kWithoutOverride;
  launch.argv.push_back(ProgramPath("linkxfer"));
  launch.argv.insert(launch.argv.end(), row.args.begin(), row.args.end());
  launch.work_dir = s.work_dir.empty() ? s.sandbox.host().string() : s.work_dir;
  return std::make_unique<E2eProgram>(s.sandbox, "linkxfer", launch);
}

class BadInput : public ::testing::TestWithParam<InputRow> {};

TEST_P(BadInput, StatusMessageAndNoSuccess) {
  const InputRow& row = GetParam();
  InputScene scene;
  ASSERT_TRUE(scene.sandbox.ok());
  if (NeedsDroppedOverride(row) && !CanDropOverride(scene.sandbox)) {
    GTEST_SKIP() << "running as root, and setpriv cannot drop the capabilities that pass over "
                    "file permissions: nothing would be refused";
  }
  row.prepare(scene);
  ASSERT_EQ(scene.failure, "");

  auto linkxfer = StartFor(scene, row);
  const std::optional<ExitStatus> status = linkxfer->Finish(kRunLimitMs);
  const std::string why = linkxfer->Diagnostics();
  ASSERT_TRUE(status) << "still running\n" << why;
  EXPECT_EQ(status->Describe(), "exit status " + std::to_string(row.exit_status)) << why;
  EXPECT_NE(linkxfer->Err().find(row.err_text), std::string::npos) << why;
  const std::string out = linkxfer->Out();
  EXPECT_NE(out.find(kFatalTail), std::string::npos) << why;
  EXPECT_EQ(out.find("OK\n"), std::string::npos) << why;
  // Nothing is sent from a file that cannot be read: no request, no blocks.
  EXPECT_EQ(out.find("Try to send Request packet!"), std::string::npos) << why;
  if (row.must_not_exist) {
    EXPECT_FALSE(fs::exists(scene.sandbox.host() / row.must_not_exist)) << why;
  }
  // A sender that was under way hears the cancel and gives up.
  if (scene.sender) ExpectGaveUp(*scene.sender, "Cancelled", kRunLimitMs);
}

INSTANTIATE_TEST_SUITE_P(E2e, BadInput, ::testing::ValuesIn(kRows), XferRowName<InputRow>);

}  // namespace
}  // namespace flashkit::testing
