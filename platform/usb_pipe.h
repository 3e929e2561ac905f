#pragma once

#include <memory>
#include <string>

#include "platform/device.h"
#include "platform/device_system.h"

namespace flashkit::platform {

// A USB bulk device's pipes are UNIX stream sockets in its interface folder
// (<root>/usb/{GUID}/<name>/PIPE00 carries data from the device, PIPE01 data
// to it). The device side listens; opening a pipe connects to it.

// The host side. `path` is a pipe path as the ports build it: the interface
// path, a backslash, the pipe's name. Reads never wait and return what has
// arrived; a device that went away (unplugged) makes reads and writes fail.
Opened<Device> ConnectPipe(const std::string& path);

// Opens the interface path itself (the device's folder), as opening the
// device does; the handle only proves the device is there.
Opened<Device> OpenInterfacePath(const std::string& path);

// The device side of one pipe. The socket file goes away with the listener.
class PipeListener {
 public:
  // Binds and listens at `path` (a plain path with slashes); null on failure
  // with the reason in `status`.
  static std::unique_ptr<PipeListener> Listen(const std::string& path, SysStatus* status);

  ~PipeListener();
  PipeListener(const PipeListener&) = delete;
  PipeListener& operator=(const PipeListener&) = delete;

  // Readable when a host is connecting.
  int Fd() const { return fd_; }
  // Takes a waiting connection without waiting: null (status ok) when none
  // waits. The connection reads without waiting and writes what fits at once.
  std::unique_ptr<Device> Accept(SysStatus* status);

 private:
  PipeListener(int fd, std::string path) : fd_(fd), path_(std::move(path)) {}
  int fd_;
  std::string path_;
};

}  // namespace flashkit::platform
