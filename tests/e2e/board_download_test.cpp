// linkxfer against the simulated board: download request chosen by the
// announced name, the prompts, the YMODEM send and the boot log capture, all
// in one run.

#include <gtest/gtest.h>

#include <algorithm>
#include <cctype>
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

constexpr char kFile[] = "fw.bin";
constexpr size_t kFileSize = 5000;
constexpr char kBootComplete[] = "devsim board: boot complete";
constexpr uint32_t kBootLines = 5;
constexpr uint32_t kRunLimitMs = 30000;
constexpr uint32_t kEventLimitMs = 5000;

struct BoardRow {
  const char* name;
  const char* announced;   // file2, or nullptr to announce file1
  const char* form;        // as the board reports the request
  const char* image_type;  // of the 12-byte packet; nullptr for the short forms
  bool by_path = false;    // -p names the board's line by its device node, not as COM3
};

const BoardRow kRows[] = {
    {"file1 announced, general image packet", nullptr, "packet", "0xff"},
    {"port named by its device node", nullptr, "packet", "0xff", true},
    {"other name, general image packet", "Board_App.BIN", "packet", "0xff"},
    {"ZQT410_TAXI_SK.bin, taxi request", "ZQT410_TAXI_SK.bin", "taxi", nullptr},
    {"ZQT410_DG prefix, DG request", "ZQT410_DG_v3.bin", "dg", nullptr},
    {"ZQT410_IAP_D prefix, IAP-DG request", "ZQT410_IAP_DG_v1.bin", "iap-dg", nullptr},
    {"ZQT410_IAP prefix, IAP image packet", "ZQT410_IAP_v2.bin", "packet", "0x80"},
    {"iap prefix, IAP image packet", "iap_loader.bin", "packet", "0x80"},
};

