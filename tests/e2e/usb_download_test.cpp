// linkxfer -u against the simulated USB board: the device found in the
// namespace, both pipes opened, the request and the ten start bytes, then
// YMODEM or XMODEM; what linkxfer prints on the way; and a device unplugged
// in the middle of a transfer.

#include <gtest/gtest.h>

#include <filesystem>
#include <memory>
#include <optional>
#include <regex>
#include <string>
#include <vector>

#include "tests/support/e2e_devsim.h"
#include "tests/support/e2e_program.h"
#include "tests/support/e2e_sandbox.h"
#include "tests/support/xfer_row_name.h"

namespace flashkit::testing {
namespace {

using testing::PrintTo;

constexpr char kFile[] = "fw.bin";
constexpr char kClass[] = "{00873FDF-61A8-11D1-AA5E-00C04FB1728B}";
constexpr size_t kLargeSize = (1u << 20) + 7;
constexpr uint32_t kRunLimitMs = 60000;
constexpr uint32_t kEventLimitMs = 5000;
constexpr int kWaitingLines = 1000;

// XMODEM carries no size: the board keeps whole blocks. linkxfer -sk sends
// a 1024-byte block only while a whole kilobyte is left, so the file comes
// filled with 0x1A up to a multiple of 128; an empty one is the EOT alone.
Bytes AsSent(const Bytes& data) { return data; }
Bytes InWholeBlocks(const Bytes& data) {
  Bytes filled = data;
  filled.resize((data.size() + 127) / 128 * 128, 0x1A);
  return filled;
}

struct UsbRow {
  const char* name;
  std::vector<std::string> options;  // before the file argument
  size_t size;
  const char* protocol;  // as the board reports it
  const char* stored_as;
  Bytes (*arrives)(const Bytes& data);
};

const UsbRow kRows[] = {
    {"-u, empty file", {"-u"}, 0, "ymodem", kFile, AsSent},
    {"-u, 1025 bytes", {"-u"}, 1025, "ymodem", kFile, AsSent},
    {"-u, 1 MiB and 7 bytes", {"-u"}, kLargeSize, "ymodem", kFile, AsSent},
    {"-u -r with a file sends it", {"-u", "-r"}, 1025, "ymodem", kFile, AsSent},
    {"-u -sk, empty file", {"-u", "-sk"}, 0, "xmodem", "xmodem-1.bin", InWholeBlocks},
    {"-u -sk, 1025 bytes", {"-u", "-sk"}, 1025, "xmodem", "xmodem-1.bin", InWholeBlocks},
    {"-u -sk, 1 MiB and 7 bytes", {"-u", "-sk"}, kLargeSize, "xmodem", "xmodem-1.bin",
     InWholeBlocks},
};

std::string EntryPath(const E2eSandbox& sandbox, const std::string& name) {
  return (sandbox.dev() / "usb" / kClass / name).string();
}

size_t CountOf(const std::string& text, const std::string& what) {
  size_t count = 0;
  for (size_t at = text.find(what); at != std::string::npos; at = text.find(what, at + 1)) ++count;
  return count;
}

// Each text after the one before it; the first one missing, or nothing.
std::optional<std::string> MissingInOrder(const std::string& out,
                                          const std::vector<std::string>& texts, size_t from) {
  for (const std::string& text : texts) {
    const size_t at = out.find(text, from);
    if (at == std::string::npos) return text;
    from = at + text.size();
  }
  return std::nullopt;
}

class UsbDownload : public ::testing::TestWithParam<UsbRow> {};

TEST_P(UsbDownload, ArrivesWhole) {
  const UsbRow& row = GetParam();
  E2eSandbox sandbox;
  ASSERT_TRUE(sandbox.ok());
  const Bytes data = RandomBytes(row.size, 11);
  ASSERT_TRUE(WriteBytes(sandbox.host() / kFile, data));
  const Bytes expected = row.arrives(data);
  const auto expected_file = sandbox.root() / "expected.bin";
  ASSERT_TRUE(WriteBytes(expected_file, expected));
  const std::string sha = Sha256Sum(sandbox, expected_file.string());
  ASSERT_EQ(sha.size(), 64u);
  const auto store = sandbox.root() / "store";

  E2eDevsim board(sandbox, {"board", "--usb", "board", "--store", store.string()});
  ASSERT_TRUE(board.WaitReady()) << board.Diagnostics();
  const std::string path = EntryPath(sandbox, "board");
  const std::optional<std::string> ready = board.WaitForEvent("ready", 0);
  ASSERT_TRUE(ready);
  EXPECT_EQ(EventField(*ready, "usb"), "board");
  EXPECT_EQ(EventField(*ready, "path"), path);
  EXPECT_EQ(EventField(*ready, "baud"), "0");

  std::vector<std::string> args = row.options;
  args.push_back(kFile);
  auto linkxfer = StartLinkxfer(sandbox, args);
  const std::optional<ExitStatus> status = linkxfer->Finish(kRunLimitMs);
  const std::string why = linkxfer->Diagnostics() + board.Diagnostics();
  ASSERT_TRUE(status) << "still running\n" << why;
  EXPECT_EQ(status->Describe(), "exit status 0") << why;

  const std::optional<std::string> stored = board.WaitForEvent("stored", kEventLimitMs);
  ASSERT_TRUE(stored) << why;
  EXPECT_EQ(EventField(*stored, "protocol"), row.protocol) << why;
  EXPECT_EQ(EventField(*stored, "name"), row.stored_as) << why;
  EXPECT_EQ(EventField(*stored, "size"), std::to_string(expected.size())) << why;
  EXPECT_EQ(EventField(*stored, "sha256"), sha) << why;
  const Bytes on_board = ReadBytes(store / row.stored_as);
  EXPECT_TRUE(on_board == expected) << FirstDifference(on_board, expected);

  // The arguments run together, the device's pipes with their handles, and
  // the USB set-up's closing line, at the very start.
  std::string echo;
  for (const std::string& a : args) echo += a;
  const std::string out = linkxfer->Out();
  std::smatch opened;
  ASSERT_TRUE(std::regex_search(out, opened,
                                std::regex("^(.*)m_RDDev : (.*)\\\\PIPE00\nm_RDDev : [0-9]+\n"
                                           "m_WRDev : (.*)\\\\PIPE01\nm_WRDev : [0-9]+\n"
                                           "USB Opened successfully\\.\n")))
      << why;
  EXPECT_EQ(opened[1], echo) << why;
  EXPECT_EQ(opened[2], path) << why;
  EXPECT_EQ(opened[3], path) << why;

  const bool ymodem = std::string(row.protocol) == "ymodem";
  const std::vector<std::string> in_order =
      ymodem ? std::vector<std::string>{"Sending fw.bin...\n", "\r\nWaiting........\r",
                                        "Try to send Request packet!\n", "Write Data : \x01",
                                        "\nSent OK\n\n"}
             : std::vector<std::string>{"Sending fw.bin...\n", "Write Data : ", "\nSent OK\n\n"};
  const std::optional<std::string> missing =
      MissingInOrder(out, in_order, static_cast<size_t>(opened.length(0)));
  EXPECT_FALSE(missing) << "missing or out of order: " << Printable(*missing) << "\n" << why;
  EXPECT_EQ(CountOf(out, "Waiting........\r"), ymodem ? kWaitingLines : 0u) << why;
  EXPECT_EQ(CountOf(out, "Try to send Request packet!\n"), ymodem ? 1u : 0u) << why;
}

INSTANTIATE_TEST_SUITE_P(E2e, UsbDownload, ::testing::ValuesIn(kRows), XferRowName<UsbRow>);

// The board stopped while the image is on its way: the host's pipes fail,
// linkxfer reports the failed write or read and never "Sent OK", and the
// device is gone from the namespace.
TEST(UsbUnplugged, MidTransferFails) {
  E2eSandbox sandbox;
  ASSERT_TRUE(sandbox.ok());
  ASSERT_TRUE(WriteBytes(sandbox.host() / kFile, RandomBytes(kLargeSize, 5)));
  // 115200 baud keeps a mebibyte on the line for a minute and a half.
  E2eDevsim board(sandbox, {"board", "--usb", "board", "--baud", "115200", "--store",
                            (sandbox.root() / "store").string()});
  ASSERT_TRUE(board.WaitReady()) << board.Diagnostics();

  auto linkxfer = StartLinkxfer(sandbox, {"-u", kFile});
  ASSERT_TRUE(board.WaitForEvent("header", 15000)) << linkxfer->Diagnostics() << board.Diagnostics();
  ASSERT_TRUE(linkxfer->WaitForOut("Sending :     1024 bytes", 5000))
      << linkxfer->Diagnostics() << board.Diagnostics();
  board.Stop();

  const std::optional<ExitStatus> status = linkxfer->Finish(kRunLimitMs);
  const std::string why = linkxfer->Diagnostics() + board.Diagnostics();
  ASSERT_TRUE(status) << "still running\n" << why;
  EXPECT_TRUE(status->Describe() == "exit status 152" || status->Describe() == "exit status 151")
      << why;
  const std::string err = linkxfer->Err();
  EXPECT_TRUE(err == "Error during file transfer. Error -104\n\n" ||
              err == "Error during file transfer. Error -105\n\n")
      << why;
  EXPECT_EQ(linkxfer->Out().find("Sent OK"), std::string::npos) << why;
  EXPECT_FALSE(std::filesystem::exists(EntryPath(sandbox, "board"))) << why;
  EXPECT_FALSE(board.WaitForEvent("stored", 0)) << why;
}

}  // namespace
}  // namespace flashkit::testing
