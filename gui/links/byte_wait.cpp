#include "gui/links/byte_wait.h"

namespace flashkit {
namespace {

constexpr int kPauses = 100;
constexpr uint32_t kPauseMs = 1;

}  // namespace

int32_t WaitForExpectedByte(platform::Clock& clock, const std::function<bool(uint8_t*)>& take,
                            uint8_t expected, std::optional<uint8_t>* other) {
  const auto take_expected = [&] {
    uint8_t byte = 0;
    if (!take(&byte)) return false;
    if (byte == expected) return true;
    if (other != nullptr) *other = byte;
    return false;
  };
  bool matched = take_expected();
  for (int pause = 0; pause < kPauses && !matched; ++pause) {
    clock.SleepMs(kPauseMs);
    matched = take_expected();
  }
  return matched ? 1 : -1;
}

}  // namespace flashkit
