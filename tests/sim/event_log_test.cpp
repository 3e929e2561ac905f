#include "sim/event_log.h"

#include <gtest/gtest.h>

#include <sstream>


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

}  // namespace
}  // namespace flashkit::sim
