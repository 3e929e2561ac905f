#pragma once

#include <cstdint>

namespace flashkit {

// CRC-16/UMTS (poly 0x8005, init 0, MSB first, no final XOR) that seals the
// device request packet. The X/YMODEM block CRC is a different one and lives
// with the protocol engine.
class Crc16Table {
 public:
  Crc16Table();
  virtual ~Crc16Table() {}

  void BuildTable(uint16_t poly);
  uint16_t Compute(const uint8_t* data, uint32_t length) const;

  uint32_t Entry(uint8_t index) const { return m_Table[index]; }

 private:
  uint32_t m_Table[256];
  uint16_t m_Polynomial;
};

}  // namespace flashkit
