// stm32flash, a USART bootloader client we did not write, against devsim
// mcu: it must find the part, erase, write and verify, and the flash devsim
// dumps must hold the image byte for byte. -b 0 keeps the port as devsim
// set it up: a pseudo-terminal cannot keep the even parity stm32flash would
// ask for, and stm32flash refuses a line whose settings do not read back.

#include <gtest/gtest.h>

#include <optional>
#include <string>
#include <vector>

#include "tests/support/e2e_mcu.h"
#include "tests/support/e2e_program.h"
#include "tests/support/e2e_sandbox.h"

namespace flashkit::testing {
namespace {

constexpr char kStm32flash[] = "/usr/bin/stm32flash";
constexpr unsigned kCom = 6;
constexpr uint32_t kRunLimitMs = 60000;

// Runs stm32flash -b 0 with `args` on the MCU's port, in the host folder.
std::optional<ExitStatus> RunStm32flash(E2eSandbox& sandbox, const std::vector<std::string>& args,
                                        std::string* diagnostics) {
  ChildLaunch launch;
  launch.argv = {kStm32flash, "-b", "0"};
  launch.argv.insert(launch.argv.end(), args.begin(), args.end());
  launch.argv.push_back(sandbox.ComPath(kCom));
  launch.work_dir = sandbox.host().string();
  E2eProgram program(sandbox, "stm32flash", launch);
  const std::optional<ExitStatus> status = program.Finish(kRunLimitMs);
  *diagnostics = program.Diagnostics();
  return status;
}

// stm32flash writes whole words, the last one filled with 0xFF: what an
// erased flash holds there anyway.
struct CrossRow {
  const char* name;
  size_t size;
};

class Stm32flashWrite : public ::testing::TestWithParam<CrossRow> {};

TEST_P(Stm32flashWrite, WritesAndVerifiesTheImageByteForByte) {
  E2eSandbox sandbox;
  ASSERT_TRUE(sandbox.ok());
  const Bytes image = RandomBytes(GetParam().size, 11);
  ASSERT_TRUE(WriteBytes(sandbox.host() / "image.bin", image));
  E2eMcu mcu(sandbox, kCom);
  ASSERT_TRUE(mcu.WaitReady()) << mcu.Diagnostics();

  std::string why;
  const auto status = RunStm32flash(sandbox, {"-w", "image.bin", "-v"}, &why);
  ASSERT_TRUE(status) << "still running\n" << why << mcu.Diagnostics();
  EXPECT_EQ(status->Describe(), "exit status 0") << why << mcu.Diagnostics();

  const Bytes flash = mcu.StopAndDump();
  const Bytes want = FlashWith({{kMcuFlashBase, image}});
  EXPECT_TRUE(flash == want) << FirstDifference(flash, want);
  const auto events = mcu.Events();
  EXPECT_EQ(CountEvents(events, "nack"), 0u) << mcu.Diagnostics();
  EXPECT_EQ(CountEvents(events, "dirty-write"), 0u) << mcu.Diagnostics();
  EXPECT_EQ(CountEvents(events, "write"), (GetParam().size + 255) / 256) << mcu.Diagnostics();
}

INSTANTIATE_TEST_SUITE_P(Crosscheck, Stm32flashWrite,
                         ::testing::Values(CrossRow{"TwentyKiB", 20 * 1024},
                                           CrossRow{"OddSizeOverSeveralPages", 5001}),
                         [](const auto& info) { return std::string(info.param.name); });

// A second program on the port meets a fresh bootloader (its first 0x7F is
// acknowledged again) and the flash the first one wrote.
TEST(Stm32flashReopen, NextProgramFindsAResetPartAndTheFlashKept) {
  E2eSandbox sandbox;
  ASSERT_TRUE(sandbox.ok());
  const Bytes image = RandomBytes(3000, 12);
  ASSERT_TRUE(WriteBytes(sandbox.host() / "image.bin", image));
  E2eMcu mcu(sandbox, kCom);
  ASSERT_TRUE(mcu.WaitReady()) << mcu.Diagnostics();

  std::string why;
  auto status = RunStm32flash(sandbox, {"-w", "image.bin"}, &why);
  ASSERT_TRUE(status && status->code == 0) << why << mcu.Diagnostics();
  status = RunStm32flash(sandbox, {"-r", "back.bin", "-S", "0x08000000:3000"}, &why);
  ASSERT_TRUE(status && status->code == 0) << why << mcu.Diagnostics();
  EXPECT_EQ(why.find("not closed properly"), std::string::npos) << why;

  const Bytes back = ReadBytes(sandbox.host() / "back.bin");
  EXPECT_TRUE(back == image) << FirstDifference(back, image);
  mcu.StopAndDump();
  const auto events = mcu.Events();
  EXPECT_EQ(CountEvents(events, "reset"), 2u) << mcu.Diagnostics();
  EXPECT_EQ(CountEvents(events, "sync"), 2u) << mcu.Diagnostics();
  EXPECT_EQ(CountEvents(events, "sync-again"), 0u) << mcu.Diagnostics();
}

}  // namespace
}  // namespace flashkit::testing
