// flashkit against a rack of simulated boards, each download kind on four
// boards at once with one of them faulty: the good ones store the image byte
// for byte, the faulty one fails alone, and the records say which. Also a
// run stopped by a signal, and a usage error that touches no board.

#include <gtest/gtest.h>
#include <signal.h>

#include <filesystem>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "tests/support/child_process.h"
#include "tests/support/e2e_cable_end.h"
#include "tests/support/e2e_devsim.h"
#include "tests/support/e2e_mcu.h"
#include "tests/support/e2e_program.h"
#include "tests/support/e2e_sandbox.h"

namespace flashkit::testing {
namespace {

namespace fs = std::filesystem;

constexpr uint32_t kRunLimitMs = 120000;
constexpr uint32_t kEventLimitMs = 20000;
constexpr char kUsbClass[] = "{00873FDF-61A8-11D1-AA5E-00C04FB1728B}";

// One record of the --json file per line, by its board.
std::optional<std::string> RecordOf(const std::string& json, const std::string& board) {
  size_t at = 0;
  while ((at = json.find('{', at)) != std::string::npos) {
    const size_t end = json.find('\n', at);
    std::string line = json.substr(at, end - at);
    const std::optional<std::string> port = EventField(line, "port");
    const std::optional<std::string> device = EventField(line, "device");
    if (port == board || device == board) return line;
    at = end;
  }
  return std::nullopt;
}

class FlashkitRack : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_TRUE(sandbox.ok());
    image = RandomBytes(9000, 13);
    ASSERT_TRUE(WriteBytes(sandbox.host() / "fw.bin", image));
    sha = Sha256Sum(sandbox, (sandbox.host() / "fw.bin").string());
  }

  // Runs flashkit to its end; its records and exit code.
  int Run(const std::vector<std::string>& args, std::string* json) {
    std::vector<std::string> all = args;
    all.insert(all.end(), {"--json", "records.json", "fw.bin"});
    flashkit_ = StartFlashkit(sandbox, all);
    const std::optional<ExitStatus> status = flashkit_->Finish(kRunLimitMs);
    *json = ReadText(sandbox.host() / "records.json");
    return status ? status->code : -1;
  }

  // The record says ok with every byte, and the board has them.
  void ExpectStored(const std::string& json, const std::string& board, const Bytes& stored) {
    const std::optional<std::string> record = RecordOf(json, board);
    ASSERT_TRUE(record) << board << "\n" << json << Diag();
    EXPECT_EQ(EventField(*record, "outcome"), "ok") << *record << Diag();
    EXPECT_EQ(EventField(*record, "bytes"), std::to_string(image.size())) << *record;
    EXPECT_EQ(EventField(*record, "sha256"), sha);
    EXPECT_EQ(stored, image) << board << ": " << FirstDifference(stored, image);
  }

  void ExpectFailed(const std::string& json, const std::string& board, const std::string& says) {
    const std::optional<std::string> record = RecordOf(json, board);
    ASSERT_TRUE(record) << board << "\n" << json << Diag();
    EXPECT_EQ(EventField(*record, "outcome"), "failed") << *record;
    EXPECT_NE(record->find(says), std::string::npos) << *record;
  }

  // flashkit's output and each board's log, for failure messages.
  std::string Diag() const {
    std::string text = flashkit_ ? "\n" + flashkit_->Diagnostics() : "";
    for (const auto& entry : fs::directory_iterator(sandbox.host())) {
      if (!entry.path().filename().string().starts_with("flashkit-")) continue;
      text += entry.path().filename().string() + ": " + Printable(ReadText(entry.path()), 600) + "\n";
    }
    return text;
  }

  E2eSandbox sandbox;
  Bytes image;
  std::string sha;
  std::unique_ptr<E2eProgram> flashkit_;
};