std::string Lower(std::string text) {
  std::transform(text.begin(), text.end(), text.begin(),
                 [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
  return text;
}

size_t CountOf(const std::string& text, const std::string& what) {
  size_t count = 0;
  for (size_t at = text.find(what); at != std::string::npos; at = text.find(what, at + 1)) ++count;
  return count;
}

class BoardDownload : public ::testing::TestWithParam<BoardRow> {};

TEST_P(BoardDownload, RequestSendAndBootLogInOneRun) {
  const BoardRow& row = GetParam();
  E2eSandbox sandbox;
  ASSERT_TRUE(sandbox.ok());
  const auto file = sandbox.host() / kFile;
  ASSERT_TRUE(WriteBytes(file, RandomBytes(kFileSize, 7)));
  const std::string sha = Sha256Sum(sandbox, file.string());
  ASSERT_EQ(sha.size(), 64u);
  const std::string store = (sandbox.root() / "store").string();

  E2eDevsim board(sandbox, {"board", "--com", "3", "--baud", "115200", "--store", store, "--once",
                            "--boot-lines", std::to_string(kBootLines)});
  ASSERT_TRUE(board.WaitReady()) << board.Diagnostics();

  const std::string log = (sandbox.host() / "boot.log").string();
  const std::string port = row.by_path ? std::filesystem::read_symlink(sandbox.ComPath(3)).string()
                                       : std::string("3");
  std::vector<std::string> args = {"-sy", "-p" + port, "-b115200", "-t10", kFile};
  if (row.announced) args.push_back(row.announced);
  args.insert(args.end(), {"-lf" + log, "-lt3", std::string("-lx") + kBootComplete});
  auto linkxfer = StartLinkxfer(sandbox, args);
  const std::optional<ExitStatus> status = linkxfer->Finish(kRunLimitMs);
  const std::string why = linkxfer->Diagnostics() + board.Diagnostics();
  ASSERT_TRUE(status) << "still running\n" << why;
  EXPECT_EQ(status->Describe(), "exit status 0") << why;

  const std::optional<std::string> request = board.WaitForEvent("request", kEventLimitMs);
  ASSERT_TRUE(request) << why;
  EXPECT_EQ(EventField(*request, "form"), row.form) << why;
  EXPECT_EQ(EventField(*request, "image_type"),
            row.image_type ? std::optional<std::string>(row.image_type) : std::nullopt)
      << why;
  if (row.image_type) {
    EXPECT_EQ(EventField(*request, "crc_ok"), "true") << why;
  }

  const std::string announced = Lower(row.announced ? row.announced : kFile);
  const std::optional<std::string> stored = board.WaitForEvent("stored", kEventLimitMs);
  ASSERT_TRUE(stored) << why;
  EXPECT_EQ(EventField(*stored, "name"), announced) << why;
  EXPECT_EQ(EventField(*stored, "size"), std::to_string(kFileSize)) << why;
  EXPECT_EQ(EventField(*stored, "sha256"), sha) << why;

  // The log holds every boot line, and ends with the one that stopped it
  // (and at most its line end, if that came in the same read).
  const std::string text = ReadText(log);
  EXPECT_EQ(text.rfind("devsim board: booting image " + announced + " (" +
                           std::to_string(kFileSize) + " bytes)\r\n",
                       0),
            0u)
      << Printable(text);
  EXPECT_NE(text.find("devsim board: image sha256 " + sha + "\r\n"), std::string::npos)
      << Printable(text);
  const size_t last = text.rfind(kBootComplete);
  ASSERT_NE(last, std::string::npos) << Printable(text);
  const std::string tail = text.substr(last + sizeof kBootComplete - 1);
  EXPECT_TRUE(tail.empty() || tail == "\r" || tail == "\r\n") << Printable(text);
  EXPECT_EQ(CountOf(text, "devsim board: "), kBootLines + 1) << Printable(text);

  const std::string out = linkxfer->Out();
  const std::vector<std::string> in_order = {"Sending fw.bin...\n", "Try to send Request packet!\n",
                                             "\nSent OK\n\n", "Capturing log to " + log + "...\n",
                                             "Log capture termination string found.\n"};
  size_t from = 0;
  for (const std::string& expected : in_order) {
    const size_t at = out.find(expected, from);
    ASSERT_NE(at, std::string::npos) << "missing or out of order: " << Printable(expected) << "\n"
                                     << why;
    from = at + expected.size();
  }
}

INSTANTIATE_TEST_SUITE_P(E2e, BoardDownload, ::testing::ValuesIn(kRows), XferRowName<BoardRow>);

// A rack: one devsim, a board on COM3 and one on COM4, two linkxfer runs side
// by side. Each board stores its own image in its own folder, sends its own
// boot log, and names itself in its events; with --once devsim ends after both.
TEST(BoardRack, TwoBoardsDownloadSideBySide) {
  E2eSandbox sandbox;
  ASSERT_TRUE(sandbox.ok());
  const std::filesystem::path store = sandbox.root() / "store";
  E2eDevsim rack(sandbox, {"board", "--com", "3", "--com", "4", "--store", store.string(), "--once",
                           "--boot-lines", "1"});
  ASSERT_TRUE(rack.WaitReady()) << rack.Diagnostics();
  EXPECT_NE(rack.WaitForEvent("ready", 0)->find(R"("com":[3,4])"), std::string::npos);

  const unsigned coms[] = {3, 4};
  std::vector<std::string> shas;
  std::vector<std::unique_ptr<E2eProgram>> senders;
  for (const unsigned com : coms) {
    const std::string file = "fw" + std::to_string(com) + ".bin";
    ASSERT_TRUE(WriteBytes(sandbox.host() / file, RandomBytes(kFileSize, com)));
    shas.push_back(Sha256Sum(sandbox, (sandbox.host() / file).string()));
    const std::string log = (sandbox.host() / ("boot" + std::to_string(com) + ".log")).string();
    senders.push_back(StartLinkxfer(sandbox, {"-sy", "-p" + std::to_string(com), "-b115200", "-t10", file,
                                              "-lf" + log, "-lt3", std::string("-lx") + kBootComplete}));
  }
  for (auto& sender : senders) {
    const std::optional<ExitStatus> status = sender->Finish(kRunLimitMs);
    ASSERT_TRUE(status) << sender->Diagnostics() << rack.Diagnostics();
    EXPECT_EQ(status->Describe(), "exit status 0") << sender->Diagnostics() << rack.Diagnostics();
  }

  const std::optional<std::string> exit = rack.WaitForEvent("exit", kRunLimitMs);
  ASSERT_TRUE(exit) << rack.Diagnostics();
  EXPECT_EQ(EventField(*exit, "reason"), "done") << rack.Diagnostics();
  EXPECT_EQ(EventField(*exit, "status"), "0") << rack.Diagnostics();
  for (size_t i = 0; i < std::size(coms); ++i) {
    const std::string com = std::to_string(coms[i]);
    std::vector<std::string> stored, ends;
    for (const std::string& line : rack.Events()) {
      if (EventField(line, "com") != com) continue;
      if (EventField(line, "event") == "stored") stored.push_back(line);
      if (EventField(line, "event") == "device-end") ends.push_back(line);
    }
    ASSERT_EQ(stored.size(), 1u) << rack.Diagnostics();
    const std::filesystem::path path = store / ("com" + com) / ("fw" + com + ".bin");
    EXPECT_EQ(EventField(stored[0], "path"), path.string());
    EXPECT_EQ(EventField(stored[0], "sha256"), shas[i]);
    EXPECT_EQ(Sha256Sum(sandbox, path.string()), shas[i]);
    ASSERT_EQ(ends.size(), 1u) << rack.Diagnostics();
    EXPECT_EQ(EventField(ends[0], "reason"), "done");
    const std::string log = ReadText(sandbox.host() / ("boot" + com + ".log"));
    EXPECT_EQ(log.rfind("devsim board: booting image fw" + com + ".bin", 0), 0u) << Printable(log);
  }
}

}  // namespace
}  // namespace flashkit::testing
