// The device goes away in the middle of a run: devsim is stopped while
// linkxfer sends, receives or captures on its pseudo-terminal, or while it
// sends to its USB bulk device, and while flashpanel's bootloader download
// writes into devsim mcu. Every one ends in failure, never "OK", and keeps
// what had arrived.

#include <fcntl.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <memory>
#include <optional>
#include <set>
#include <string>
#include <utility>
#include <vector>

#include "engines/download_progress.h"
#include "gui/links/serial_port.h"
#include "engines/mcu_bootloader.h"
#include "platform/clock.h"
#include "platform/device_system.h"
#include "tests/support/e2e_devsim.h"
#include "tests/support/e2e_mcu.h"
#include "tests/support/e2e_program.h"
#include "tests/support/e2e_sandbox.h"
#include "tests/support/recorded_boxes.h"
#include "tests/support/xfer_row_name.h"

namespace flashkit::testing {
namespace {

namespace fs = std::filesystem;
using testing::PrintTo;

constexpr uint32_t kReadyMs = 10000;
constexpr uint32_t kMidwayMs = 20000;
constexpr uint32_t kRunLimitMs = 30000;
constexpr size_t kImageSize = 64 * 1024;
constexpr char kImage[] = "image.bin";
// Exit statuses of a failed write (-104) and a failed read (-105).
const std::set<std::string> kPortFailed = {"exit status 152", "exit status 151"};

struct HangupScene {
  E2eSandbox sandbox;
  Bytes image = RandomBytes(kImageSize, 71);
  std::unique_ptr<E2eDevsim> devsim;
  std::unique_ptr<E2eProgram> peer;
  int line = -1;  // the test's own end of a wire
  std::string failure;

