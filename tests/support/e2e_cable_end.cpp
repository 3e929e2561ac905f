#include "tests/support/e2e_cable_end.h"

#include <fcntl.h>
#include <poll.h>
#include <unistd.h>

#include <algorithm>

#include "tests/support/xfer_wire.h"

namespace flashkit::testing {
namespace {

constexpr uint32_t kStepMs = 10000;
constexpr uint8_t kSoh = kSohByte;
constexpr uint8_t kStx = kStxByte;
constexpr uint8_t kAck = kAckByte;
constexpr uint8_t kPrompt = '1';
constexpr uint8_t kStart = 'C';
constexpr size_t kRequestLength = 12;
constexpr size_t kSmallFrame = 3 + 128 + 2;
constexpr size_t kLargeFrame = 3 + 1024 + 2;

bool Fail(std::string& why, const std::string& text) {
  why = text;
  return false;
}

}  // namespace

CableEnd::CableEnd(const std::string& path)
    : fd_(open(path.c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC)) {}

CableEnd::~CableEnd() {
  if (fd_ >= 0) close(fd_);
}

bool CableEnd::Write(const Bytes& bytes) {
  return write(fd_, bytes.data(), bytes.size()) == static_cast<ssize_t>(bytes.size());
}

bool CableEnd::WaitFor(const std::function<bool(const Bytes&)>& done, uint32_t timeout_ms) {
  return WaitUntil(
      [&] {
        Collect();
        return done(got_);
      },
      timeout_ms);
}

void CableEnd::Collect() {
  uint8_t buffer[4096];
  pollfd p{fd_, POLLIN, 0};
  while (poll(&p, 1, 5) == 1 && (p.revents & POLLIN) != 0) {
    const ssize_t n = read(fd_, buffer, sizeof buffer);
    if (n <= 0) return;
    got_.insert(got_.end(), buffer, buffer + n);
  }
}

std::optional<size_t> Find(const Bytes& bytes, const Bytes& what, size_t from) {
  if (from > bytes.size()) return std::nullopt;
  const auto at = std::search(bytes.begin() + static_cast<std::ptrdiff_t>(from), bytes.end(),
                              what.begin(), what.end());
  if (at == bytes.end()) return std::nullopt;
  return static_cast<size_t>(at - bytes.begin());
}

bool PromptsUnanswered(CableEnd& cable, std::string& why) {
  const bool prompted = cable.WaitFor(
      [](const Bytes& got) {
        return got.size() > kRequestLength &&
               std::count(got.begin() + kRequestLength, got.end(), kPrompt) >= 3;
      },
      kStepMs);
  return prompted || Fail(why, "no prompts");
}

bool FirstDataBlockUnanswered(CableEnd& c, std::string& why) {
  if (!PromptsUnanswered(c, why) || !c.Write({kStart})) return false;
  // The first SOH after the request is block 0; the prompts are all '1'. The
  // sender drops what came before it listens, so the start is repeated until
  // block 0 comes.
  std::optional<size_t> soh;
  for (int tries = 0; tries < 20 && !soh; ++tries) {
    c.Write({kStart});
    c.WaitFor(
        [&](const Bytes& got) {
          soh = Find(got, {kSoh}, kRequestLength);
          return soh.has_value();
        },
        300);
  }
  if (!soh) return Fail(why, "no block 0");
  if (!c.WaitFor([&](const Bytes& got) { return got.size() >= *soh + kSmallFrame; }, kStepMs)) {
    return Fail(why, "block 0 cut short");
  }
  c.Write({kAck, kStart});
  std::optional<size_t> stx;
  const bool block = c.WaitFor(
      [&](const Bytes& got) {
        stx = Find(got, {kStx}, *soh + kSmallFrame);
        return stx && got.size() >= *stx + kLargeFrame;
      },
      kStepMs);
  return block || Fail(why, "no data block");
}

}  // namespace flashkit::testing
