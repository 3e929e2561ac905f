#include "platform/terminal.h"

#include <sys/ioctl.h>
#include <unistd.h>

namespace flashkit::platform {

bool IsTerminal(std::FILE* stream) { return isatty(fileno(stream)) == 1; }

int TerminalColumns(std::FILE* stream, int fallback) {
  winsize size{};
  if (ioctl(fileno(stream), TIOCGWINSZ, &size) != 0 || size.ws_col == 0) return fallback;
  return size.ws_col;
}

}  // namespace flashkit::platform
