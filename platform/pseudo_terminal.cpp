#include "platform/pseudo_terminal.h"

#include <fcntl.h>
#include <stdlib.h>
#include <unistd.h>

#include <cerrno>
#include <utility>

#include "platform/fd_device.h"
#include "platform/line_control.h"

namespace flashkit::platform {
namespace {

PseudoTerminal Failed(SysStatus status) {
  PseudoTerminal pty;
  pty.status = status;
  return pty;
}

PseudoTerminal FailedErrno() { return Failed(SysStatus::FromErrno(errno)); }

}  // namespace

PseudoTerminal::PseudoTerminal(PseudoTerminal&& other) noexcept
    : master(std::move(other.master)),
      slave_path(std::move(other.slave_path)),
      slave_keepalive_fd(std::exchange(other.slave_keepalive_fd, -1)),
      status(other.status) {}

PseudoTerminal& PseudoTerminal::operator=(PseudoTerminal&& other) noexcept {
  if (this != &other) {
    CloseSlave();
    master = std::move(other.master);
    slave_path = std::move(other.slave_path);
    slave_keepalive_fd = std::exchange(other.slave_keepalive_fd, -1);
    status = other.status;
  }
  return *this;
}

PseudoTerminal::~PseudoTerminal() { CloseSlave(); }

void PseudoTerminal::CloseSlave() {
  if (slave_keepalive_fd >= 0) close(slave_keepalive_fd);
  slave_keepalive_fd = -1;
}

PseudoTerminal OpenPseudoTerminal() {
  const int master_fd = posix_openpt(O_RDWR | O_NOCTTY | O_CLOEXEC);
  if (master_fd < 0) return FailedErrno();
  PseudoTerminal pty;
  pty.master = std::make_unique<FdDevice>(master_fd, 0);

  char name[128];
  if (grantpt(master_fd) != 0 || unlockpt(master_fd) != 0 ||
      ptsname_r(master_fd, name, sizeof name) != 0) {
    return FailedErrno();
  }
  const int flags = fcntl(master_fd, F_GETFL);
  if (flags < 0 || fcntl(master_fd, F_SETFL, flags | O_NONBLOCK) != 0) return FailedErrno();

  pty.slave_keepalive_fd = open(name, O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC);
  if (pty.slave_keepalive_fd < 0) return FailedErrno();
  if (SysStatus s = line_control::MakeRaw(pty.slave_keepalive_fd); !s.ok()) return Failed(s);
  pty.slave_path = name;
  return pty;
}

}  // namespace flashkit::platform