TEST_F(FlashkitRack, YmodemOnFourBoardsOneUnpluggedMidway) {
  // Three good boards in one devsim; the fourth, slow enough to be pulled out
  // while it receives, in a devsim of its own.
  const fs::path store = sandbox.peer() / "store";
  E2eDevsim rack(sandbox, {"board", "--com", "3", "--com", "4", "--com", "5", "--store", store.string()});
  E2eDevsim slow(sandbox, {"board", "--com", "6", "--baud", "9600", "--store", store.string()});
  ASSERT_TRUE(rack.WaitReady()) << rack.Diagnostics();
  ASSERT_TRUE(slow.WaitReady()) << slow.Diagnostics();

  flashkit_ = StartFlashkit(sandbox, {"ymodem", "-p", "3", "--port=COM4", "-p5", "--expect",
                                      "boot complete", "-p", sandbox.ComPath(6), "--json",
                                      "records.json", "fw.bin"});
  ASSERT_TRUE(slow.WaitForEvent("header", kEventLimitMs)) << Diag();
  slow.Stop();
  const std::optional<ExitStatus> status = flashkit_->Finish(kRunLimitMs);
  ASSERT_TRUE(status) << Diag();
  EXPECT_EQ(status->code, 2) << Diag();
  const std::string json = ReadText(sandbox.host() / "records.json");
  for (unsigned com : {3u, 4u, 5u}) {
    ExpectStored(json, "COM" + std::to_string(com),
                 ReadBytes(store / ("com" + std::to_string(com)) / "fw.bin"));
  }
  ExpectFailed(json, sandbox.ComPath(6), "Error -10");
  EXPECT_NE(ReadText(sandbox.host() / "flashkit-COM3.log").find("boot complete"), std::string::npos);
  EXPECT_NE(flashkit_->Out().find("failed"), std::string::npos) << Diag();
}

TEST_F(FlashkitRack, BootloaderOnFourBoardsOneWithAStuckBitCaughtByVerify) {
  constexpr uint32_t kApplicationAt = 0x08008000;
  // A byte whose lowest bit the image sets: the cell cannot hold it.
  size_t bad = 100;
  while ((image[bad] & 1) == 0) ++bad;
  ASSERT_TRUE(WriteBytes(sandbox.host() / "fw.bin", image));
  char stuck[32];
  std::snprintf(stuck, sizeof stuck, "0x%08zX:0", kApplicationAt + bad);
  std::vector<std::unique_ptr<E2eMcu>> mcus;
  for (unsigned com : {3u, 4u, 5u}) mcus.push_back(std::make_unique<E2eMcu>(sandbox, com));
  mcus.push_back(std::make_unique<E2eMcu>(sandbox, 6, std::vector<std::string>{"--stuck-bit", stuck}));
  for (auto& mcu : mcus) ASSERT_TRUE(mcu->WaitReady()) << mcu->Diagnostics();

  std::string json;
  EXPECT_EQ(Run({"mcu", "--verify", "-p3", "-p4", "-p5", "-p6", "--no-companion"}, &json), 2) << Diag();
  for (unsigned com : {3u, 4u, 5u}) {
    const Bytes flash = mcus[com - 3]->StopAndDump();
    ASSERT_GE(flash.size(), kApplicationAt - kMcuFlashBase + image.size());
    const auto at = flash.begin() + (kApplicationAt - kMcuFlashBase);
    ExpectStored(json, "COM" + std::to_string(com), Bytes(at, at + static_cast<ptrdiff_t>(image.size())));
    const std::optional<std::string> record = RecordOf(json, "COM" + std::to_string(com));
    EXPECT_NE(record->find("\"verified\":true"), std::string::npos) << *record;
    EXPECT_EQ(EventField(*record, "product_id"), "0x0410") << *record;
  }
  char says[40];
  std::snprintf(says, sizeof says, "Verify failed at 0x%08zX", kApplicationAt + bad);
  ExpectFailed(json, "COM6", says);
}

