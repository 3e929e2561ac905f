#include "gui/links/trace_log.h"

#include <algorithm>
#include <cstdarg>

namespace flashkit {
namespace {

constexpr size_t kBufferSize = 65536;
constexpr int kLabelWidth = 15;
constexpr int kBytesPerLine = 16;
constexpr int kBytesPerGroup = 8;

}  // namespace

TraceLog::TraceLog(MessageBoxes& boxes, const std::string& path)
    : m_pBuffer(std::make_unique<char[]>(kBufferSize)) {
  m_pBuffer[0] = '\0';
  m_pLogFile = std::fopen(path.c_str(), "a+");
  if (m_pLogFile == nullptr) boxes.Show("fopen fail");
}

TraceLog::~TraceLog() {
  if (m_pLogFile != nullptr) std::fclose(m_pLogFile);
}

int TraceLog::Format(const char* format, ...) {
  std::va_list args;
  va_start(args, format);
  const int n = std::vsnprintf(m_pBuffer.get(), kBufferSize, format, args);
  va_end(args);
  if (n < 0) {
    last_length_ = 0;
    return n;
  }
  // A message longer than the buffer is cut, never written past it.
  last_length_ = std::min<int>(n, static_cast<int>(kBufferSize) - 1);
  if (m_pLogFile != nullptr) {
    std::fwrite(m_pBuffer.get(), 1, static_cast<size_t>(last_length_), m_pLogFile);
    if (!holding_flush_) std::fflush(m_pLogFile);
  }
  return n;
}

std::string_view TraceLog::Last() const {
  return std::string_view(m_pBuffer.get(), static_cast<size_t>(last_length_));
}

// Sixteen bytes a line, a wider gap after every eighth, continuation lines
// indented under the label. The pieces reach the file together: a flush per
// byte would hold up the bootloader on every block it writes.
void TraceLog::HexDump(const char* label, const uint8_t* data, int32_t length) {
  holding_flush_ = true;
  Format("%-*s", kLabelWidth, label);
  int column = 0;
  for (int32_t i = 0; i < length; ++i) {
    Format("%02X ", data[i]);
    ++column;
    if (column % kBytesPerGroup == 0) Format("   ");
    if (column % kBytesPerLine == 0) {
      if (i == length - 1) break;
      Format("\n%*s", kLabelWidth, "");
      column = 0;
    }
  }
  holding_flush_ = false;
  Format("\n");
}

}  // namespace flashkit
