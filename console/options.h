#pragma once

#include <array>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

#include "console/file_handle.h"

namespace flashkit {

inline constexpr uint32_t kMaxLogStop = 128;

// linkxfer's settings, filled once from the command line and read by the
// jobs afterwards (the send job completes file2, the run flow opens
// log_stream).
struct Options {
  std::string program_name;
  uint32_t port = 1;
  std::optional<std::string> port_path;  // -p given a path: the line it names, instead of `port`
  uint32_t baud = 115200;
  uint32_t timeout_ms = 30000;
  uint32_t log_timeout_ms = 10000;
  bool xmodem = false;       // both directions
  bool receive_crc = false;  // XMODEM receive checks CRC-16, not the checksum
  bool send_1k = false;      // XMODEM send may use 1024-byte blocks
  bool ymodem_g = false;
  bool send = false;
  bool receive = false;
  bool use_usb = false;
  std::optional<std::string> file1;  // the local file
  std::optional<std::string> file2;  // the name announced to the device
  bool log_echo = false;
  std::optional<std::string> log_file;
  std::array<char, kMaxLogStop> log_stop{};
  uint32_t log_stop_length = 0;  // 0: no termination string
  FileHandle log_stream;         // the opened log_file; the log capture closes it

  std::string_view LogStop() const { return {log_stop.data(), log_stop_length}; }
};

}  // namespace flashkit
