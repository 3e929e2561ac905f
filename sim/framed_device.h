#pragma once

#include <cstdint>
#include <filesystem>
#include <optional>
#include <string>
#include <vector>

#include "common/crc16_table.h"
#include "platform/clock.h"
#include "ports/port.h"
#include "sim/event_log.h"
#include "sim/framed_reader.h"
#include "sim/request_listener.h"

namespace flashkit::sim {

// The one byte the device answers a frame with.
inline constexpr uint8_t kFrameAnswer = 0x06;
// Inside a download, a host silent this long has given up on it.
inline constexpr uint32_t kFrameIdleMs = 30000;

struct FramedSettings {
  std::filesystem::path store_dir = ".";
  // Answers the size frame and this many data frames, then nothing more on
  // that connection; none: answers everything.
  std::optional<uint32_t> silent_after;
};

// How one host connection ended.
enum class ConnectionEnd {
  kReset,     // a request came: the device resets into its download mode
  kHostGone,  // the host closed its pipes
  kStopped,
};

// The device end of flashpanel's framed USB download. On a connection it
// takes either the request packet, after which it resets, or one download:
// the size frame and data frames each answered with one byte (size-announced
// flow), or a header and unanswered data frames (named-image flow), closed by
// an end frame that it answers. The image, cut to the size announced, is
// stored; a malformed frame, data past that size, a short image or a host
// gone mid-way is reported and nothing is stored, and the rest of that
// connection is ignored.
class FramedDevice {
 public:
  FramedDevice(platform::Clock& clock, EventLog& events, FramedSettings settings);

  // Serves one host connection on `port`.
  ConnectionEnd Serve(Port& port, const StopCheck& stopping);

 private:
  enum class Flow { kNone, kSize, kNamed };
  struct Download {
    Flow flow = Flow::kNone;
    std::string name;  // the header's; empty in the size-announced flow
    uint32_t size = 0;
    std::vector<uint8_t> image;
    uint32_t frames = 0;
    uint64_t payload_bytes = 0;  // fill of the last frame included
  };
  // What a message does to the connection.
  enum class Step { kGoOn, kReset, kRefused };

  Step OnRequest(const FramedMessage& message);
  Step OnFrame(Port& port, const FramedMessage& message);
  Step OnData(Port& port, const FramedMessage& message);
  Step OnEnd(Port& port, const FramedMessage& message);
  // Answers one frame unless the device has fallen silent.
  void Answer(Port& port, bool data_frame);
  void Store();
  Step Refuse(const std::string& stage, const std::string& reason);

  platform::Clock& clock_;
  EventLog& events_;
  FramedSettings settings_;
  const Crc16Table crc_;

  // This connection's.
  Download download_;
  uint32_t answered_data_ = 0;
  bool silent_ = false;
};

}  // namespace flashkit::sim
