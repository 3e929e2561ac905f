#pragma once

#include <cstddef>
#include <cstdint>
#include <span>
#include <string>
#include <vector>

namespace flashkit::sim {

// Bytes that entered a line together.
struct EnteredBytes {
  uint64_t at_ns = 0;  // on platform::MonotonicNs; 0 when the end cannot tell
  std::vector<uint8_t> bytes;
};

// One end of a simulated line, as the pump sees it: where bytes enter the
// line and where the other direction's bytes come out. Only the pump thread
// calls these.
class LineEnd {
 public:
  virtual ~LineEnd() = default;

  // Turns readable when bytes are waiting to enter the line.
  virtual int InputFd() const = 0;

  // Appends the bytes waiting to enter the line, without blocking, in the
  // order they entered. Bytes whose time is not known enter as the pump takes
  // them. False when this end has failed.
  virtual bool Take(std::vector<EnteredBytes>& out) = 0;

  // Hands over bytes that came out of the line here, without waiting;
  // returns how many were taken (the pump keeps the rest and tries again),
  // or -1 when this end has failed.
  virtual long Give(std::span<const uint8_t> bytes) = 0;

  // Turns writable when Give can take more after a short count; -1 for an
  // end that always takes everything.
  virtual int OutputFd() const { return -1; }

  // True while bytes wait to enter that the pump has not taken yet, as far
  // as this end can tell. Any thread may ask.
  virtual bool HasPending() { return false; }

  // How events name this end ("com3", "board").
  virtual std::string Label() const = 0;
};

}  // namespace flashkit::sim
