#pragma once

#include <cstdint>
#include <filesystem>
#include <optional>
#include <span>
#include <string>
#include <vector>

#include "common/crc16_table.h"
#include "platform/clock.h"
#include "ports/port.h"
#include "sim/event_log.h"
#include "sim/image_sink.h"
#include "sim/image_store.h"
#include "sim/request_listener.h"

namespace flashkit::sim {

// How the host reaches the board, and with it what the host does before a
// download.
enum class BoardLink {
  kSerial,  // request, "1" prompts answered with 'C', and a boot log after
  kUsb,     // request, ten "1" bytes not answered; no boot log
};

struct BoardSettings {
  BoardLink link = BoardLink::kSerial;
  bool no_request = false;  // serial: start in YMODEM reception, without request and prompts
  bool once = false;        // stop after the first complete download (and its boot log)
  uint32_t boot_lines = 5;  // serial
  std::filesystem::path store_dir = ".";
};

// How long the board's receiver waits for a sender, and the pause between
// boot log lines.
inline constexpr uint32_t kReceiveTimeoutMs = 30000;
inline constexpr uint32_t kBootLinePauseMs = 20;
// A host that opened a USB board's pipes and sends nothing for this long is
// an XMODEM sender waiting for the start character: it sends no request.
inline constexpr uint32_t kXmodemSilenceMs = 300;

// How "stored" events name the protocol a file came with.
inline constexpr char kYmodemName[] = "ymodem";
inline constexpr char kXmodemName[] = "xmodem";

// A board with a download mode: it waits for the host's request, takes the
// prompts, receives one YMODEM batch with the protocol engine and stores the
// image; on a serial line it then prints its boot log. Then it waits for the
// next request. Over USB, a host that stays silent after connecting gets an
// XMODEM-CRC receive instead. One Board serves one USB host connection.
class Board {
 public:
  Board(Port& port, platform::Clock& clock, EventLog& events, const Crc16Table& crc,
        BoardSettings settings, StopCheck stopping);

  // Serves downloads until `stopping` says so (with `once`, until the first
  // complete one). Returns true when a download completed.
  bool Run();

  // One round; true when an image was stored.
  bool ServeOnce();

  // Receives one batch into `sink`, reading `leftover` before the line; the
  // engine's status.
  int32_t Receive(ImageSink& sink, std::span<const uint8_t> leftover = {});
  // Receives one XMODEM-CRC file into `sink`; the engine's status.
  int32_t ReceiveXmodem(ImageSink& sink);

  void SendBootLog(const ImageSink& sink, const std::string& sha256);

 private:
  bool ServeSerialRound();
  bool ServeUsbRound();
  bool ServeXmodem();
  // Whether a receive ended with a whole file; reports why not. A file that
  // came whole is kept even when the board is stopping or the host has gone.
  bool Completed(const ImageSink& sink, int32_t result);
  // Stores the file and reports it; nothing when it cannot be written.
  std::optional<StoredImage> StoreAndReport(const ImageSink& sink, const std::string& name,
                                            const std::string& file_name, const char* protocol);
  void ReportError(const char* stage, int32_t status, std::optional<uint8_t> byte = std::nullopt);

  Port& port_;
  platform::Clock& clock_;
  EventLog& events_;
  const Crc16Table& crc_;
  BoardSettings settings_;
  StopCheck stopping_;
  bool host_new_ = true;          // USB: no round has run for this host yet
  std::vector<uint8_t> carried_;  // USB: bytes after a wrong start byte
};

}  // namespace flashkit::sim
