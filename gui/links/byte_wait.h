#pragma once

#include <cstdint>
#include <functional>

#include "platform/clock.h"

namespace flashkit {

// The short wait both links offer for one expected byte: a take, then up to
// 100 more, 1 ms apart. 1 when a take produced `expected`, else -1. `take`
// gives one byte or false when there is none; bytes that are not the
// expected one are dropped.
int32_t WaitForExpectedByte(platform::Clock& clock, const std::function<bool(uint8_t*)>& take,
                            uint8_t expected);

}  // namespace flashkit
