#pragma once

#include <cstdint>

#include "console/file_handle.h"
#include "ports/text_out.h"
#include "protocol/transfer_sink.h"

namespace flashkit {

// Writes what the receiver accepts into a file and shows how far it has got.
// The file lives in the receive job's handle: the job opens it when it names
// the file itself, BeginFile when the sender's header names it, and the job
// closes it either way.
class FileSink : public TransferSink {
 public:
  FileSink(FileHandle& stream, TextOut& out) : stream(stream), out(out) {}

  // 0, or -400 when the file cannot be created, its name is not a plain
  // relative path, or data were already written to the open file.
  int32_t BeginFile(const char* name, uint32_t size) override;
  // Bytes written (cut to the declared size), or -400 when writing fails.
  int32_t WriteData(const uint8_t* data, uint32_t length) override;

 private:
  FileHandle& stream;
  uint32_t total_size = 0;  // 0: unknown, every block is written whole
  uint32_t position = 0;
  TextOut& out;
};

// False for a name that would leave the working folder: absolute, or with a
// ".." component ('/' and '\' both separate components).
bool IsContainedName(const char* name);

}  // namespace flashkit
