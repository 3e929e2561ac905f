#include "platform/serial_line.h"

#include <fcntl.h>
#include <sys/file.h>

#include <cerrno>
#include <optional>

#include "platform/line_control.h"
#include "platform/line_termios.h"

namespace flashkit::platform {
namespace {

struct OpenFailureRow {
  int err;
  const char* text;
};

// The reasons a path given for a serial line fails most often; others keep
// the system's own words.
constexpr OpenFailureRow kOpenFailures[] = {
    {ENOENT, "no such device"},
    {ENOTDIR, "no such device (a part of the path is not a folder)"},
    {EISDIR, "it is a folder, not a serial port"},
    {ENOTTY, "it is not a serial port (not a terminal)"},
    {ENXIO, "the device is not there (unplugged?)"},
    {ENODEV, "the device is not there (unplugged?)"},
    {ENAMETOOLONG, "the path is longer than the system allows"},
    {ELOOP, "too many levels of links"},
    {EACCES, "permission denied (are you in the dialout group?)"},
    {EPERM, "permission denied"},
    {EWOULDBLOCK, "another program is using it"},
    {EBUSY, "another program is using it"},
};

class PosixSerialLine : public SerialLine {
 public:
  PosixSerialLine(int fd, uint32_t write_stall_ms) : io_(fd, write_stall_ms) {}
  ~PosixSerialLine() override { Close(); }

  // TIOCEXCL does not stop root, the lock does; the lock comes first so a
  // refused second opener never touches the holder's exclusive mode.
  SysStatus Claim(SerialDriver& driver) {
    if (SysStatus s = line_control::CheckTerminal(fd()); !s.ok()) return s;
    if (flock(fd(), LOCK_EX | LOCK_NB) != 0) return SysStatus::FromErrno(errno, ErrnoContext::kLock);
    if (SysStatus s = line_control::SetExclusive(fd(), true); !s.ok()) return s;
    exclusive_ = true;
    termios2 found{};
    if (SysStatus s = line_control::ReadTermios(fd(), found); !s.ok()) return s;
    found_ = found;
    if (SysStatus s = line_control::MakeRaw(fd()); !s.ok()) return s;
    latency_.Request(fd(), driver);
    return SysStatus::Ok();
  }

  int Id() const override { return io_.Id(); }
  IoResult Read(uint8_t* data, size_t len) override { return io_.Read(data, len); }
  IoResult Write(const uint8_t* data, size_t len) override { return io_.Write(data, len); }
  void PollInput(uint32_t ms) override { io_.PollInput(ms); }

  // The terminal's settings and its exclusive mode outlive the descriptor
  // while anyone else (a login shell, a simulator's keep-alive) holds the
  // terminal, so the line is handed back as it was found before closing. A
  // line that has hung up refuses; there is nothing left to hand back then.
  bool Close() override {
    latency_.Restore(fd());
    if (found_) line_control::WriteTermios(fd(), *found_);
    found_.reset();
    if (exclusive_) line_control::SetExclusive(fd(), false);
    exclusive_ = false;
    return io_.Close();
  }

  SysStatus Flush() override { return line_control::Drain(fd()); }
  SysStatus Purge() override { return line_control::DiscardQueues(fd()); }
  SysStatus GetSettings(LineSettings& settings) override {
    return line_control::ReadSettings(fd(), settings);
  }
  SysStatus SetSettings(const LineSettings& settings) override {
    return line_control::ApplySettings(fd(), settings);
  }
  SysStatus SetReadsReturnAtOnce() override { return line_control::ReturnReadsAtOnce(fd()); }
  SysStatus SetDtr(bool on) override { return line_control::SetDtr(fd(), on); }

 private:
  int fd() const { return io_.Id(); }

  FdDevice io_;
  LowLatency latency_;
  bool exclusive_ = false;
  std::optional<termios2> found_;  // the settings before ours
};

}  // namespace

std::string SerialOpenFailureText(const SysStatus& status) {
  for (const OpenFailureRow& row : kOpenFailures) {
    if (row.err == status.os_errno) return row.text;
  }
  return status.Text();
}

Opened<SerialLine> OpenSerialLine(const std::string& path, uint32_t write_stall_ms,
                                  SerialDriver& driver) {
  const int fd = open(path.c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC);
  if (fd < 0) return {nullptr, SysStatus::FromErrno(errno)};
  auto line = std::make_unique<PosixSerialLine>(fd, write_stall_ms);
  if (SysStatus s = line->Claim(driver); !s.ok()) return {nullptr, s};
  return {std::move(line), SysStatus::Ok()};
}

}  // namespace flashkit::platform
