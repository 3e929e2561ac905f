#pragma once

#include <string_view>

namespace flashkit {

// Where the layers below the front end put what the user sees on the
// console. The front end writes it to standard output and flushes each time,
// so carriage-return progress lines show at once.
class TextOut {
 public:
  virtual ~TextOut() = default;
  virtual void Print(std::string_view text) = 0;
};

}  // namespace flashkit
