#include "platform/terminal.h"

#include <io.h>

#include "platform/win32/windows_api.h"

namespace flashkit::platform {
namespace {

// The console behind a stream, or null when it goes to a file or a pipe.
HANDLE ConsoleOf(std::FILE* stream) {
  const int fd = _fileno(stream);
  if (fd < 0 || !_isatty(fd)) return nullptr;
  HANDLE handle = reinterpret_cast<HANDLE>(_get_osfhandle(fd));
  DWORD mode = 0;
  return ::GetConsoleMode(handle, &mode) ? handle : nullptr;
}

}  // namespace

bool IsTerminal(std::FILE* stream) { return ConsoleOf(stream) != nullptr; }

int TerminalColumns(std::FILE* stream, int fallback) {
  CONSOLE_SCREEN_BUFFER_INFO info{};
  HANDLE console = ConsoleOf(stream);
  if (console == nullptr || !::GetConsoleScreenBufferInfo(console, &info)) return fallback;
  const int columns = info.srWindow.Right - info.srWindow.Left + 1;
  return columns > 0 ? columns : fallback;
}

}  // namespace flashkit::platform
