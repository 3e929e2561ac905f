#pragma once

#include <cstdint>

namespace flashkit {

// The private message the downloads report progress with (WM_APP + 0xC8).
inline constexpr uint32_t WM_DOWNLOAD_PROGRESS = 0x80C8;

// lParam of WM_DOWNLOAD_PROGRESS.
enum DownloadPhase : int32_t {
  kProgressPosition = 0,  // wParam: the new position
  kProgressStart = 1,     // wParam: the upper limit of the range (lower limit 0)
  kProgressEnd = 2,       // wParam: the final position
};

// The dialog window as the downloads see it. SendProgress is synchronous: it
// returns once the window has handled the message.
class ProgressWindow {
 public:
  virtual ~ProgressWindow() = default;
  virtual void SendProgress(uint32_t wparam, int32_t lparam) = 0;
};

}  // namespace flashkit
