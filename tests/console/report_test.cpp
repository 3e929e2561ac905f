#include "console/report.h"

#include <gtest/gtest.h>

#include <string>
#include <utility>
#include <vector>

#include "tests/console/console_harness.h"

namespace flashkit::testing {
namespace {

using Order = std::vector<std::pair<char, std::string>>;

TEST(Report, FatalErrorWritesMessageStatusThenClosingTextThenPauses) {
  ConsoleHarness h;
  auto exit = h.ExitOf([&] { FatalError(h.context, -200, "Error during file transfer"); });
  EXPECT_EQ(exit, -200);
  EXPECT_EQ(h.order, (Order{{'e', "Error during file transfer. Error -200\n\n"},
                            {'o', "Plz....wait....\nClose the Command Window automatically!!\n"}}));
  EXPECT_EQ(h.clock.sleeps, std::vector<uint32_t>{10});
}

TEST(Report, UsageErrorAddsTheHintAndEndsWithOne) {
  ConsoleHarness h;
  h.options.program_name = "./linkxfer";
  auto exit = h.ExitOf([&] { UsageError(h.context, "Invalid option '%s'", "-q"); });
  EXPECT_EQ(exit, 1);
  EXPECT_EQ(h.err.text(), "Invalid option '-q'\nTry './linkxfer -h' for more information.\n");
  EXPECT_EQ(h.out.text(), "");
  EXPECT_TRUE(h.clock.sleeps.empty());
}

}  // namespace
}  // namespace flashkit::testing
