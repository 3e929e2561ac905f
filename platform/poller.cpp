#include "platform/poller.h"

#include <poll.h>
#include <sys/prctl.h>
#include <time.h>

#include <cerrno>

namespace flashkit::platform {

uint64_t MonotonicNs() {
  timespec ts{};
  clock_gettime(CLOCK_MONOTONIC, &ts);
  return static_cast<uint64_t>(ts.tv_sec) * 1'000'000'000ull + static_cast<uint64_t>(ts.tv_nsec);
}

void UseFineTimerSlack() { prctl(PR_SET_TIMERSLACK, 1000UL, 0, 0, 0); }

size_t Poller::Add(int fd) {
  fds_.push_back(fd);
  watch_.push_back(POLLIN);
  ready_.push_back(false);
  writable_.push_back(false);
  return fds_.size() - 1;
}

void Poller::Watch(size_t index, bool input, bool output) {
  if (index >= watch_.size()) return;
  watch_[index] = static_cast<short>((input ? POLLIN : 0) | (output ? POLLOUT : 0));
}

int Poller::Wait(std::optional<uint64_t> deadline_ns) {
  std::vector<pollfd> set(fds_.size());
  // A negative descriptor is skipped by poll: nothing is waited for on it.
  for (size_t i = 0; i < fds_.size(); ++i) {
    set[i] = pollfd{watch_[i] != 0 ? fds_[i] : -1, watch_[i], 0};
  }
  ready_.assign(fds_.size(), false);
  writable_.assign(fds_.size(), false);

  timespec limit{};
  const timespec* limit_ptr = nullptr;
  if (deadline_ns) {
    const uint64_t now = MonotonicNs();
    const uint64_t left = *deadline_ns > now ? *deadline_ns - now : 0;
    limit.tv_sec = static_cast<time_t>(left / 1'000'000'000ull);
    limit.tv_nsec = static_cast<long>(left % 1'000'000'000ull);
    limit_ptr = &limit;
  }

  const int n = ppoll(set.data(), set.size(), limit_ptr, nullptr);
  if (n < 0) return errno == EINTR ? 0 : -1;
  constexpr short kFailed = POLLHUP | POLLERR | POLLNVAL;
  for (size_t i = 0; i < set.size(); ++i) {
    const short got = set[i].revents;
    ready_[i] = (watch_[i] & POLLIN) != 0 && (got & (POLLIN | kFailed)) != 0;
    writable_[i] = (watch_[i] & POLLOUT) != 0 && (got & (POLLOUT | kFailed)) != 0;
  }
  return n;
}

}  // namespace flashkit::platform
