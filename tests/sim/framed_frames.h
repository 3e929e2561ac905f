#pragma once

// The frames flashpanel's USB download sends, built as the host builds them,
// for the tests of the device that takes them.
#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <string>
#include <vector>

namespace flashkit::sim::testing {

using FrameBytes = std::vector<uint8_t>;

inline FrameBytes Frame(uint8_t type, const FrameBytes& payload) {
  FrameBytes frame;
  frame.reserve(payload.size() + 4);
  frame.push_back(0x02);
  frame.push_back(static_cast<uint8_t>(payload.size() + 1));
  frame.push_back(type);
  frame.insert(frame.end(), payload.begin(), payload.end());
  frame.push_back(0x03);
  return frame;
}

inline FrameBytes SizeFrame(uint32_t size) {
  char digits[16];
  std::snprintf(digits, sizeof digits, "%08u", size);
  return Frame(0xFF, FrameBytes(digits, digits + 8));
}

inline FrameBytes HeaderFrame(uint8_t type, const std::string& name, uint32_t size) {
  char digits[16];
  std::snprintf(digits, sizeof digits, "%07u", size);
  FrameBytes payload(name.begin(), name.end());
  payload.push_back(0x00);
  payload.insert(payload.end(), digits, digits + 7);
  return Frame(type, payload);
}

// Every data frame of `image`, `payload` bytes each; the last one filled
// past the image's end with `fill`.
inline FrameBytes DataFrames(const FrameBytes& image, size_t payload, uint8_t fill = 0xEE) {
  FrameBytes all;
  for (size_t at = 0; at < image.size(); at += payload) {
    FrameBytes chunk(payload, fill);
    std::copy_n(image.begin() + static_cast<long>(at), std::min(payload, image.size() - at),
                chunk.begin());
    const FrameBytes frame = Frame(0xFE, chunk);
    all.insert(all.end(), frame.begin(), frame.end());
  }
  return all;
}

inline FrameBytes EndFrame(bool run) { return {0x02, 0x01, static_cast<uint8_t>(run ? 0xFC : 0xFB), 0x03}; }

inline FrameBytes PatternImage(size_t size) {
  FrameBytes image(size);
  for (size_t i = 0; i < size; ++i) image[i] = static_cast<uint8_t>(i * 37 + 11);
  return image;
}

}  // namespace flashkit::sim::testing
