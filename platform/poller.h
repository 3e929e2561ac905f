#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <vector>

namespace flashkit::platform {

// Monotonic nanoseconds since an arbitrary start: the clock Poller deadlines
// are counted in. For code that paces bytes finer than a millisecond.
uint64_t MonotonicNs();

// Waits on several descriptors at once until one has input (or has hung up
// or failed, so the next read reports it) or an absolute deadline passes.
// Deadlines keep microsecond precision. One thread uses a Poller at a time.
class Poller {
 public:
  // Returns the index the descriptor's readiness is reported under.
  size_t Add(int fd);
  void Clear() { fds_.clear(); ready_.clear(); }

  // Waits until `deadline_ns` on MonotonicNs(), or without limit when none is
  // given. Returns the number of ready descriptors (0 after the deadline or
  // when a signal cut the wait short), or -1 when the OS refused the wait.
  int Wait(std::optional<uint64_t> deadline_ns);

  bool Ready(size_t index) const { return index < ready_.size() && ready_[index]; }

 private:
  std::vector<int> fds_;
  std::vector<bool> ready_;
};

}  // namespace flashkit::platform
