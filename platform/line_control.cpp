#include "platform/line_control.h"

#include <sys/ioctl.h>

#include "platform/line_termios.h"
#include "platform/signals.h"

#include <cerrno>

namespace flashkit::platform::line_control {
namespace {

struct ByteSizeRow {
  uint8_t bits;
  tcflag_t flag;
};
constexpr ByteSizeRow kByteSizes[] = {{5, CS5}, {6, CS6}, {7, CS7}, {8, CS8}};

struct ParityRow {
  Parity parity;
  tcflag_t flags;
};
constexpr tcflag_t kParityMask = PARENB | PARODD | CMSPAR;
constexpr ParityRow kParities[] = {
    {Parity::kNone, 0},
    {Parity::kOdd, PARENB | PARODD},
    {Parity::kEven, PARENB},
    {Parity::kMark, PARENB | PARODD | CMSPAR},
    {Parity::kSpace, PARENB | CMSPAR},
};

SysStatus Ioctl(int fd, unsigned long request, void* arg, ErrnoContext context = ErrnoContext::kGeneral) {
  int result;
  // A drain may wait on the line for good; a stop signal ends the retries.
  do {
    result = ioctl(fd, request, arg);
  } while (result < 0 && errno == EINTR && StopSignal() == 0);
  return result < 0 ? SysStatus::FromErrno(errno, context) : SysStatus::Ok();
}

SysStatus Get(int fd, termios2& t) { return Ioctl(fd, TCGETS2, &t); }

SysStatus Set(int fd, termios2& t) { return Ioctl(fd, TCSETS2, &t, ErrnoContext::kLineSetting); }

SysStatus Refused() { return SysStatus::FromErrno(EINVAL, ErrnoContext::kLineSetting); }

const ByteSizeRow* FindByteSize(uint8_t bits) {
  for (const ByteSizeRow& row : kByteSizes) {
    if (row.bits == bits) return &row;
  }
  return nullptr;
}

const ParityRow& FindParity(Parity parity) {
  for (const ParityRow& row : kParities) {
    if (row.parity == parity) return row;
  }
  return kParities[0];
}

Parity ParityOf(tcflag_t cflag) {
  if ((cflag & PARENB) == 0) return Parity::kNone;
  for (const ParityRow& row : kParities) {
    if (row.flags == (cflag & kParityMask)) return row.parity;
  }
  return Parity::kNone;
}

}  // namespace

SysStatus ReadTermios(int fd, termios2& t) { return Get(fd, t); }

SysStatus WriteTermios(int fd, const termios2& t) {
  termios2 copy = t;
  return Set(fd, copy);
}

SysStatus CheckTerminal(int fd) {
  termios2 t{};
  return Get(fd, t);
}

SysStatus MakeRaw(int fd) {
  termios2 t{};
  if (SysStatus s = Get(fd, t); !s.ok()) return s;
  t.c_iflag &= ~(IGNBRK | BRKINT | PARMRK | ISTRIP | INLCR | IGNCR | ICRNL | IXON | IXOFF | IXANY);
  t.c_oflag &= ~OPOST;
  t.c_lflag &= ~(ECHO | ECHONL | ICANON | ISIG | IEXTEN);
  t.c_cflag &= ~(CSIZE | kParityMask);
  t.c_cflag |= CS8 | CLOCAL | CREAD;
  t.c_cc[VMIN] = 0;
  t.c_cc[VTIME] = 0;
  return Set(fd, t);
}

SysStatus ReadSettings(int fd, LineSettings& settings) {
  termios2 t{};
  if (SysStatus s = Get(fd, t); !s.ok()) return s;
  settings.baud = t.c_ospeed;
  settings.byte_size = 8;
  for (const ByteSizeRow& row : kByteSizes) {
    if ((t.c_cflag & CSIZE) == row.flag) settings.byte_size = row.bits;
  }
  settings.parity = ParityOf(t.c_cflag);
  settings.stop_bits = (t.c_cflag & CSTOPB) != 0 ? StopBits::kTwo : StopBits::kOne;
  settings.rts_cts = (t.c_cflag & CRTSCTS) != 0;
  return SysStatus::Ok();
}

std::optional<termios2> BuildLineTermios(const termios2& current, const LineSettings& settings) {
  const ByteSizeRow* size = FindByteSize(settings.byte_size);
  if (settings.baud == 0 || size == nullptr || settings.stop_bits == StopBits::kOnePointFive) {
    return std::nullopt;
  }
  termios2 t = current;
  // Clearing CIBAUD makes the input rate follow the output rate.
  t.c_cflag &= ~(CBAUD | CIBAUD | CSIZE | kParityMask | CSTOPB | CRTSCTS);
  t.c_cflag |= BOTHER | size->flag | FindParity(settings.parity).flags | CLOCAL | CREAD;
  if (settings.stop_bits == StopBits::kTwo) t.c_cflag |= CSTOPB;
  if (settings.rts_cts) t.c_cflag |= CRTSCTS;
  // A byte with a parity error is handed on as it came, not replaced or marked.
  t.c_iflag &= ~(IXON | IXOFF | IXANY | INPCK | PARMRK | ISTRIP);
  t.c_cc[VMIN] = 0;
  t.c_cc[VTIME] = 0;
  t.c_ospeed = settings.baud;
  t.c_ispeed = settings.baud;
  return t;
}

SysStatus ApplySettings(int fd, const LineSettings& settings) {
  termios2 current{};
  if (SysStatus s = Get(fd, current); !s.ok()) return s;
  std::optional<termios2> t = BuildLineTermios(current, settings);
  if (!t) return Refused();
  return Set(fd, *t);
}

SysStatus ReturnReadsAtOnce(int fd) { return SetReadWait(fd, 0); }

SysStatus SetReadWait(int fd, uint8_t deciseconds) {
  termios2 t{};
  if (SysStatus s = Get(fd, t); !s.ok()) return s;
  t.c_cc[VMIN] = 0;
  t.c_cc[VTIME] = deciseconds;
  return Set(fd, t);
}

SysStatus Drain(int fd) { return Ioctl(fd, TCSBRK, reinterpret_cast<void*>(1)); }

SysStatus DiscardQueues(int fd) { return Ioctl(fd, TCFLSH, reinterpret_cast<void*>(TCIOFLUSH)); }

SysStatus SetDtr(int fd, bool on) {
  int bits = TIOCM_DTR;
  return Ioctl(fd, on ? TIOCMBIS : TIOCMBIC, &bits);
}

SysStatus SetExclusive(int fd, bool on) { return Ioctl(fd, on ? TIOCEXCL : TIOCNXCL, nullptr); }

}  // namespace flashkit::platform::line_control
