// Ctrl-C and the closing console, through the console's control handler.
#include <csignal>
#include <mutex>

#include "platform/signals.h"
#include "platform/win32/pollables.h"
#include "platform/win32/stop_event.h"

namespace flashkit::platform {
namespace {

volatile LONG g_signal = 0;

// Windows has no signals; its console events stand for the two Linux ones.
struct ControlRow {
  DWORD event;
  int signal;
};

constexpr ControlRow kControls[] = {
    {CTRL_C_EVENT, SIGINT},
    {CTRL_BREAK_EVENT, SIGINT},
    {CTRL_CLOSE_EVENT, SIGTERM},
    {CTRL_LOGOFF_EVENT, SIGTERM},
    {CTRL_SHUTDOWN_EVENT, SIGTERM},
};

// How long the handler holds a closing console open: the system ends the
// process after about five seconds anyway, and returning ends it at once.
constexpr DWORD kCloseGraceMs = 4500;

BOOL WINAPI OnControl(DWORD event) {
  for (const ControlRow& row : kControls) {
    if (row.event != event) continue;
    ::InterlockedCompareExchange(&g_signal, row.signal, 0);
    ::SetEvent(StopEvent());
    // A Ctrl-C is handled: the program ends its waits and cleans up. A
    // closing console ends the process when this returns, so it waits here
    // while the main thread cancels the transfer and restores the line.
    if (row.signal == SIGTERM) ::Sleep(kCloseGraceMs);
    return TRUE;
  }
  return FALSE;
}

class StopPollable : public Pollable {
 public:
  bool InputReady() override { return ::WaitForSingleObject(StopEvent(), 0) == WAIT_OBJECT_0; }
  HANDLE Signal() const override { return StopEvent(); }
};

int g_stop_id = -1;

}  // namespace

HANDLE StopEvent() {
  static const HANDLE event = ::CreateEventA(nullptr, TRUE, FALSE, nullptr);
  return event;
}

bool InstallStopSignals() {
  static std::mutex once;
  std::lock_guard<std::mutex> lock(once);
  if (g_stop_id >= 0) return true;
  if (StopEvent() == nullptr) return false;
  static StopPollable stop;
  g_stop_id = RegisterPollable(stop);
  return ::SetConsoleCtrlHandler(OnControl, TRUE) != 0;
}

int StopSignal() { return static_cast<int>(g_signal); }

int StopSignalFd() { return g_stop_id; }

}  // namespace flashkit::platform
