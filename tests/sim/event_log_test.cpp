#include "sim/event_log.h"

#include <gtest/gtest.h>

#include <sstream>

#include "sim/boot_log.h"

namespace flashkit::sim {
namespace {

struct EscapeCase {
  const char* name;
  std::string text;
  std::string json;
};

class JsonText : public ::testing::TestWithParam<EscapeCase> {};

// Names come from the wire: whatever they hold, each event stays one valid line.
TEST_P(JsonText, Escaped) { EXPECT_EQ(JsonString(GetParam().text), GetParam().json); }

INSTANTIATE_TEST_SUITE_P(
    Names, JsonText,
    ::testing::Values(EscapeCase{"Plain", "fw.bin", R"("fw.bin")"},
                      EscapeCase{"QuoteAndBackslash", R"(a"b\c)", R"("a\"b\\c")"},
                      EscapeCase{"LineBreaks", "a\r\nb\t", R"("a\r\nb\t")"},
                      EscapeCase{"ControlBytes", std::string("\x01\x1f\x7f", 3), R"("\u0001\u001f\u007f")"},
                      EscapeCase{"Utf8PassesThrough", "f\xC3\xBC.bin", "\"f\xC3\xBC.bin\""}),
    [](const auto& info) { return std::string(info.param.name); });

TEST(EventLog, StampsMillisecondsSinceItBegan) {
  uint64_t now = 5'000'000'000;
  std::ostringstream out;
  EventLog log(out, [&now] { return now; });
  now += 1'234'567;
  log.Emit("header", JsonFields().Str("name", "fw.bin").Int("size", 300));
  now += 1'000'000;
  log.Emit("boot-done");
  EXPECT_EQ(out.str(),
            "{\"t_ms\":1.235,\"event\":\"header\",\"name\":\"fw.bin\",\"size\":300}\n"
            "{\"t_ms\":2.235,\"event\":\"boot-done\"}\n");
}

struct BootCase {
  const char* name;
  uint32_t count;
  std::vector<std::string> lines;
};

class BootLog : public ::testing::TestWithParam<BootCase> {};

TEST_P(BootLog, LinesThenTheFixedLastOne) {
  EXPECT_EQ(BootLogLines("fw.bin", 300, "ab12", GetParam().count), GetParam().lines);
}

INSTANTIATE_TEST_SUITE_P(
    Counts, BootLog,
    ::testing::Values(BootCase{"None", 0, {"devsim board: boot complete\r\n"}},
                      BootCase{"One", 1,
                               {"devsim board: booting image fw.bin (300 bytes)\r\n",
                                "devsim board: boot complete\r\n"}},
                      BootCase{"Three", 3,
                               {"devsim board: booting image fw.bin (300 bytes)\r\n",
                                "devsim board: image sha256 ab12\r\n",
                                "devsim board: starting stage 3 of 3\r\n",
                                "devsim board: boot complete\r\n"}}),
    [](const auto& info) { return std::string(info.param.name); });

}  // namespace
}  // namespace flashkit::sim
