// The Poller over registered pollables: events wake it at once, devices are
// looked at every millisecond.
#include "platform/poller.h"

#include "platform/win32/pollables.h"
#include "platform/win32/waits.h"

namespace flashkit::platform {
namespace {

constexpr short kInput = 1;
constexpr short kOutput = 2;

}  // namespace

uint64_t MonotonicNs() {
  static const LONGLONG frequency = [] {
    LARGE_INTEGER f;
    ::QueryPerformanceFrequency(&f);
    return f.QuadPart;
  }();
  LARGE_INTEGER now;
  ::QueryPerformanceCounter(&now);
  const auto ticks = static_cast<unsigned long long>(now.QuadPart);
  const auto per_s = static_cast<unsigned long long>(frequency);
  return ticks / per_s * 1'000'000'000ULL + ticks % per_s * 1'000'000'000ULL / per_s;
}

void UseFineTimerSlack() { UseMillisecondTimer(); }

size_t Poller::Add(int fd) {
  fds_.push_back(fd);
  watch_.push_back(kInput);
  ready_.push_back(false);
  writable_.push_back(false);
  return fds_.size() - 1;
}

void Poller::Watch(size_t index, bool input, bool output) {
  if (index >= watch_.size()) return;
  watch_[index] = static_cast<short>((input ? kInput : 0) | (output ? kOutput : 0));
}

// Writes here never wait for long (they give up after a stall), so a
// descriptor watched for output is always ready for one.
int Poller::Wait(std::optional<uint64_t> deadline_ns) {
  std::vector<HANDLE> wakers;
  bool covered = true;
  for (size_t i = 0; i < fds_.size(); ++i) {
    if ((watch_[i] & kInput) == 0) continue;
    if (HANDLE signal = PollableSignal(fds_[i]); signal != nullptr) {
      wakers.push_back(signal);
    } else {
      covered = false;
    }
  }
  int count = 0;
  const auto look = [&] {
    count = 0;
    for (size_t i = 0; i < fds_.size(); ++i) {
      ready_[i] = (watch_[i] & kInput) != 0 && PollableReady(fds_[i]);
      writable_[i] = (watch_[i] & kOutput) != 0;
      if (ready_[i] || writable_[i]) ++count;
    }
    return count > 0;
  };
  WaitUntilReady(look, wakers, covered, deadline_ns);
  return count;
}

}  // namespace flashkit::platform
