#pragma once

#include <string_view>

#include "ports/text_out.h"

namespace flashkit::fuzz {

// Console text nobody reads.
class NullOut : public TextOut {
 public:
  void Print(std::string_view) override {}
};

}  // namespace flashkit::fuzz
