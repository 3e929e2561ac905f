#include "platform/fd_device.h"

#include <poll.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <climits>

#include "platform/clock.h"
#include "platform/signals.h"

namespace flashkit::platform {
namespace {

bool WouldBlock(int err) { return err == EAGAIN || err == EWOULDBLOCK; }

int PollMs(uint64_t ms) { return static_cast<int>(std::min<uint64_t>(ms, INT_MAX)); }

}  // namespace

FdDevice::FdDevice(int fd, uint32_t write_stall_ms) : fd_(fd), write_stall_ms_(write_stall_ms) {}

FdDevice::~FdDevice() { Close(); }

IoResult FdDevice::Read(uint8_t* data, size_t len) {
  if (len == 0) return {};
  for (;;) {
    const ssize_t n = ::read(fd_, data, len);
    if (n > 0) return {static_cast<size_t>(n), SysStatus::Ok()};
    if (n < 0 && errno == EINTR) continue;
    if (n < 0 && WouldBlock(errno)) return {};
    if (n < 0) return {0, SysStatus::FromErrno(errno)};
    // A terminal whose reads return at once gives 0 both when it is empty and
    // when it has hung up; only the hang-up is an error.
    if (HungUp()) return {0, SysStatus::FromErrno(EIO)};
    return {};
  }
}

bool FdDevice::HungUp() const {
  pollfd p{fd_, POLLIN, 0};
  return poll(&p, 1, 0) == 1 && (p.revents & (POLLHUP | POLLERR)) != 0;
}

IoResult FdDevice::Write(const uint8_t* data, size_t len) {
  Clock& clock = SystemClock();
  size_t done = 0;
  uint64_t give_up_at = clock.NowMs() + write_stall_ms_;
  while (done < len) {
    const long n = WriteSome(data + done, len - done);
    if (n > 0) {
      done += static_cast<size_t>(n);
      give_up_at = clock.NowMs() + write_stall_ms_;
      continue;
    }
    if (n < 0 && errno == EINTR) continue;
    if (n < 0 && !WouldBlock(errno)) return {done, SysStatus::FromErrno(errno)};
    const uint64_t now = clock.NowMs();
    // A program asked to stop does not wait for a line that takes nothing.
    if (now >= give_up_at || StopSignal() != 0) break;
    // A hang-up ends the wait too; the next write reports it.
    pollfd p[] = {{fd_, POLLOUT, 0}, {StopSignalFd(), POLLIN, 0}};
    poll(p, 2, PollMs(give_up_at - now));
  }
  return {done, SysStatus::Ok()};
}

void FdDevice::PollInput(uint32_t ms) {
  // A stop signal ends the wait too (the descriptor is -1, and left out,
  // where none are installed). An interrupted wait just ends early; callers
  // account for the full step.
  pollfd p[] = {{fd_, POLLIN, 0}, {StopSignalFd(), POLLIN, 0}};
  poll(p, 2, PollMs(ms));
}

long FdDevice::WriteSome(const uint8_t* data, size_t len) { return ::write(fd_, data, len); }

bool FdDevice::Close() {
  if (fd_ < 0) return true;
  const int result = ::close(fd_);
  fd_ = -1;
  return result == 0;
}

}  // namespace flashkit::platform
