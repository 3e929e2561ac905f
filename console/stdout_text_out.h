#pragma once

#include <cstdio>
#include <string_view>

#include "ports/text_out.h"

namespace flashkit {

// Console text on a standard stream (standard output unless told otherwise),
// flushed after every print so progress lines ending in a carriage return
// show at once.
class StdoutTextOut : public TextOut {
 public:
  explicit StdoutTextOut(std::FILE* stream = stdout) : stream_(stream) {}
  void Print(std::string_view text) override;

 private:
  std::FILE* stream_;
};

}  // namespace flashkit
