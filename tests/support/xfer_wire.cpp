#include "tests/support/xfer_wire.h"

#include <algorithm>
#include <string>

namespace flashkit::testing {

uint16_t ReferenceCrc(const Bytes& data) {
  uint16_t crc = 0;
  for (uint8_t byte : data) {
    crc ^= static_cast<uint16_t>(byte << 8);
    for (int i = 0; i < 8; ++i) {
      crc = (crc & 0x8000) ? static_cast<uint16_t>((crc << 1) ^ 0x1021) : static_cast<uint16_t>(crc << 1);
    }
  }
  return crc;
}

Bytes DataFrame(uint8_t start, uint8_t number, const Bytes& payload, Check check) {
  const size_t field_size = start == kStxByte ? 1024 : 128;
  Bytes field = payload;
  field.resize(field_size, 0x1A);
  Bytes frame;
  frame.reserve(3 + field.size() + 2);
  frame.push_back(start);
  frame.push_back(number);
  frame.push_back(static_cast<uint8_t>(0xFF - number));
  frame.insert(frame.end(), field.begin(), field.end());
  if (check == Check::kCrc) {
    const uint16_t crc = ReferenceCrc(field);
    frame.push_back(static_cast<uint8_t>(crc >> 8));
    frame.push_back(static_cast<uint8_t>(crc & 0xFF));
  } else {
    unsigned sum = 0;
    for (uint8_t byte : field) sum += byte;
    frame.push_back(static_cast<uint8_t>(sum % 256));
  }
  return frame;
}

Bytes HeaderField(std::string_view name, std::string_view digits) {
  Bytes field(name.begin(), name.end());
  field.push_back(0);
  field.insert(field.end(), digits.begin(), digits.end());
  field.resize(128, 0);
  return field;
}

Bytes Slice(const Bytes& data, size_t offset, size_t count) {
  return Bytes(data.begin() + static_cast<ptrdiff_t>(offset),
               data.begin() + static_cast<ptrdiff_t>(offset + count));
}

Bytes Pattern(size_t length) {
  Bytes data(length);
  uint32_t state = 12345;
  for (uint8_t& byte : data) {
    state = state * 1103515245u + 12345u;
    byte = static_cast<uint8_t>(state >> 16);
  }
  return data;
}

::testing::AssertionResult SameFrames(const std::vector<Bytes>& actual,
                                      const std::vector<Bytes>& expected) {
  for (size_t i = 0; i < std::min(actual.size(), expected.size()); ++i) {
    if (actual[i] == expected[i]) continue;
    size_t at = 0;
    while (at < actual[i].size() && at < expected[i].size() && actual[i][at] == expected[i][at]) ++at;
    auto byte = [](const Bytes& b, size_t k) {
      return k < b.size() ? std::to_string(b[k]) : std::string("(end)");
    };
    return ::testing::AssertionFailure()
           << "frame " << i << " differs at byte " << at << ": " << byte(actual[i], at)
           << " instead of " << byte(expected[i], at) << " (lengths " << actual[i].size() << " and "
           << expected[i].size() << ")";
  }
  if (actual.size() != expected.size()) {
    return ::testing::AssertionFailure()
           << actual.size() << " frames written, " << expected.size() << " expected";
  }
  return ::testing::AssertionSuccess();
}

Bytes Join(std::initializer_list<Bytes> parts) {
  Bytes all;
  for (const Bytes& part : parts) all.insert(all.end(), part.begin(), part.end());
  return all;
}

}  // namespace flashkit::testing
