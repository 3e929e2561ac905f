#pragma once

#include <cstddef>
#include <cstdint>
#include <functional>
#include <optional>
#include <string>

#include "tests/support/e2e_sandbox.h"

namespace flashkit::testing {

// The test's own end of a simulated cable (the far port of a devsim wire):
// it plays the device byte by byte and keeps everything that arrives.
class CableEnd {
 public:
  explicit CableEnd(const std::string& path);
  ~CableEnd();
  CableEnd(const CableEnd&) = delete;
  CableEnd& operator=(const CableEnd&) = delete;

  bool ok() const { return fd_ >= 0; }
  const Bytes& got() const { return got_; }

  bool Write(const Bytes& bytes);
  // Collects input until `done` holds; false after `timeout_ms`.
  bool WaitFor(const std::function<bool(const Bytes&)>& done, uint32_t timeout_ms);
  void Collect();

 private:
  int fd_;
  Bytes got_;
};

// Where `what` first occurs in `bytes` at or after `from`.
std::optional<size_t> Find(const Bytes& bytes, const Bytes& what, size_t from = 0);

// The device's side of a YMODEM send, up to a point; false, with the reason
// in `why`, when the sender did not get there.
// Lets the sender prompt a few times, never answering.
bool PromptsUnanswered(CableEnd& cable, std::string& why);
// Answers the prompts, takes block 0, acknowledges it and takes the first
// data block, which it leaves unanswered.
bool FirstDataBlockUnanswered(CableEnd& cable, std::string& why);

}  // namespace flashkit::testing
