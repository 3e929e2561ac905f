#include "platform/event.h"

#include <poll.h>
#include <sys/eventfd.h>
#include <unistd.h>

#include <algorithm>
#include <climits>
#include <cstdint>

namespace flashkit::platform {
namespace {

// An eventfd counter: non-zero is signalled, reading it back to zero resets it.
class EventFd : public Event {
 public:
  explicit EventFd(int fd) : fd_(fd) {}
  ~EventFd() override { close(fd_); }
  EventFd(const EventFd&) = delete;
  EventFd& operator=(const EventFd&) = delete;

  void Set() override {
    const uint64_t one = 1;
    // Only fails when the counter is at its maximum, which is still signalled.
    (void)!write(fd_, &one, sizeof one);
  }

  void Reset() override {
    uint64_t count = 0;
    // EAGAIN here means it was already reset.
    (void)!read(fd_, &count, sizeof count);
  }

  bool IsSet() override { return Wait(0); }

  bool Wait(uint32_t ms) override {
    pollfd p{fd_, POLLIN, 0};
    const int timeout = static_cast<int>(std::min<uint32_t>(ms, INT_MAX));
    return poll(&p, 1, timeout) == 1 && (p.revents & POLLIN) != 0;
  }

  int Fd() const override { return fd_; }

 private:
  int fd_;
};

}  // namespace

std::unique_ptr<Event> CreateEvent() {
  const int fd = eventfd(0, EFD_CLOEXEC | EFD_NONBLOCK);
  if (fd < 0) return nullptr;
  return std::make_unique<EventFd>(fd);
}

}  // namespace flashkit::platform
