#include "console/log_capture.h"

#include <algorithm>
#include <array>
#include <cstring>
#include <string>
#include <string_view>

#include "console/report.h"
#include "console/text_format.h"
#include "ports/status.h"

namespace flashkit {

namespace {

constexpr uint32_t kBufferSize = 1152;

[[noreturn]] void FileError(ConsoleContext& c) {
  c.options.log_stream.reset();
  FatalError(c, status::kLogFileFailed, "File error during log capture");
}

// Writes the new bytes and pushes them to the disk, so the log holds what
// came even if the run ends abruptly.
bool WriteLog(std::FILE* file, const uint8_t* data, uint32_t length) {
  return file != nullptr && std::fwrite(data, 1, length, file) == length && std::fflush(file) == 0;
}

void Echo(TextOut& out, const uint8_t* data, uint32_t length) {
  std::string text;
  text.reserve(length);
  for (uint32_t i = 0; i < length; ++i) {
    if (data[i] != '\r') text.push_back(static_cast<char>(data[i]));
  }
  out.Print(text);
}

void Finish(ConsoleContext& c, const char* message) {
  if (!CloseChecked(c.options.log_stream)) FileError(c);
  c.out.Print(message);
}

}  // namespace

void CaptureLog(ConsoleContext& c, Port& port, bool use_usb) {
  Options& o = c.options;
  Printf(c.out, "Capturing log to %s...\n", o.log_file ? o.log_file->c_str() : "");

  const std::string_view stop = o.LogStop();
  std::array<uint8_t, kBufferSize> buffer;
  uint32_t carried = 0;  // tail of earlier reads that may start the termination string
  for (;;) {
    int32_t n = port.Read(buffer.data() + carried, kBufferSize - carried, o.log_timeout_ms,
                          use_usb);
    if (n == 0) return Finish(c, "Log capture timeout.\n");
    if (n < 0) {
      o.log_stream.reset();
      FatalError(c, n, "Error during log capture");
    }
    const uint8_t* fresh = buffer.data() + carried;
    const uint32_t count = static_cast<uint32_t>(n);
    if (!WriteLog(o.log_stream.get(), fresh, count)) FileError(c);
    if (o.log_echo) Echo(c.out, fresh, count);
    if (stop.empty()) continue;

    const uint32_t total = carried + count;
    std::string_view held(reinterpret_cast<const char*>(buffer.data()), total);
    if (held.find(stop) != std::string_view::npos) {
      return Finish(c, "Log capture termination string found.\n");
    }
    carried = std::min<uint32_t>(total, static_cast<uint32_t>(stop.size()) - 1);
    std::memmove(buffer.data(), buffer.data() + total - carried, carried);
  }
}

}  // namespace flashkit
