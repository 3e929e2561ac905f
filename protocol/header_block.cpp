#include <cstring>

#include "ports/status.h"
#include "protocol/block_frame.h"
#include "protocol/xfer_session.h"

namespace flashkit {
namespace {

// Name, its zero byte and the size digits must leave the block's last two
// bytes zero.
constexpr uint32_t kHeaderFieldsMax = xfer::kSmallBlock - 2;

// Receivers expect a lower-case name with forward slashes.
char WireNameChar(char c) {
  if (c >= 'A' && c <= 'Z') return static_cast<char>(c - 'A' + 'a');
  if (c == '\\') return '/';
  return c;
}

// Decimal digits without leading zeros into `digits`; returns their count.
uint32_t FormatDecimal(uint32_t value, char* digits) {
  char reversed[10];
  uint32_t count = 0;
  do {
    reversed[count++] = static_cast<char>('0' + value % 10);
    value /= 10;
  } while (value != 0);
  for (uint32_t i = 0; i < count; ++i) digits[i] = reversed[count - 1 - i];
  return count;
}

}  // namespace

int32_t XferSession::BuildHeaderBlock(uint8_t* block, const char* name, uint32_t size) {
  std::memset(block, 0, xfer::kSmallBlock);
  // Never look further into the name than the block could hold.
  uint32_t name_length = 0;
  while (name_length < xfer::kSmallBlock - 1 && name[name_length] != '\0') ++name_length;
  char digits[10];
  const uint32_t digit_count = FormatDecimal(size, digits);
  if (name_length + 1 + digit_count > kHeaderFieldsMax) return status::kHeaderTooLong;

  for (uint32_t i = 0; i < name_length; ++i) block[i] = static_cast<uint8_t>(WireNameChar(name[i]));
  std::memcpy(block + name_length + 1, digits, digit_count);
  return 0;
}

}  // namespace flashkit
