// flashkit.exe under Wine on two simulated boards at once, each download
// kind: both boards hold the image, and the records say so.

#include <gtest/gtest.h>

#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "tests/support/e2e_devsim.h"
#include "tests/support/e2e_mcu.h"
#include "tests/support/e2e_program.h"
#include "tests/support/e2e_sandbox.h"
#include "tests/wine/wine_rig.h"

namespace flashkit::testing {
namespace {

constexpr uint32_t kRunLimitMs = 120000;
constexpr uint32_t kApplicationAt = 0x08008000;

class WineRack : public ::testing::Test {
 protected:
  void SetUp() override {
    if (const std::string missing = WineRig::Missing(); !missing.empty()) {
      FAIL() << missing;
    }
    ASSERT_TRUE(sandbox.ok());
    image = RandomBytes(9000, 21);
    ASSERT_TRUE(WriteBytes(sandbox.host() / "fw.bin", image));
  }

  // flashkit.exe to its end; its exit code, with its records in `json`.
  int Run(const std::vector<std::string>& args, std::string* json) {
    std::vector<std::string> all = args;
    all.insert(all.end(), {"--json", "records.json", "fw.bin"});
    flashkit = wine.Start("flashkit", all);
    const std::optional<ExitStatus> status = flashkit->Finish(kRunLimitMs);
    *json = ReadText(sandbox.host() / "records.json");
    return status ? status->code : -1;
  }

  // One "ok" record per board, naming it.
  void ExpectOk(const std::string& json, const std::vector<std::string>& boards) {
    for (const std::string& board : boards) {
      const size_t at = json.find("\"port\":\"" + board + "\"");
      ASSERT_NE(at, std::string::npos) << board << "\n" << json << flashkit->Diagnostics();
      const size_t end = json.find('\n', at);
      const size_t begin = json.rfind('{', at);
      const std::string record = json.substr(begin, end - begin);
      EXPECT_EQ(EventField(record, "outcome"), "ok") << record;
    }
  }

  E2eSandbox sandbox;
  WineRig wine{sandbox};
  Bytes image;
  std::unique_ptr<E2eProgram> flashkit;
};

TEST_F(WineRack, YmodemOnTwoBoards) {
  const auto store = sandbox.peer() / "store";
  E2eDevsim rack(sandbox, {"board", "--com", "1", "--com", "2", "--store", store.string()});
  ASSERT_TRUE(rack.WaitReady()) << rack.Diagnostics();
  ASSERT_TRUE(wine.LinkCom(21, 1));
  ASSERT_TRUE(wine.LinkCom(22, 2));

  std::string json;
  EXPECT_EQ(Run({"ymodem", "--port", "COM21", "-p22"}, &json), 0) << flashkit->Diagnostics();
  ExpectOk(json, {"COM21", "COM22"});
  for (const char* com : {"com1", "com2"}) {
    const Bytes stored = ReadBytes(store / com / "fw.bin");
    EXPECT_EQ(stored, image) << com << ": " << FirstDifference(stored, image);
  }
}

TEST_F(WineRack, BootloaderOnTwoBoards) {
  E2eMcu first(sandbox, 1);
  E2eMcu second(sandbox, 2);
  ASSERT_TRUE(first.WaitReady()) << first.Diagnostics();
  ASSERT_TRUE(second.WaitReady()) << second.Diagnostics();
  ASSERT_TRUE(wine.LinkCom(23, 1));
  ASSERT_TRUE(wine.LinkCom(24, 2));

  std::string json;
  EXPECT_EQ(Run({"mcu", "-p23", "-p24", "--no-companion"}, &json), 0) << flashkit->Diagnostics();
  ExpectOk(json, {"COM23", "COM24"});
  for (E2eMcu* mcu : {&first, &second}) {
    const Bytes flash = mcu->StopAndDump();
    ASSERT_GE(flash.size(), kApplicationAt - kMcuFlashBase + image.size());
    const auto at = flash.begin() + (kApplicationAt - kMcuFlashBase);
    const Bytes written(at, at + static_cast<ptrdiff_t>(image.size()));
    EXPECT_EQ(written, image) << FirstDifference(written, image);
  }
}

}  // namespace
}  // namespace flashkit::testing
