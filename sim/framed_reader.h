#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "common/crc16_table.h"
#include "common/request_packet.h"
#include "platform/clock.h"
#include "ports/port.h"
#include "sim/framed_frame.h"
#include "sim/request_listener.h"

namespace flashkit::sim {

// A frame is given up when it stops this long before it is complete.
inline constexpr uint32_t kFrameGapMs = 1000;

struct FramedMessage {
  enum class Kind { kRequest, kFrame, kMalformed };
  Kind kind = Kind::kMalformed;
  std::vector<uint8_t> bytes;  // the whole request or frame
  ParsedRequest request{};     // kRequest
  FrameType type{};            // kFrame
  std::string reason;          // kMalformed: what is wrong
};

enum class ReadEnd {
  kMessage,   // one came
  kHostGone,  // the port failed: the host closed its pipes
  kStopped,   // `stopping` said so
  kIdle,      // nothing began within the idle limit
};

// Cuts what the host sends into request packets and frames. Bytes read past
// one message are kept for the next.
class FramedReader {
 public:
  FramedReader(Port& port, platform::Clock& clock, const Crc16Table& crc);

  // Waits for the next message: for its first byte at most `idle_limit_ms`
  // (without it, as long as the host stays), then at most kFrameGapMs for
  // each further byte.
  ReadEnd Next(const StopCheck& stopping, std::optional<uint32_t> idle_limit_ms,
               FramedMessage* out);

  // Bytes of a message begun but not complete.
  size_t Pending() const { return pending_.size(); }

  // Throws away whatever comes until the host goes or `stopping` says so.
  ReadEnd Discard(const StopCheck& stopping);

 private:
  // Reads until `count` bytes are pending; a limit restarts with every byte.
  ReadEnd Fill(size_t count, const StopCheck& stopping, std::optional<uint32_t> limit_ms);
  // The first `count` pending bytes, taken.
  std::vector<uint8_t> Take(size_t count);
  ReadEnd Malformed(std::string reason, FramedMessage* out);
  // A Fill inside a message, where running out of time makes a malformed
  // frame: nothing once the bytes are there, else what Next returns.
  std::optional<ReadEnd> FillRest(size_t count, const StopCheck& stopping, FramedMessage* out);

  Port& port_;
  platform::Clock& clock_;
  const Crc16Table& crc_;
  std::vector<uint8_t> pending_;
};

}  // namespace flashkit::sim
