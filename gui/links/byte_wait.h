#pragma once

#include <cstdint>
#include <functional>
#include <optional>

#include "platform/clock.h"

namespace flashkit {

// The short wait both links offer for one expected byte: a take, then up to
// 100 more, 1 ms apart. 1 when a take produced `expected`, else -1. `take`
// gives one byte or false when there is none; bytes that are not the
// expected one are dropped, the last of them kept in `other` when given.
int32_t WaitForExpectedByte(platform::Clock& clock, const std::function<bool(uint8_t*)>& take,
                            uint8_t expected, std::optional<uint8_t>* other = nullptr);

}  // namespace flashkit
