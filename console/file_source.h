#pragma once

#include <cstdint>
#include <cstdio>
#include <optional>

#include "ports/text_out.h"
#include "protocol/transfer_source.h"

namespace flashkit {

// Feeds the sender from an open file and shows how far it has got. The send
// job owns the file and closes it.
class FileSource : public TransferSource {
 public:
  FileSource(std::FILE* stream, int32_t total_size, TextOut& out)
      : stream(stream), total_size(total_size), out(out) {}

  // Bytes placed, 0 at the end of the file, -300 when the file ran out early.
  int32_t ReadChunk(uint8_t* buffer, uint32_t capacity) override;

  // The file's length, leaving it positioned at its start; nothing when it
  // cannot be measured or does not fit the signed 32-bit size.
  static std::optional<int32_t> Measure(std::FILE* stream);

 private:
  std::FILE* stream;
  int32_t total_size;
  int32_t position = 0;
  TextOut& out;
};

}  // namespace flashkit
