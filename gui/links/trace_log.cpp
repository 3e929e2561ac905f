#include "gui/links/trace_log.h"

#include <algorithm>
#include <cstdarg>
#include <string>

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
    std::fflush(m_pLogFile);
  }
  return n;
}

std::string_view TraceLog::Last() const {
  return std::string_view(m_pBuffer.get(), static_cast<size_t>(last_length_));
}

// Sixteen bytes a line, a wider gap after every eighth, continuation lines
// indented under the label. The bootloader dumps each block between an ACK and
// the block's frame, while the line stands idle, so the text is laid out in
// one pass and reaches the file in one write; the last piece, the line break,
// is the last message, as it would be piece by piece.
void TraceLog::HexDump(const char* label, const uint8_t* data, int32_t length) {
  static constexpr char kDigits[] = "0123456789ABCDEF";
  std::string text;
  text.reserve(kLabelWidth + static_cast<size_t>(std::max(length, 0)) * 4 + 64);
  text += label;
  if (text.size() < kLabelWidth) text.append(kLabelWidth - text.size(), ' ');
  int column = 0;
  for (int32_t i = 0; i < length; ++i) {
    text += kDigits[data[i] >> 4];
    text += kDigits[data[i] & 0xF];
    text += ' ';
    ++column;
    if (column % kBytesPerGroup == 0) text += "   ";
    if (column % kBytesPerLine == 0) {
      if (i == length - 1) break;
      text += '\n';
      text.append(kLabelWidth, ' ');
      column = 0;
    }
  }
  if (m_pLogFile != nullptr) std::fwrite(text.data(), 1, text.size(), m_pLogFile);
  Format("\n");
}

}  // namespace flashkit
