#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <vector>

namespace flashkit::platform {

// Monotonic nanoseconds since an arbitrary start: the clock Poller deadlines
// are counted in. For code that paces bytes finer than a millisecond.
uint64_t MonotonicNs();

// Lets the calling thread's timed waits end within a microsecond of their
// deadline instead of the default 50 us the kernel may add to batch wake-ups:
// a paced line that wakes late delays every answer that crosses it.
void UseFineTimerSlack();

// Waits on several descriptors at once until one has input (or has hung up
// or failed, so the next read reports it), one that is watched for output
// can take more, or an absolute deadline passes.
// Deadlines keep microsecond precision. One thread uses a Poller at a time.
class Poller {
 public:
  // Returns the index the descriptor's readiness is reported under. A new
  // descriptor is watched for input only.
  size_t Add(int fd);
  void Clear() {
    fds_.clear();
    watch_.clear();
    ready_.clear();
    writable_.clear();
  }

  // What the descriptor at `index` is waited for from the next Wait on; with
  // neither, it is left out of the wait altogether.
  void Watch(size_t index, bool input, bool output);

  // Waits until `deadline_ns` on MonotonicNs(), or without limit when none is
  // given. Returns the number of ready descriptors (0 after the deadline or
  // when a signal cut the wait short), or -1 when the OS refused the wait.
  int Wait(std::optional<uint64_t> deadline_ns);

  bool Ready(size_t index) const { return index < ready_.size() && ready_[index]; }
  // Can take output (or has failed, so the next write reports it).
  bool Writable(size_t index) const { return index < writable_.size() && writable_[index]; }

 private:
  std::vector<int> fds_;
  std::vector<short> watch_;
  std::vector<bool> ready_;
  std::vector<bool> writable_;
};

}  // namespace flashkit::platform
