#include "platform/low_latency.h"

#include <linux/serial.h>
#include <sys/ioctl.h>

#include <cerrno>

namespace flashkit::platform {
namespace {

class IoctlSerialDriver : public SerialDriver {
 public:
  SysStatus GetFlags(int fd, int& flags) override {
    serial_struct info{};
    if (ioctl(fd, TIOCGSERIAL, &info) != 0) return SysStatus::FromErrno(errno);
    flags = info.flags;
    return SysStatus::Ok();
  }

  SysStatus SetFlags(int fd, int flags) override {
    serial_struct info{};
    if (ioctl(fd, TIOCGSERIAL, &info) != 0) return SysStatus::FromErrno(errno);
    info.flags = flags;
    if (ioctl(fd, TIOCSSERIAL, &info) != 0) return SysStatus::FromErrno(errno);
    return SysStatus::Ok();
  }
};

}  // namespace

SerialDriver& RealSerialDriver() {
  static IoctlSerialDriver driver;
  return driver;
}

void LowLatency::Request(int fd, SerialDriver& driver) {
  int flags = 0;
  if (!driver.GetFlags(fd, flags).ok() || (flags & ASYNC_LOW_LATENCY) != 0) return;
  if (!driver.SetFlags(fd, flags | ASYNC_LOW_LATENCY).ok()) return;
  driver_ = &driver;
  found_ = flags;
}

void LowLatency::Restore(int fd) {
  if (found_ && driver_ != nullptr) driver_->SetFlags(fd, *found_);
  found_.reset();
}

}  // namespace flashkit::platform
