#include "tests/support/e2e_line_relay.h"

#include <fcntl.h>
#include <poll.h>
#include <string.h>
#include <sys/socket.h>
#include <termios.h>
#include <unistd.h>

#include <cerrno>
#include <vector>

#include "tests/support/e2e_sandbox.h"

namespace flashkit::testing {
namespace {

// Short, so a stop is seen promptly.
constexpr int kPollMs = 20;

void CloseFd(int& fd) {
  if (fd >= 0) close(fd);
  fd = -1;
}

// One direction: what was read from one side and waits for the other.
struct Flow {
  int& from;
  int& to;
  bool to_socket;  // a socket takes MSG_NOSIGNAL, so a peer gone is no SIGPIPE
  std::vector<uint8_t> pending;
  bool from_open = true;

  void Take() {
    uint8_t buffer[16384];
    const ssize_t n = read(from, buffer, sizeof buffer);
    if (n > 0) pending.insert(pending.end(), buffer, buffer + n);
    if (n == 0 || (n < 0 && errno != EAGAIN && errno != EINTR)) from_open = false;
  }

  void Give() {
    const ssize_t n = to_socket ? send(to, pending.data(), pending.size(), MSG_NOSIGNAL)
                                : write(to, pending.data(), pending.size());
    if (n > 0) pending.erase(pending.begin(), pending.begin() + n);
    if (n < 0 && errno != EAGAIN && errno != EINTR) pending.clear();
  }
};

}  // namespace

E2eLineRelay::E2eLineRelay(const std::string& line_path) {
  line_ = open(line_path.c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC);
  if (line_ < 0) {
    error_ = "cannot open " + line_path + ": " + strerror(errno);
    return;
  }
  termios raw{};
  if (tcgetattr(line_, &raw) == 0) {
    cfmakeraw(&raw);
    tcsetattr(line_, TCSANOW, &raw);
  }
  int pair[2];
  if (socketpair(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0, pair) != 0) {
    error_ = std::string("cannot make a socket pair: ") + strerror(errno);
    return;
  }
  ours_ = pair[0];
  theirs_ = pair[1];
  fcntl(ours_, F_SETFL, fcntl(ours_, F_GETFL) | O_NONBLOCK);
  thread_ = std::thread([this] { Run(); });
}

E2eLineRelay::~E2eLineRelay() {
  stop_ = true;
  if (thread_.joinable()) thread_.join();
  CloseFd(theirs_);
  CloseFd(ours_);
  CloseFd(line_);
}

void E2eLineRelay::ProgramStarted() { CloseFd(theirs_); }

bool E2eLineRelay::WaitDrained(uint32_t timeout_ms) const {
  return WaitUntil([this] { return drained_.load(); }, timeout_ms);
}

void E2eLineRelay::Run() {
  Flow to_program{line_, ours_, true, {}};
  Flow to_line{ours_, line_, false, {}};
  while (!stop_) {
    pollfd fds[2] = {{line_, 0, 0}, {ours_, 0, 0}};
    if (to_program.from_open) fds[0].events |= POLLIN;
    if (!to_line.pending.empty()) fds[0].events |= POLLOUT;
    if (to_line.from_open) fds[1].events |= POLLIN;
    if (!to_program.pending.empty()) fds[1].events |= POLLOUT;
    // A side with nothing to do is left out, or its hang-up would wake us at once.
    for (pollfd& p : fds) {
      if (p.events == 0) p.fd = -1;
    }
    if (poll(fds, 2, kPollMs) < 0 && errno != EINTR) return;
    if (fds[0].revents & (POLLIN | POLLHUP | POLLERR)) to_program.Take();
    if (fds[1].revents & (POLLIN | POLLHUP | POLLERR)) to_line.Take();
    if (!to_line.pending.empty()) to_line.Give();
    if (!to_program.pending.empty()) to_program.Give();
    if (!to_line.from_open && to_line.pending.empty()) drained_ = true;
  }
}

}  // namespace flashkit::testing
