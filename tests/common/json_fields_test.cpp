#include "common/json_fields.h"

#include <gtest/gtest.h>

#include <string>

namespace flashkit {
namespace {

struct EscapeCase {
  const char* name;
  std::string text;
  std::string json;
};

class JsonText : public ::testing::TestWithParam<EscapeCase> {};

// Names come from the wire: whatever they hold, each record stays one valid line.
TEST_P(JsonText, Escaped) { EXPECT_EQ(JsonString(GetParam().text), GetParam().json); }

INSTANTIATE_TEST_SUITE_P(
    Names, JsonText,
    ::testing::Values(EscapeCase{"Plain", "fw.bin", R"("fw.bin")"},
                      EscapeCase{"QuoteAndBackslash", R"(a"b\c)", R"("a\"b\\c")"},
                      EscapeCase{"LineBreaks", "a\r\nb\t", R"("a\r\nb\t")"},
                      EscapeCase{"ControlBytes", std::string("\x00\x01\x1f\x7f", 4),
                                 R"("\u0000\u0001\u001f\u007f")"},
                      EscapeCase{"Utf8PassesThrough", "f\xC3\xBC.bin", "\"f\xC3\xBC.bin\""}),
    [](const auto& info) { return std::string(info.param.name); });

// Keys are escaped like values, members keep their order, numbers are plain JSON.
TEST(JsonFields, ObjectOfEveryKind) {
  const std::string json = JsonFields()
                               .Str("board", "COM3")
                               .Int("size", -1)
                               .Fixed("seconds", 2.5, 3)
                               .Bool("ok", false)
                               .Raw("sizes", "[1,2]")
                               .Str("a\"b", "")
                               .Object();
  EXPECT_EQ(json, R"({"board":"COM3","size":-1,"seconds":2.500,"ok":false,"sizes":[1,2],"a\"b":""})");
}

}  // namespace
}  // namespace flashkit
