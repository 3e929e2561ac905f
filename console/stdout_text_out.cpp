#include "console/stdout_text_out.h"

namespace flashkit {

void StdoutTextOut::Print(std::string_view text) {
  std::fwrite(text.data(), 1, text.size(), stream_);
  std::fflush(stream_);
}

}  // namespace flashkit
