#pragma once

#include <cstdint>
#include <sstream>
#include <string>
#include <vector>

#include "common/crc16_table.h"
#include "common/request_packet.h"
#include "sim/event_log.h"

namespace flashkit::sim::testing {

using Bytes = std::vector<uint8_t>;

// A command line as the words a shell would pass.
inline std::vector<std::string> Words(const std::string& line) {
  std::istringstream in(line);
  std::vector<std::string> words;
  for (std::string w; in >> w;) words.push_back(w);
  return words;
}

// An event log whose clock stands at 0, so lines compare as whole texts.
class CapturedEvents {
 public:
  CapturedEvents() : log_(out_, [] { return uint64_t{0}; }) {}
  EventLog& log() { return log_; }
  std::vector<std::string> Lines() const {
    std::vector<std::string> lines;
    std::istringstream in(out_.str());
    for (std::string line; std::getline(in, line);) lines.push_back(line);
    return lines;
  }

 private:
  std::ostringstream out_;
  EventLog log_;
};

inline Bytes RequestBytes(ImageType type) {
  const Crc16Table crc;
  RequestPacket packet;
  packet.Fill(type, crc);
  return Bytes(packet.bytes.begin(), packet.bytes.end());
}

inline Bytes WithBadCrc(Bytes packet) {
  packet[10] ^= 0x01;
  return packet;
}

inline Bytes Cat(std::initializer_list<Bytes> parts) {
  Bytes all;
  for (const Bytes& p : parts) all.insert(all.end(), p.begin(), p.end());
  return all;
}

inline Bytes Text(const std::string& text) { return Bytes(text.begin(), text.end()); }

}  // namespace flashkit::sim::testing
