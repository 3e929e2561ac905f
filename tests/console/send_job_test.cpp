#include "console/send_job.h"

#include <gtest/gtest.h>

#include <optional>
#include <string>
#include <vector>

#include "protocol/xfer_session.h"
#include "tests/console/console_harness.h"
#include "tests/console/peer_script.h"

namespace flashkit::testing {
namespace {

enum class Peer { kReceiver, kSilent, kCancels };

struct SendCase {
  const char* name;
  std::optional<std::string> file1;  // under the temporary folder
  std::optional<std::string> file2;
  size_t file_size;                  // of the file that exists
  bool xmodem;
  Peer peer;
  std::optional<int32_t> exit;
  std::string out_start;             // standard output starts with this
  std::string out_end;               // and ends with this
  std::string err;
  std::vector<std::string> requests;  // names the device was asked to take
};

constexpr const char* kSentOk =
    "\nSent OK\n\nPlz....wait....\nClose the Command Window after automatically!!\n";
constexpr const char* kFailed = "Plz....wait....\nClose the Command Window automatically!!\n";

class SendJob : public ::testing::TestWithParam<SendCase> {};

TEST_P(SendJob, SendsTheFileOrEndsTheRun) {
  const SendCase& row = GetParam();
  TempDir dir;
  ScopedWorkingDir cwd(dir.path());
  WriteFile("fw.bin", std::string(row.file_size, 'f'));
  ConsoleHarness h;
  h.options.file1 = row.file1;
  h.options.file2 = row.file2;
  h.options.xmodem = row.xmodem;
  FakePort port(h.clock);
  if (row.peer == Peer::kReceiver) PlayReceiver(port, 'C', !row.xmodem);
  if (row.peer == Peer::kCancels) {
    port.Arrive(Bytes{'C'}, 1);
    port.on_write = [](FakePort& p, std::span<const uint8_t>) {
      p.Arrive(Bytes{xfer::kCan, xfer::kCan});
    };
  }

  auto exit = h.ExitOf([&] { RunSendJob(h.context, port); });

  EXPECT_EQ(exit, row.exit);
  EXPECT_TRUE(h.out.text().starts_with(row.out_start)) << h.out.text();
  EXPECT_TRUE(h.out.text().ends_with(row.out_end)) << h.out.text();
  EXPECT_EQ(h.err.text(), row.err);
  EXPECT_EQ(port.requests, row.requests);
  if (row.exit || !row.file1) return;
  EXPECT_EQ(h.options.file2, row.file2 ? row.file2 : row.file1);
  EXPECT_EQ(h.clock.sleeps.back(), 10u) << "the pause after the closing text";
}

INSTANTIATE_TEST_SUITE_P(
    Rows, SendJob,
    ::testing::Values(
        SendCase{"YMODEM under its own name", "fw.bin", std::nullopt, 300, false,
                 Peer::kReceiver, std::nullopt, "Sending fw.bin...\n", kSentOk, "", {"fw.bin"}},
        SendCase{"YMODEM announced as file2", "fw.bin", "ZQT410_IAP.bin", 300, false,
                 Peer::kReceiver, std::nullopt, "Sending fw.bin...\n", kSentOk, "",
                 {"ZQT410_IAP.bin"}},
        SendCase{"YMODEM empty file", "fw.bin", std::nullopt, 0, false, Peer::kReceiver,
                 std::nullopt, "Sending fw.bin...\n",
                 std::string("Sending :        0 bytes of Total 0 bytes - Percents :   0%\r") +
                     kSentOk,
                 "", {"fw.bin"}},
        SendCase{"XMODEM asks the device nothing", "fw.bin", std::nullopt, 300, true,
                 Peer::kReceiver, std::nullopt, "Sending fw.bin...\n", kSentOk, "", {}},
        SendCase{"receiver never starts", "fw.bin", std::nullopt, 300, false, Peer::kSilent, -200,
                 "Sending fw.bin...\n", kFailed, "Error during file transfer. Error -200\n\n",
                 {"fw.bin"}},
        SendCase{"receiver cancels", "fw.bin", std::nullopt, 300, true, Peer::kCancels, -302,
                 "Sending fw.bin...\n", kFailed, "Error during file transfer. Error -302\n\n", {}},
        SendCase{"file cannot be opened", "missing.bin", std::nullopt, 0, false, Peer::kReceiver,
                 -300, kFailed, kFailed, "Can't open file 'missing.bin'. Error -300\n\n", {}},
        SendCase{"no file argument", std::nullopt, std::nullopt, 0, false, Peer::kReceiver, 1, "",
                 "", "File argument missing\nTry 'linkxfer -h' for more information.\n", {}}),
    [](const auto& info) { return RowName(info.param.name); });

}  // namespace
}  // namespace flashkit::testing
