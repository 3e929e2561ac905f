// What the bootloader client does differently for the command line: replies
// waited for as long as a loaded machine may need, the companion named or
// left out, and a line that does not open ending the download at once.

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "tests/engines/download_rig.h"

namespace flashkit::testing {
namespace {

constexpr char kImage[] = "app.bin";

struct SettingsRow {
  const char* name;
  McuDownloadSettings settings;
  uint64_t reply_delay_ms;
  bool companion_beside;  // WDN-500S.bin in the folder
  int32_t result;
  std::vector<std::string> commands;
  const char* failure;  // in FailureText; "" when it succeeded
};

McuDownloadSettings With(mcu::ReplyLimits limits, McuDownloadSettings::Companion companion,
                         std::string companion_file = "") {
  McuDownloadSettings settings;
  settings.limits = limits;
  settings.companion = companion;
  settings.companion_file = std::move(companion_file);
  return settings;
}

using Companion = McuDownloadSettings::Companion;
constexpr auto kDialog = mcu::ReplyLimits::kDialog;
constexpr auto kCommandLine = mcu::ReplyLimits::kCommandLine;

const SettingsRow kRows[] = {
    // A board that takes 300 ms over every answer: too slow for the dialog,
    // well within the command line's limits.
    {"SlowBoardFailsTheDialog", With(kDialog, Companion::kNone), 300, false, 0, {},
     "did not answer"},
    {"SlowBoardPassesTheCommandLine", With(kCommandLine, Companion::kNone), 300, false, 1,
     {"get id", "write 08008000 +256", "go 08000000"}, ""},
    {"NoCompanionAsked", With(kCommandLine, Companion::kNone), 0, true, 1,
     {"get id", "write 08008000 +256", "go 08000000"}, ""},
    {"CompanionNamed", With(kCommandLine, Companion::kFile, "other/extra.bin"), 0, false, 1,
     {"get id", "write 08008000 +256", "go 08000000", "get id", "write 08008000 +256",
      "go 08000000"},
     ""},
    {"NamedCompanionMissing", With(kCommandLine, Companion::kFile, "other/none.bin"), 0, false, 0,
     {"get id", "write 08008000 +256", "go 08000000"}, "other/none.bin could not be read"},
};

class CommandLineSettings : public ::testing::TestWithParam<SettingsRow> {};

TEST_P(CommandLineSettings, WriteWhatTheyAskFor) {
  const SettingsRow& row = GetParam();
  DownloadRig rig;
  BootDevice device({}, row.reply_delay_ms);
  device.Attach(*rig.port);
  rig.WriteFile(kImage, Pattern(200));
  std::filesystem::create_directories(rig.dir / "other");
  rig.WriteFile("other/extra.bin", Pattern(100, 7));
  if (row.companion_beside) rig.WriteFile("WDN-500S.bin", Pattern(100, 9));
  rig.boot->Configure(row.settings);

  EXPECT_EQ(rig.Download(kImage), row.result);
  if (!row.commands.empty()) {
    EXPECT_EQ(device.commands, row.commands);
  }
  EXPECT_NE(rig.boot->FailureText().find(row.failure), std::string::npos) << rig.boot->FailureText();
  if (row.result == 1) {
    EXPECT_EQ(rig.boot->ProductId(), 0x0410u);
  }
}

INSTANTIATE_TEST_SUITE_P(Mcu, CommandLineSettings, ::testing::ValuesIn(kRows),
                         [](const auto& info) { return std::string(info.param.name); });

TEST(CommandLineSettings, ALineThatDoesNotOpenEndsAtOnce) {
  DownloadRig rig;
  rig.port->open_result = 0;
  rig.port->open_failure = "no such device";
  rig.WriteFile(kImage, Pattern(200));
  McuDownloadSettings settings;
  settings.require_line = true;
  rig.boot->Configure(settings);
  const uint64_t before = rig.clock.NowMs();
  EXPECT_EQ(rig.Download(kImage), 0);
  EXPECT_EQ(rig.clock.NowMs(), before);
  EXPECT_EQ(rig.boot->FailureText(), "The port COM3 could not be opened: no such device.");
}

}  // namespace
}  // namespace flashkit::testing