TEST_F(FlashkitRack, FramedUsbOnFourBoardsOneFallingSilent) {
  std::vector<std::unique_ptr<E2eDevsim>> boards;
  for (const char* name : {"1-1.1", "1-1.2", "1-1.3", "1-1.4"}) {
    const fs::path store = sandbox.peer() / name;
    fs::create_directories(store);
    std::vector<std::string> args = {"usb-framed", "--usb", name, "--store", store.string()};
    if (std::string(name) == "1-1.4") args.insert(args.end(), {"--silent-after", "2"});
    boards.push_back(std::make_unique<E2eDevsim>(sandbox, args));
  }
  for (auto& board : boards) ASSERT_TRUE(board->WaitReady()) << board->Diagnostics();
  ASSERT_TRUE(fs::exists(sandbox.dev() / "usb" / kUsbClass / "1-1.4"));

  std::string json;
  EXPECT_EQ(Run({"usb", "--all"}, &json), 2) << Diag();
  for (const char* name : {"1-1.1", "1-1.2", "1-1.3"}) {
    ExpectStored(json, name, ReadBytes(sandbox.peer() / name / "image-1.bin"));
  }
  ExpectFailed(json, "1-1.4", "stopped answering");
}

// Ctrl-C: every board stops, each hears the cancel (the test plays both
// boards from the far ends of two cables and sees the CANs), and the table
// and the records still come.
TEST_F(FlashkitRack, InterruptStopsEveryBoardAndStillReports) {
  std::vector<std::unique_ptr<E2eDevsim>> wires;
  std::vector<std::unique_ptr<CableEnd>> cables;
  for (unsigned com : {3u, 4u}) {
    wires.push_back(std::make_unique<E2eDevsim>(
        sandbox, std::vector<std::string>{"wire", "--com", std::to_string(com), "--com",
                                          std::to_string(com + 10)}));
    ASSERT_TRUE(wires.back()->WaitReady()) << wires.back()->Diagnostics();
    cables.push_back(std::make_unique<CableEnd>(sandbox.ComPath(com + 10)));
    ASSERT_TRUE(cables.back()->ok());
  }
  flashkit_ = StartFlashkit(sandbox, {"ymodem", "-p3", "-p4", "--json", "records.json", "fw.bin"});
  // Each board takes block 0 and leaves the first data block unanswered.
  for (auto& cable : cables) {
    std::string why;
    ASSERT_TRUE(FirstDataBlockUnanswered(*cable, why)) << why << Diag();
  }
  std::vector<size_t> signalled_at;
  for (auto& cable : cables) signalled_at.push_back(cable->got().size());
  flashkit_->Signal(SIGINT);
  const std::optional<ExitStatus> status = flashkit_->Finish(kRunLimitMs);
  ASSERT_TRUE(status) << Diag();
  EXPECT_EQ(status->code, 130) << Diag();
  const std::string json = ReadText(sandbox.host() / "records.json");
  for (const char* port : {"COM3", "COM4"}) {
    const std::optional<std::string> record = RecordOf(json, port);
    ASSERT_TRUE(record) << json << Diag();
    EXPECT_EQ(EventField(*record, "outcome"), "stopped") << *record;
  }
  for (size_t i = 0; i < cables.size(); ++i) {
    EXPECT_TRUE(cables[i]->WaitFor(
        [&](const Bytes& got) { return Find(got, Bytes(5, 0x18), signalled_at[i]).has_value(); },
        kEventLimitMs))
        << "no cancel on COM" << i + 3 << Diag();
  }
  EXPECT_NE(flashkit_->Out().find("stopped"), std::string::npos) << Diag();
}

TEST_F(FlashkitRack, UsageErrorTouchesNoBoard) {
  E2eDevsim board(sandbox, {"board", "--com", "3", "--store", sandbox.peer().string()});
  ASSERT_TRUE(board.WaitReady()) << board.Diagnostics();
  flashkit_ = StartFlashkit(sandbox, {"ymodem", "-p3", "--verify", "fw.bin"});
  const std::optional<ExitStatus> status = flashkit_->Finish(kRunLimitMs);
  ASSERT_TRUE(status) << Diag();
  EXPECT_EQ(status->code, 1) << Diag();
  EXPECT_NE(flashkit_->Err().find("--verify is not an option of ymodem"), std::string::npos) << Diag();
  EXPECT_FALSE(board.WaitForEvent("request", 300)) << "the board was spoken to";
}

}  // namespace
}  // namespace flashkit::testing
