#pragma once

#include <cstdint>
#include <filesystem>
#include <span>
#include <vector>

#include "common/crc16_table.h"
#include "platform/clock.h"
#include "ports/port.h"
#include "sim/event_log.h"
#include "sim/image_sink.h"
#include "sim/request_listener.h"

namespace flashkit::sim {

struct BoardSettings {
  bool no_request = false;  // start in YMODEM reception, without request and prompts
  bool once = false;        // stop after the first complete download and its boot log
  uint32_t boot_lines = 5;
  std::filesystem::path store_dir = ".";
};

// How long the board's receiver waits for a sender, and the pause between
// boot log lines.
inline constexpr uint32_t kReceiveTimeoutMs = 30000;
inline constexpr uint32_t kBootLinePauseMs = 20;

// A board with a download mode: it waits for the host's request, answers
// the prompts, receives one YMODEM batch with the protocol engine, stores
// the image and prints its boot log; then it waits for the next request.
class Board {
 public:
  Board(Port& port, platform::Clock& clock, EventLog& events, const Crc16Table& crc,
        BoardSettings settings, StopCheck stopping);

  // Serves downloads until `stopping` says so (with `once`, until the first
  // complete one). Returns true when a download completed.
  bool Run();

  // One round: request, prompts, batch, store, boot log. True when an image
  // was stored.
  bool ServeOnce();

  // Receives one batch into `sink`, reading `leftover` before the line; the
  // engine's status.
  int32_t Receive(ImageSink& sink, std::span<const uint8_t> leftover = {});

  void SendBootLog(const ImageSink& sink, const std::string& sha256);

 private:
  void ReportError(const char* stage, int32_t status);

  Port& port_;
  platform::Clock& clock_;
  EventLog& events_;
  const Crc16Table& crc_;
  BoardSettings settings_;
  StopCheck stopping_;
};

}  // namespace flashkit::sim
