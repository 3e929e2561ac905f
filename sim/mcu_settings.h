#pragma once

#include <cstdint>
#include <vector>

namespace flashkit::sim {

// A flash cell that no longer holds a 1: bit `bit` of the byte at `address`.
struct McuStuckBit {
  uint32_t address = 0;
  uint8_t bit = 0;
};

// What the simulated microcontroller is: an STM32F103 of medium density in
// its USART bootloader unless told otherwise, with the flash timing of such
// a part.
struct McuSettings {
  uint32_t flash_base = 0x08000000;
  uint32_t flash_bytes = 128 * 1024;
  uint32_t page_bytes = 1024;
  uint16_t product_id = 0x0410;
  uint32_t program_us = 52;  // per half-word
  uint32_t page_erase_ms = 20;
  uint32_t mass_erase_ms = 40;
  std::vector<McuStuckBit> stuck_bits;  // each reads 0 whatever is written or erased
};

// The bootloader version Get and Get Version report.
inline constexpr uint8_t kMcuBootloaderVersion = 0x22;

// The line's answers.
inline constexpr uint8_t kMcuAck = 0x79;
inline constexpr uint8_t kMcuNack = 0x1F;
inline constexpr uint8_t kMcuSync = 0x7F;

}  // namespace flashkit::sim
