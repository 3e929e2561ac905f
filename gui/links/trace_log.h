#pragma once

#include <cstdint>
#include <cstdio>
#include <memory>
#include <string>
#include <string_view>

#include "gui/links/message_boxes.h"

namespace flashkit {

// The bootloader's log: each formatted message replaces the previous one in a
// 64 KiB buffer and is also appended to the log file ("log.txt" in the
// folder the program started in).
class TraceLog {
 public:
  explicit TraceLog(MessageBoxes& boxes, const std::string& path = "log.txt");
  virtual ~TraceLog();
  TraceLog(const TraceLog&) = delete;
  TraceLog& operator=(const TraceLog&) = delete;

  // Characters formatted.
  int Format(const char* format, ...) __attribute__((format(printf, 2, 3)));
  void HexDump(const char* label, const uint8_t* data, int32_t length);

  // The last formatted message.
  std::string_view Last() const;

 private:
  std::FILE* m_pLogFile = nullptr;
  std::unique_ptr<char[]> m_pBuffer;
  int last_length_ = 0;
};

}  // namespace flashkit
