#pragma once

#include <cstdint>

namespace flashkit {

// Where the receiver delivers data.
class TransferSink {
 public:
  // After YMODEM block 0: 0, or a negative status that ends the transfer.
  virtual int32_t BeginFile(const char* name, uint32_t size) = 0;
  // Once per accepted block with its whole data field; once more with no data
  // and length 0 after the sender's EOT, when 0 means the file is complete.
  // 0 or more on success, a negative status to end the transfer.
  virtual int32_t WriteData(const uint8_t* data, uint32_t length) = 0;
  virtual ~TransferSink() = default;
};

}  // namespace flashkit
