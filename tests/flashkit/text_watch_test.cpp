// --expect's watch over a board's output: the text found however the reads
// cut it, and not found in output that only comes close.

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "flashkit/text_watch.h"

namespace flashkit::rack {
namespace {

struct WatchRow {
  const char* name;
  std::vector<std::string> reads;
  bool found;
};

class Watch : public ::testing::TestWithParam<WatchRow> {};

TEST_P(Watch, FindsTheTextInAnyPieces) {
  TextWatch watch("login:");
  bool found = false;
  for (const std::string& piece : GetParam().reads) found = watch.Feed(piece);
  EXPECT_EQ(found, GetParam().found);
}

const WatchRow kRows[] = {
    {"InOneRead", {"boot ok\r\nlogin: "}, true},
    {"SplitAcrossThreeReads", {"...lo", "gi", "n: "}, true},
    {"ByteByByte", {"l", "o", "g", "i", "n", ":"}, true},
    {"AfterAFalseStart", {"logi", "logout\r\nlog", "in:"}, true},
    {"FoundStaysFound", {"login:", "garbage"}, true},
    {"SomethingElse", {"Kernel panic", " - not syncing\r\n", "login"}, false},
    {"CaseMatters", {"LOGIN:"}, false},
};

INSTANTIATE_TEST_SUITE_P(Flashkit, Watch, ::testing::ValuesIn(kRows),
                         [](const auto& info) { return std::string(info.param.name); });

}  // namespace
}  // namespace flashkit::rack
