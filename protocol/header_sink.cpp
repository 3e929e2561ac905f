#include "protocol/header_sink.h"

#include <algorithm>
#include <cstring>

#include "ports/status.h"

namespace flashkit {

int32_t HeaderSink::BeginFile(const char*, uint32_t) { return status::kSinkFailed; }

int32_t HeaderSink::WriteData(const uint8_t* data, uint32_t length) {
  const uint32_t kept = std::min<uint32_t>(length, sizeof buffer);
  if (kept > 0) std::memcpy(buffer, data, kept);
  this->length = static_cast<int32_t>(kept);
  return 0;
}

int32_t HeaderSink::ParseHeader(const char** name, uint32_t* size) const {
  const uint8_t* end = buffer + length;
  const uint8_t* terminator = std::find(buffer, end, 0);
  if (terminator == end) return status::kBadHeader;

  constexpr uint32_t kMax = 0xFFFFFFFFu;
  uint32_t value = 0;
  // The size ends at a zero byte or at a blank; later fields are not ours.
  for (const uint8_t* p = terminator + 1; p < end && *p != 0 && *p != ' '; ++p) {
    if (*p < '0' || *p > '9') return status::kBadHeader;
    const uint32_t digit = *p - '0';
    if (value > (kMax - digit) / 10) return status::kBadHeader;
    value = value * 10 + digit;
  }
  *name = reinterpret_cast<const char*>(buffer);
  *size = value;
  return 0;
}

}  // namespace flashkit
