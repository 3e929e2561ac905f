#include "platform/usb_pipe.h"

#include <fcntl.h>
#include <sys/socket.h>
#include <sys/un.h>
#include <unistd.h>

#include <cerrno>
#include <optional>

#include "platform/fd_device.h"

namespace flashkit::platform {
namespace {

// A stream socket: writes must not raise SIGPIPE when the far side is gone;
// the failed write reports it instead.
class SocketDevice : public FdDevice {
 public:
  using FdDevice::FdDevice;

 protected:
  long WriteSome(const uint8_t* data, size_t len) override {
    return ::send(Id(), data, len, MSG_NOSIGNAL);
  }
};

// The pipe path the ports build ends in a backslash and the pipe's name; in
// the namespace that backslash is a folder separator.
std::string NamespacePath(const std::string& pipe_path) {
  std::string path = pipe_path;
  if (const size_t cut = path.rfind('\\'); cut != std::string::npos) path[cut] = '/';
  return path;
}

// A socket address for `path`. Paths longer than sun_path allows are reached
// through the descriptor of their folder, which `folder_fd` then holds.
std::optional<sockaddr_un> AddressOf(const std::string& path, int* folder_fd, SysStatus* status) {
  sockaddr_un address{};
  address.sun_family = AF_UNIX;
  std::string target = path;
  if (target.size() >= sizeof address.sun_path) {
    const size_t slash = path.rfind('/');
    const std::string folder = slash == std::string::npos ? "." : path.substr(0, slash);
    *folder_fd = ::open(folder.c_str(), O_PATH | O_DIRECTORY | O_CLOEXEC);
    if (*folder_fd < 0) {
      *status = SysStatus::FromErrno(errno);
      return std::nullopt;
    }
    target = "/proc/self/fd/" + std::to_string(*folder_fd) + "/" + path.substr(slash + 1);
    if (target.size() >= sizeof address.sun_path) {
      *status = SysStatus::FromErrno(ENAMETOOLONG);
      return std::nullopt;
    }
  }
  target.copy(address.sun_path, target.size());
  return address;
}

struct FdCloser {
  int fd = -1;
  ~FdCloser() {
    if (fd >= 0) ::close(fd);
  }
};

int NewStreamSocket() { return ::socket(AF_UNIX, SOCK_STREAM | SOCK_NONBLOCK | SOCK_CLOEXEC, 0); }

}  // namespace

Opened<Device> ConnectPipe(const std::string& pipe_path) {
  SysStatus status;
  FdCloser folder;
  const std::optional<sockaddr_un> address = AddressOf(NamespacePath(pipe_path), &folder.fd, &status);
  if (!address) return {nullptr, status};
  const int fd = NewStreamSocket();
  if (fd < 0) return {nullptr, SysStatus::FromErrno(errno)};
  // A listening UNIX socket completes the connection at once or refuses it.
  if (::connect(fd, reinterpret_cast<const sockaddr*>(&*address), sizeof *address) != 0) {
    const int err = errno;
    ::close(fd);
    // A socket file nobody listens on belongs to a device that has gone.
    return {nullptr, SysStatus::FromErrno(err == ECONNREFUSED ? ENOENT : err)};
  }
  return {std::make_unique<SocketDevice>(fd), SysStatus::Ok()};
}

Opened<Device> OpenInterfacePath(const std::string& path) {
  const int fd = ::open(path.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
  if (fd < 0) return {nullptr, SysStatus::FromErrno(errno)};
  return {std::make_unique<FdDevice>(fd), SysStatus::Ok()};
}

std::unique_ptr<PipeListener> PipeListener::Listen(const std::string& path, SysStatus* status) {
  FdCloser folder;
  const std::optional<sockaddr_un> address = AddressOf(path, &folder.fd, status);
  if (!address) return nullptr;
  const int fd = NewStreamSocket();
  if (fd < 0) {
    *status = SysStatus::FromErrno(errno);
    return nullptr;
  }
  if (::bind(fd, reinterpret_cast<const sockaddr*>(&*address), sizeof *address) != 0 ||
      ::listen(fd, 4) != 0) {
    *status = SysStatus::FromErrno(errno);
    ::close(fd);
    return nullptr;
  }
  *status = SysStatus::Ok();
  return std::unique_ptr<PipeListener>(new PipeListener(fd, path));
}

PipeListener::~PipeListener() {
  ::close(fd_);
  ::unlink(path_.c_str());
}

std::unique_ptr<Device> PipeListener::Accept(SysStatus* status) {
  for (;;) {
    const int fd = ::accept4(fd_, nullptr, nullptr, SOCK_NONBLOCK | SOCK_CLOEXEC);
    if (fd >= 0) {
      *status = SysStatus::Ok();
      return std::make_unique<SocketDevice>(fd, 0);
    }
    if (errno == EINTR) continue;
    *status = (errno == EAGAIN || errno == EWOULDBLOCK) ? SysStatus::Ok() : SysStatus::FromErrno(errno);
    return nullptr;
  }
}

}  // namespace flashkit::platform
