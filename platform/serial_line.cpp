#include "platform/serial_line.h"

#include <fcntl.h>
#include <sys/file.h>

#include <cerrno>
#include <optional>

#include "platform/line_control.h"
#include "platform/line_termios.h"

namespace flashkit::platform {
namespace {

class PosixSerialLine : public SerialLine {
 public:
  PosixSerialLine(int fd, uint32_t write_stall_ms) : io_(fd, write_stall_ms) {}
  ~PosixSerialLine() override { Close(); }

  // TIOCEXCL does not stop root, the lock does; the lock comes first so a
  // refused second opener never touches the holder's exclusive mode.
  SysStatus Claim() {
    if (SysStatus s = line_control::CheckTerminal(fd()); !s.ok()) return s;
    if (flock(fd(), LOCK_EX | LOCK_NB) != 0) return SysStatus::FromErrno(errno, ErrnoContext::kLock);
    if (SysStatus s = line_control::SetExclusive(fd(), true); !s.ok()) return s;
    exclusive_ = true;
    termios2 found{};
    if (SysStatus s = line_control::ReadTermios(fd(), found); !s.ok()) return s;
    found_ = found;
    return line_control::MakeRaw(fd());
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
  bool exclusive_ = false;
  std::optional<termios2> found_;  // the settings before ours
};

}  // namespace

Opened<SerialLine> OpenSerialLine(const std::string& path, uint32_t write_stall_ms) {
  const int fd = open(path.c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC);
  if (fd < 0) return {nullptr, SysStatus::FromErrno(errno)};
  auto line = std::make_unique<PosixSerialLine>(fd, write_stall_ms);
  if (SysStatus s = line->Claim(); !s.ok()) return {nullptr, s};
  return {std::move(line), SysStatus::Ok()};
}

}  // namespace flashkit::platform
