#include "platform/signals.h"

#include <fcntl.h>
#include <signal.h>
#include <unistd.h>

#include <cerrno>
#include <mutex>

namespace flashkit::platform {
namespace {

volatile sig_atomic_t g_signal = 0;
int g_pipe[2] = {-1, -1};

void OnStopSignal(int number) {
  const int saved = errno;
  if (g_signal == 0) g_signal = number;
  const char byte = 1;
  // The pipe is non-blocking: a full pipe already says "stop".
  [[maybe_unused]] const ssize_t n = write(g_pipe[1], &byte, 1);
  errno = saved;
}

}  // namespace

bool InstallStopSignals() {
  static std::mutex once;
  std::lock_guard<std::mutex> lock(once);
  if (g_pipe[0] >= 0) return true;

  int fds[2];
  if (pipe2(fds, O_NONBLOCK | O_CLOEXEC) != 0) return false;
  g_pipe[0] = fds[0];
  g_pipe[1] = fds[1];

  struct sigaction action {};
  action.sa_handler = OnStopSignal;
  sigemptyset(&action.sa_mask);
  action.sa_flags = SA_RESTART;
  struct sigaction ignore {};
  ignore.sa_handler = SIG_IGN;
  sigemptyset(&ignore.sa_mask);
  return sigaction(SIGINT, &action, nullptr) == 0 && sigaction(SIGTERM, &action, nullptr) == 0 &&
         sigaction(SIGPIPE, &ignore, nullptr) == 0;
}

int StopSignal() { return g_signal; }

int StopSignalFd() { return g_pipe[0]; }

}  // namespace flashkit::platform
