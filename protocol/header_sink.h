#pragma once

#include <cstdint>

#include "protocol/transfer_sink.h"

namespace flashkit {

// Catches the one block of a YMODEM header pass.
class HeaderSink : public TransferSink {
 public:
  int32_t BeginFile(const char* name, uint32_t size) override;  // always -400
  int32_t WriteData(const uint8_t* data, uint32_t length) override;

  void Clear() { length = 0; }
  int32_t Length() const { return length; }
  // Name (pointing into the held block) and size, or -403 when malformed.
  int32_t ParseHeader(const char** name, uint32_t* size) const;

 private:
  uint8_t buffer[1024] = {};
  int32_t length = 0;
};

}  // namespace flashkit