  ~HangupScene() {
    if (line >= 0) close(line);
  }
};

void StartDevsim(HangupScene& s, const std::vector<std::string>& args) {
  s.devsim = std::make_unique<E2eDevsim>(s.sandbox, args);
  if (!s.devsim->WaitReady()) s.failure = s.devsim->Diagnostics();
}

void Board(HangupScene& s) {
  StartDevsim(s, {"board", "--com", "1", "--baud", "115200", "--store", s.sandbox.peer().string()});
}

void UsbBoard(HangupScene& s) {
  StartDevsim(s, {"board", "--usb", "board1", "--baud", "115200", "--store",
                  s.sandbox.peer().string()});
}

// sz offers the image from the other end of a paced cable.
void SzOnWire(HangupScene& s) {
  StartDevsim(s, {"wire", "--com", "1", "--com", "2", "--baud", "115200"});
  if (!WriteBytes(s.sandbox.peer() / kImage, s.image)) s.failure = "no image";
  ChildLaunch launch;
  launch.argv = {"/usr/bin/sz", "--ymodem", "-k", kImage};
  launch.work_dir = s.sandbox.peer().string();
  launch.line_path = s.sandbox.ComPath(2);
  s.peer = std::make_unique<E2eProgram>(s.sandbox, "sz", launch);
}

// The test writes a boot log into the other end of the cable.
constexpr char kBootLog[] = "boot line 1\r\nboot line 2\r\n";

void LogOnWire(HangupScene& s) {
  StartDevsim(s, {"wire", "--com", "1", "--com", "2", "--baud", "115200"});
  s.line = open(s.sandbox.ComPath(2).c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC);
  if (s.line < 0) s.failure = "cannot open COM2";
}

bool WriteBootLog(HangupScene& s) {
  return write(s.line, kBootLog, sizeof kBootLog - 1) == static_cast<ssize_t>(sizeof kBootLog - 1);
}

bool NothingMore(HangupScene&) { return true; }

// What must be on disk after the run, and why not.
std::string NothingToKeep(HangupScene&) { return ""; }

// The received file is what was sent, as far as it came, and at least as far
// as the progress had shown.
std::string ReceivedPrefix(HangupScene& s) {
  const Bytes got = ReadBytes(s.sandbox.host() / kImage);
  if (got.size() < 2048) return "only " + std::to_string(got.size()) + " bytes kept";
  if (!std::equal(got.begin(), got.end(), s.image.begin())) return "kept bytes differ";
  return "";
}

std::string LogKept(HangupScene& s) {
  const std::string log = ReadText(s.sandbox.host() / "capture.log");
  return log == kBootLog ? "" : "log holds \"" + Printable(log) + "\"";
}

struct HangupRow {
  const char* name;
  void (*prepare)(HangupScene&);
  std::vector<std::string> args;
  const char* midway;                 // on standard output once well under way
  bool (*then)(HangupScene&);         // the test's part once there
  const char* log_text;               // waited for in capture.log before the stop
  std::set<std::string> statuses;
  const char* err_text;
  std::string (*kept)(HangupScene&);  // "" when right
};

const HangupRow kRows[] = {
    {"YMODEM send to a board that goes away", Board, {"-sy", "-p1", "-t10", kImage},
     "Sending :     2048 bytes of Total", NothingMore, nullptr, kPortFailed,
     "Error during file transfer. Error -10", NothingToKeep},
    {"YMODEM send to a USB board that is unplugged", UsbBoard, {"-u", "-sy", kImage},
     "Sending :     2048 bytes of Total", NothingMore, nullptr, kPortFailed,
     "Error during file transfer. Error -10", NothingToKeep},
    {"YMODEM receive from a cable that goes away", SzOnWire, {"-r", "-p1", "-t10"},
     "    2048 bytes of 65536", NothingMore, nullptr, kPortFailed,
     "Error during file transfer. Error -10", ReceivedPrefix},
    {"log capture from a cable that goes away", LogOnWire, {"-p1", "-lfcapture.log", "-lt30"},
     "Capturing log to", WriteBootLog, kBootLog, {"exit status 151"},
     "Error during log capture. Error -105\n\n", LogKept},
};

class Hangup : public ::testing::TestWithParam<HangupRow> {};

TEST_P(Hangup, FailsAndKeepsWhatCame) {
  const HangupRow& row = GetParam();
  HangupScene scene;
  ASSERT_TRUE(scene.sandbox.ok());
  ASSERT_TRUE(WriteBytes(scene.sandbox.host() / kImage, scene.image));
  row.prepare(scene);
  ASSERT_EQ(scene.failure, "");
  // A received file starts afresh.
  if (scene.peer) fs::remove(scene.sandbox.host() / kImage);

  auto linkxfer = StartLinkxfer(scene.sandbox, row.args);
  const auto why = [&] { return linkxfer->Diagnostics() + scene.devsim->Diagnostics(); };
  ASSERT_TRUE(linkxfer->WaitForOut(row.midway, kMidwayMs)) << why();
  ASSERT_TRUE(row.then(scene)) << why();
  if (row.log_text) {
    ASSERT_TRUE(WaitUntil(
        [&] { return ReadText(scene.sandbox.host() / "capture.log") == row.log_text; }, kReadyMs))
        << why();
  }
  scene.devsim->Stop();

  const std::optional<ExitStatus> status = linkxfer->Finish(kRunLimitMs);
  ASSERT_TRUE(status) << "still running\n" << why();
  EXPECT_EQ(row.statuses.count(status->Describe()), 1u) << status->Describe() << "\n" << why();
  EXPECT_NE(linkxfer->Err().find(row.err_text), std::string::npos) << why();
  EXPECT_EQ(linkxfer->Out().find("OK\n"), std::string::npos) << why();
  EXPECT_EQ(row.kept(scene), "") << why();
}

INSTANTIATE_TEST_SUITE_P(E2e, Hangup, ::testing::ValuesIn(kRows), XferRowName<HangupRow>);

// flashpanel's bootloader download on a real serial line, with devsim mcu
// stopped after a few blocks of the image.
class StopAfterBlocks : public ProgressWindow {
 public:
  StopAfterBlocks(E2eMcu& mcu, uint32_t blocks) : mcu_(mcu), blocks_(blocks) {}
  void SendProgress(uint32_t wparam, int32_t lparam) override {
    if (lparam == kProgressPosition && wparam == blocks_ && !stopped_) {
      mcu_.StopAndDump();
      stopped_ = true;
    }
  }
  bool stopped() const { return stopped_; }

 private:
  E2eMcu& mcu_;
  uint32_t blocks_;
  bool stopped_ = false;
};

TEST(BootloaderHangup, McuGoneMidwayEndsInFail) {
  constexpr unsigned kCom = 7;
  E2eSandbox sandbox;
  ASSERT_TRUE(sandbox.ok());
  ASSERT_TRUE(WriteBytes(sandbox.host() / "app.bin", RandomBytes(16 * 1024, 72)));
  ASSERT_TRUE(WriteBytes(sandbox.host() / "WDN-500S.bin", RandomBytes(4096, 73)));
  E2eMcu mcu(sandbox, kCom);
  ASSERT_TRUE(mcu.WaitReady()) << mcu.Diagnostics();

  // The download finds its port through the namespace and its files in the
  // current folder, as in the dialog's process.
  const fs::path previous = fs::current_path();
  setenv("FLASHKIT_DEVROOT", sandbox.dev().c_str(), 1);
  fs::current_path(sandbox.host());
  RecordedBoxes boxes;
  StopAfterBlocks progress(mcu, 2);
  int32_t result = -1;
  {
    McuBootloader boot(std::make_unique<SerialPort>(platform::RealSystem(), boxes), boxes,
                       platform::SystemClock());
    boot.SetOwnerWindow(&progress);
    result = boot.Download("app.bin", std::to_string(kCom), "115200");
  }
  fs::current_path(previous);

  EXPECT_TRUE(progress.stopped());
  EXPECT_EQ(result, 0);
  EXPECT_EQ(boxes.texts, std::vector<std::string>{"Fail"});
}

}  // namespace
}  // namespace flashkit::testing
