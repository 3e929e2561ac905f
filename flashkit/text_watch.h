#pragma once

#include <string>
#include <string_view>
#include <utility>

namespace flashkit::rack {

// Watches a stream of output for one text, which may come in any pieces:
// split across reads, or after a false start ("logi" then "login:").
class TextWatch {
 public:
  explicit TextWatch(std::string text) : text_(std::move(text)) {}
  // True once the text has come, in this piece or before.
  bool Feed(std::string_view piece);

 private:
  std::string text_;
  std::string tail_;  // what could still be the start of the text
  bool seen_ = false;
};

}  // namespace flashkit::rack
