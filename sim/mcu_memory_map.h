#pragma once

#include <cstdint>
#include <optional>
#include <vector>

#include "sim/mcu_flash.h"

namespace flashkit::sim {

// Where Read Memory and Go may point: the flash, and the other regions of an
// STM32F103 that a host reads (RAM, system memory, option bytes), held at
// fixed contents. Anything else is no memory at all.
class McuMemoryMap {
 public:
  explicit McuMemoryMap(const McuFlash& flash) : flash_(flash) {}

  // The bytes of [address, address + length) when they lie wholly in one
  // region; nothing otherwise.
  std::optional<std::vector<uint8_t>> Read(uint32_t address, uint32_t length) const;

  // Whether code can be started at `address`: in the flash or the RAM.
  bool Runnable(uint32_t address) const;

 private:
  const McuFlash& flash_;
};

}  // namespace flashkit::sim
