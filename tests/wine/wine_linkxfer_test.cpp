// linkxfer.exe under Wine against the same simulated boards and peers as
// the Linux build: a send with its boot log, a receive from sz, a board that
// goes away mid-send, and the statuses of a port that is missing or held, as
// a Windows user reads them.

#include <gtest/gtest.h>
#include <signal.h>

#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "tests/support/e2e_cable_end.h"
#include "tests/support/e2e_devsim.h"
#include "tests/support/e2e_program.h"
#include "tests/support/e2e_sandbox.h"
#include "tests/support/xfer_row_name.h"
#include "tests/wine/wine_rig.h"

namespace flashkit::testing {
namespace {

constexpr size_t kFileSize = 5000;
constexpr uint32_t kRunLimitMs = 60000;
constexpr char kBootComplete[] = "devsim board: boot complete";

struct SendRow {
  const char* name;
  unsigned com;           // of the prefix; no two tests share one
  const char* port;       // -p's value
  const char* file;       // on disk in the host folder
  const char* argument;   // file1 as given, when not the file's own name
  const char* announced;  // file2, when given
};

// Device names work for every COM number; the file's name is UTF-8 on disk,
// on the command line and on the wire; a drive-relative path opens in that
// drive's current folder (Wine shows the Linux root as Z:).
const SendRow kSendRows[] = {
    {"COM number", 3, "3", "fw.bin", nullptr, nullptr},
    {"device name above COM9", 12, "\\\\.\\COM12", "fw.bin", nullptr, nullptr},
    {"name with a space and non-ASCII letters", 4, "4", "fw \xC3\xBCn\xC3\xAF.bin", nullptr, nullptr},
    {"drive-relative path", 5, "5", "fw.bin", "Z:fw.bin", "fw.bin"},
};

class WineSend : public ::testing::TestWithParam<SendRow> {};

TEST_P(WineSend, StoredByteForByteAndBootLogCaptured) {
  if (const std::string missing = WineRig::Missing(); !missing.empty()) {
    FAIL() << missing;
  }
  const SendRow& row = GetParam();
  E2eSandbox sandbox;
  ASSERT_TRUE(sandbox.ok());
  const Bytes image = RandomBytes(kFileSize, row.com);
  ASSERT_TRUE(WriteBytes(sandbox.host() / row.file, image));
  const auto store = sandbox.root() / "store";
  E2eDevsim board(sandbox, {"board", "--com", "1", "--baud", "115200", "--store", store.string(),
                            "--once", "--boot-lines", "3"});
  ASSERT_TRUE(board.WaitReady()) << board.Diagnostics();
  WineRig wine(sandbox);
  ASSERT_TRUE(wine.LinkCom(row.com, 1));

  std::vector<std::string> args = {"-sy", std::string("-p") + row.port, "-t10",
                                   row.argument != nullptr ? row.argument : row.file};
  if (row.announced != nullptr) args.push_back(row.announced);
  args.insert(args.end(), {"-lfboot.log", std::string("-lx") + kBootComplete});
  auto linkxfer = wine.Start("linkxfer", args);
  const std::optional<ExitStatus> status = linkxfer->Finish(kRunLimitMs);
  ASSERT_TRUE(status) << linkxfer->Diagnostics();
  EXPECT_EQ(status->code, 0) << linkxfer->Diagnostics() << board.Diagnostics();
  const std::string name = row.announced != nullptr ? row.announced : row.file;
  const Bytes stored = ReadBytes(store / name);
  EXPECT_EQ(stored, image) << FirstDifference(stored, image) << linkxfer->Diagnostics();
  // The log ends with the line that stopped it (and at most its line end,
  // if that came in the same read).
  const std::string log = ReadText(sandbox.host() / "boot.log");
  const size_t last = log.rfind(kBootComplete);
  ASSERT_NE(last, std::string::npos) << Printable(log);
  const std::string tail = log.substr(last + sizeof kBootComplete - 1);
  EXPECT_TRUE(tail.empty() || tail == "\r" || tail == "\r\n") << Printable(log);
  EXPECT_NE(linkxfer->Out().find("Log capture termination string found."), std::string::npos)
      << linkxfer->Diagnostics();
}

INSTANTIATE_TEST_SUITE_P(Wine, WineSend, ::testing::ValuesIn(kSendRows), XferRowName<SendRow>);

TEST(WineReceive, YmodemFromSzThroughTheWire) {
  if (const std::string missing = WineRig::Missing(); !missing.empty()) {
    FAIL() << missing;
  }
  constexpr unsigned kCom = 6;
  E2eSandbox sandbox;
  ASSERT_TRUE(sandbox.ok());
  const Bytes file = RandomBytes(3 * 1024 + 17, 6);
  ASSERT_TRUE(WriteBytes(sandbox.peer() / "image.bin", file));
  E2eDevsim wire(sandbox, {"wire", "--com", "1", "--com", "2", "--baud", "115200"});
  ASSERT_TRUE(wire.WaitReady()) << wire.Diagnostics();
  WineRig wine(sandbox);
  ASSERT_TRUE(wine.LinkCom(kCom, 1));

  auto linkxfer = wine.Start("linkxfer", {"-ry", "-p" + std::to_string(kCom), "-t20"});
  ChildLaunch sz;
  sz.argv = {"/usr/bin/sz", "--ymodem", "-k", "image.bin"};
  sz.work_dir = sandbox.peer().string();
  sz.line_path = sandbox.ComPath(2);
  E2eProgram peer(sandbox, "sz", sz);
  const std::optional<ExitStatus> status = linkxfer->Finish(kRunLimitMs);
  ASSERT_TRUE(status) << linkxfer->Diagnostics();
  EXPECT_EQ(status->code, 0) << linkxfer->Diagnostics() << peer.Diagnostics();
  const Bytes got = ReadBytes(sandbox.host() / "image.bin");
  EXPECT_EQ(got, file) << FirstDifference(got, file);
  peer.Finish(kRunLimitMs);
}

// The board goes away in the middle of a send (devsim stopped, its terminal
// hung up): the same failure and status as on Linux, never "OK".
TEST(WineHangup, BoardGoneMidSendFails) {
  if (const std::string missing = WineRig::Missing(); !missing.empty()) {
    FAIL() << missing;
  }
  constexpr unsigned kCom = 9;
  E2eSandbox sandbox;
  ASSERT_TRUE(sandbox.ok());
  ASSERT_TRUE(WriteBytes(sandbox.host() / "fw.bin", RandomBytes(64 * 1024, 9)));
  E2eDevsim board(sandbox, {"board", "--com", "1", "--baud", "9600", "--store", sandbox.peer().string()});
  ASSERT_TRUE(board.WaitReady()) << board.Diagnostics();
  WineRig wine(sandbox);
  ASSERT_TRUE(wine.LinkCom(kCom, 1));

  auto linkxfer = wine.Start("linkxfer", {"-sy", "-p" + std::to_string(kCom), "-t10", "fw.bin"});
  ASSERT_TRUE(linkxfer->WaitForOut("Sending :     2048 bytes of Total", 30000)) << linkxfer->Diagnostics();
  board.Stop();
  const std::optional<ExitStatus> status = linkxfer->Finish(kRunLimitMs);
  ASSERT_TRUE(status) << "still running\n" << linkxfer->Diagnostics();
  EXPECT_TRUE(status->code == 151 || status->code == 152) << status->Describe() << linkxfer->Diagnostics();
  EXPECT_NE(linkxfer->Err().find("Error during file transfer. Error -10"), std::string::npos)
      << linkxfer->Diagnostics();
  EXPECT_EQ(linkxfer->Out().find("OK\n"), std::string::npos) << linkxfer->Diagnostics();
}

// Ctrl-C (Wine turns a SIGINT into the console's Ctrl-C) ends a receive
// that waits for its sender: the far end hears the cancel, and the status is
// Linux's for SIGINT.
TEST(WineInterrupt, CtrlCCancelsAWaitingReceive) {
  if (const std::string missing = WineRig::Missing(); !missing.empty()) {
    FAIL() << missing;
  }
  constexpr unsigned kCom = 10;
  constexpr uint8_t kCan = 0x18;
  E2eSandbox sandbox;
  ASSERT_TRUE(sandbox.ok());
  E2eDevsim wire(sandbox, {"wire", "--com", "1", "--com", "2"});
  ASSERT_TRUE(wire.WaitReady()) << wire.Diagnostics();
  WineRig wine(sandbox);
  ASSERT_TRUE(wine.LinkCom(kCom, 1));
  CableEnd far(sandbox.ComPath(2));
  ASSERT_TRUE(far.ok());

  auto linkxfer = wine.Start("linkxfer", {"-ry", "-p" + std::to_string(kCom), "-t30"});
  ASSERT_TRUE(far.WaitFor([](const Bytes& got) { return !got.empty(); }, 20000)) << linkxfer->Diagnostics();
  linkxfer->Signal(SIGINT);
  const std::optional<ExitStatus> status = linkxfer->Finish(kRunLimitMs);
  ASSERT_TRUE(status) << linkxfer->Diagnostics();
  EXPECT_EQ(status->code, 130) << linkxfer->Diagnostics();
  EXPECT_NE(linkxfer->Err().find("Stopped by SIGINT"), std::string::npos) << linkxfer->Diagnostics();
  EXPECT_TRUE(far.WaitFor([&](const Bytes& got) { return Find(got, Bytes(5, kCan)).has_value(); }, 5000))
      << "the sender's end hears five CANs";
}

enum class PortState { kMissing, kPresent, kHeld };

struct PortErrorRow {
  const char* name;
  unsigned com;
  PortState state;
  const char* baud;  // -b's value
  int status;        // %ERRORLEVEL%
  int exit_code;     // what a Linux shell sees of it: the low 8 bits
  const char* says;
};

const PortErrorRow kPortErrorRows[] = {
    {"missing port", 7, PortState::kMissing, "115200", -101, 155, "Can't open port. Error -101"},
    {"held port", 8, PortState::kHeld, "115200", -102, 154, "Can't open port. Error -102"},
    {"baud rate refused", 11, PortState::kPresent, "0", -103, 153, "Can't initialise port. Error -103"},
};

class WinePortError : public ::testing::TestWithParam<PortErrorRow> {};

TEST_P(WinePortError, StatusAsWindowsAndLinuxReadIt) {
  if (const std::string missing = WineRig::Missing(); !missing.empty()) {
    FAIL() << missing;
  }
  const PortErrorRow& row = GetParam();
  E2eSandbox sandbox;
  ASSERT_TRUE(sandbox.ok());
  ASSERT_TRUE(WriteBytes(sandbox.host() / "fw.bin", RandomBytes(100, 1)));
  E2eDevsim wire(sandbox, {"wire", "--com", "1", "--com", "2"});
  ASSERT_TRUE(wire.WaitReady()) << wire.Diagnostics();
  WineRig wine(sandbox);
  if (row.state != PortState::kMissing) {
    ASSERT_TRUE(wine.LinkCom(row.com, 1));
  }
  std::unique_ptr<E2eProgram> holder;
  if (row.state == PortState::kHeld) {
    // A receive that waits for a sender keeps the port.
    holder = wine.Start("linkxfer", {"-ry", "-p" + std::to_string(row.com), "-t30"});
    CableEnd far(sandbox.ComPath(2));
    ASSERT_TRUE(far.ok());
    ASSERT_TRUE(far.WaitFor([](const Bytes& got) { return !got.empty(); }, 20000))
        << "the holder has the port once it asks for a sender" << holder->Diagnostics();
  }
  auto run = wine.StartInCmd("linkxfer", {"-sy", "-p" + std::to_string(row.com), std::string("-b") + row.baud,
                                          "fw.bin"});
  const std::optional<ExitStatus> status = run->Finish(kRunLimitMs);
  ASSERT_TRUE(status) << run->Diagnostics();
  EXPECT_EQ(status->code, row.exit_code) << run->Diagnostics();
  EXPECT_NE(run->Out().find("status " + std::to_string(row.status)), std::string::npos) << run->Diagnostics();
  EXPECT_NE(run->Err().find(row.says), std::string::npos) << run->Diagnostics();
  if (holder) {
    EXPECT_TRUE(holder->Running()) << "the holder keeps its port" << holder->Diagnostics();
  }
}

INSTANTIATE_TEST_SUITE_P(Wine, WinePortError, ::testing::ValuesIn(kPortErrorRows), XferRowName<PortErrorRow>);

}  // namespace
}  // namespace flashkit::testing
