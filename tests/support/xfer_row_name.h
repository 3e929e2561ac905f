#pragma once

#include <gtest/gtest.h>

#include <cctype>
#include <concepts>
#include <ostream>
#include <string>

namespace flashkit::testing {

// Test names from a row's readable `name`: "NAK first, then C" -> "3_NAK_first_then_C".
template <class Row>
std::string XferRowName(const ::testing::TestParamInfo<Row>& info) {
  std::string out = std::to_string(info.index);
  bool gap = true;
  for (const char* p = info.param.name; *p != '\0'; ++p) {
    if (std::isalnum(static_cast<unsigned char>(*p))) {
      if (gap) out += '_';
      out += *p;
      gap = false;
    } else {
      gap = true;
    }
  }
  return out;
}

// Rows show as their name in failure messages. Test files in other
// namespaces bring it in with `using testing::PrintTo;`.
template <class Row>
  requires std::same_as<decltype(Row::name), const char*>
void PrintTo(const Row& row, std::ostream* os) {
  *os << '"' << row.name << '"';
}

}  // namespace flashkit::testing
