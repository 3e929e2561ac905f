#pragma once

#include <string>
#include <string_view>

#include "ports/text_out.h"

namespace flashkit::testing {

// Keeps what would have gone to the console.
class CapturedOut : public TextOut {
 public:
  void Print(std::string_view text) override { text_.append(text); }
  const std::string& text() const { return text_; }
  void Clear() { text_.clear(); }

 private:
  std::string text_;
};

}  // namespace flashkit::testing
