#include "flashkit/text_watch.h"

namespace flashkit::rack {

bool TextWatch::Feed(std::string_view piece) {
  if (seen_ || text_.empty()) return seen_ = true;
  tail_.append(piece);
  if (tail_.find(text_) != std::string::npos) return seen_ = true;
  // Fewer bytes than the text cannot hold it whole; keep only those.
  if (tail_.size() >= text_.size()) tail_.erase(0, tail_.size() - (text_.size() - 1));
  return false;
}

}  // namespace flashkit::rack
