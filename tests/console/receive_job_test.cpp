#include "console/receive_job.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <map>
#include <optional>
#include <string>
#include <vector>

#include "protocol/xfer_session.h"
#include "tests/console/console_harness.h"
#include "tests/console/peer_script.h"

namespace flashkit::testing {
namespace {

constexpr uint8_t kAck = xfer::kAck;
constexpr uint8_t kNak = xfer::kNak;

std::string Data300() {
  std::string data(300, '\0');
  for (size_t i = 0; i < data.size(); ++i) data[i] = static_cast<char>('A' + i % 26);
  return data;
}
std::string Piece(size_t block) { return Data300().substr(block * 128, 128); }

// A sender's three data blocks and its EOT, answering each ACK of the receiver.
std::vector<SenderTurn> DataTurns(uint8_t start, bool crc) {
  return {{start, DataBlock(1, Piece(0), crc)},
          {kAck, DataBlock(2, Piece(1), crc)},
          {kAck, DataBlock(3, Piece(2), crc)},
          {kAck, Eot()},
          {kAck, {}}};
}

std::vector<SenderTurn> YmodemTurns(const std::string& name, uint32_t size) {
  std::vector<SenderTurn> turns{{'C', HeaderBlock(name, size)}, {kAck, {}}};
  for (const SenderTurn& t : DataTurns('C', true)) turns.push_back(t);
  turns.push_back({'C', ClosingBlock()});
  turns.push_back({kAck, {}});
  return turns;
}

struct ReceiveCase {
  const char* name;
  bool xmodem;
  bool crc;
  std::optional<std::string> file1;
  std::vector<SenderTurn> sender;
  std::optional<int32_t> exit;
  std::map<std::string, std::optional<std::string>> files;  // in the working folder; nothing: absent
  std::string out_start;
  std::string out_end;
  std::string err;
  bool cancelled;  // five CAN went to the sender
};

const std::string kFill84(84, '\x1A');
constexpr const char* kReceivedOk = "\nReceived OK\n";
constexpr const char* kFailed = "Plz....wait....\nClose the Command Window automatically!!\n";
constexpr const char* kTransferError = "Error during file transfer. Error -400\n\n";

class ReceiveJob : public ::testing::TestWithParam<ReceiveCase> {};

TEST_P(ReceiveJob, StoresTheFileOrEndsTheRun) {
  const ReceiveCase& row = GetParam();
  TempDir dir;
  std::filesystem::create_directory(dir / "work");
  ScopedWorkingDir cwd(dir / "work");
  ConsoleHarness h;
  h.options.xmodem = row.xmodem;
  h.options.receive_crc = row.crc;
  h.options.file1 = row.file1;
  FakePort port(h.clock);
  PlaySender(port, row.sender);

  auto exit = h.ExitOf([&] { RunReceiveJob(h.context, port); });

  EXPECT_EQ(exit, row.exit);
  for (const auto& [name, content] : row.files) {
    EXPECT_EQ(std::filesystem::exists(name), content.has_value()) << name;
    if (content) {
      EXPECT_EQ(ReadFile(name), *content) << name;
    }
  }
  EXPECT_TRUE(h.out.text().starts_with(row.out_start)) << h.out.text();
  EXPECT_TRUE(h.out.text().ends_with(row.out_end)) << h.out.text();
  EXPECT_EQ(h.err.text(), row.err);
  Bytes cancel(5, xfer::kCan);
  bool cancelled = port.written.size() >= 5 &&
                   Bytes(port.written.end() - 5, port.written.end()) == cancel;
  EXPECT_EQ(cancelled, row.cancelled);
  EXPECT_FALSE(std::filesystem::exists(dir / "escaped.bin"));
}

INSTANTIATE_TEST_SUITE_P(
    Rows, ReceiveJob,
    ::testing::Values(
        ReceiveCase{"YMODEM under the sender's name cut to size", false, false, std::nullopt,
                    YmodemTurns("fw.bin", 300), std::nullopt, {{"fw.bin", Data300()}},
                    "Receiving fw.bin...\n"
                    "       0 bytes of 300 -   0%\r"
                    "     128 bytes of 300 -  42%\r"
                    "     256 bytes of 300 -  85%\r"
                    "     300 bytes of 300 - 100%\r",
                    kReceivedOk, "", false},
        ReceiveCase{"YMODEM into file1", false, false, "mine.bin", YmodemTurns("theirs.bin", 300),
                    std::nullopt, {{"mine.bin", Data300()}, {"theirs.bin", std::nullopt}},
                    "Receiving mine.bin...\n       0 bytes of 300", kReceivedOk, "", false},
        ReceiveCase{"XMODEM CRC keeps the fill", true, true, "x.bin", DataTurns('C', true),
                    std::nullopt, {{"x.bin", Data300() + kFill84}},
                    "Receiving x.bin...\n       0 bytes\r     128 bytes\r", kReceivedOk, "", false},
        ReceiveCase{"XMODEM checksum", true, false, "x.bin", DataTurns(kNak, false), std::nullopt,
                    {{"x.bin", Data300() + kFill84}}, "Receiving x.bin...\n", kReceivedOk, "",
                    false},
        ReceiveCase{"empty batch creates nothing", false, false, std::nullopt,
                    {{'C', ClosingBlock()}, {kAck, {}}}, std::nullopt, {}, kReceivedOk,
                    kReceivedOk, "", false},
        ReceiveCase{"header name leaving the folder", false, false, std::nullopt,
                    {{'C', HeaderBlock("../escaped.bin", 300)}, {kAck, {}}}, -400, {}, kFailed,
                    kFailed, kTransferError, true},
        ReceiveCase{"absolute header name", false, false, std::nullopt,
                    {{'C', HeaderBlock("/tmp/escaped.bin", 300)}, {kAck, {}}}, -400,
                    {{"/tmp/escaped.bin", std::nullopt}}, kFailed, kFailed, kTransferError, true},
        ReceiveCase{"disk full", true, true, "/dev/full", {{'C', DataBlock(1, Piece(0))}}, -400, {},
                    "Receiving /dev/full...\n", kFailed, kTransferError, true},
        ReceiveCase{"file1 cannot be created", true, true, "no/dir.bin", {}, -400, {}, kFailed,
                    kFailed, "Can't create file 'no/dir.bin'. Error -400\n\n", false},
        ReceiveCase{"XMODEM needs file1", true, true, std::nullopt, {}, 1, {}, "", "",
                    "File argument missing\nTry 'linkxfer -h' for more information.\n", false}),
    [](const auto& info) { return RowName(info.param.name); });

}  // namespace
}  // namespace flashkit::testing
