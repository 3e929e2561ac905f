#include "gui/links/trace.h"

#include <algorithm>
#include <cstdarg>
#include <cstdio>
#include <vector>

#include "platform/debug_output.h"

namespace flashkit {
namespace {

// Every text of this program fits; a longer one is cut rather than overrun.
constexpr size_t kTraceBuffer = 9264;

}  // namespace

void Trace(const char* format, ...) {
  std::vector<char> buffer(kTraceBuffer, '\0');
  std::va_list args;
  va_start(args, format);
  const int n = std::vsnprintf(buffer.data(), buffer.size(), format, args);
  va_end(args);
  if (n < 0) return;
  const size_t length = std::min<size_t>(static_cast<size_t>(n), buffer.size() - 1);
  platform::OutputDebugText(std::string_view(buffer.data(), length));
}

}  // namespace flashkit
