#include "common/crc16_table.h"

namespace flashkit {

Crc16Table::Crc16Table() : m_Table{}, m_Polynomial(0x8005) { BuildTable(m_Polynomial); }

void Crc16Table::BuildTable(uint16_t poly) {
  for (uint32_t i = 0; i < 256; ++i) {
    uint32_t crc = 0;
    uint32_t c = i << 8;
    for (int bit = 0; bit < 8; ++bit) {
      crc = ((crc ^ c) & 0x8000) ? (crc << 1) ^ poly : crc << 1;
      c <<= 1;
    }
    m_Table[i] = crc & 0xFFFF;
  }
}

uint16_t Crc16Table::Compute(const uint8_t* data, uint32_t length) const {
  uint32_t crc = 0;
  for (uint32_t i = 0; i < length; ++i) {
    crc = (m_Table[((crc >> 8) ^ data[i]) & 0xFF] ^ (crc << 8)) & 0xFFFF;
  }
  return static_cast<uint16_t>(crc);
}

}  // namespace flashkit
