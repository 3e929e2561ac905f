#include "console/file_sink.h"

#include <string_view>

#include "console/text_format.h"
#include "ports/status.h"

namespace flashkit {

namespace {
bool IsSeparator(char c) { return c == '/' || c == '\\'; }

// "C:\x" and "C:x" reach beyond the working folder on Windows.
bool HasDrive(std::string_view name) {
  return name.size() >= 2 && name[1] == ':' &&
         ((name[0] >= 'A' && name[0] <= 'Z') || (name[0] >= 'a' && name[0] <= 'z'));
}
}  // namespace

bool IsContainedName(const char* name) {
  std::string_view rest(name);
  if (rest.empty() || IsSeparator(rest.front()) || HasDrive(rest)) return false;
  while (!rest.empty()) {
    size_t end = 0;
    while (end < rest.size() && !IsSeparator(rest[end])) ++end;
    if (rest.substr(0, end) == "..") return false;
    rest.remove_prefix(end == rest.size() ? end : end + 1);
  }
  return true;
}

int32_t FileSink::BeginFile(const char* name, uint32_t size) {
  if (stream) {
    if (position != 0) return status::kSinkFailed;
  } else {
    // The name comes from the far side.
    if (!IsContainedName(name)) return status::kSinkFailed;
    stream.reset(std::fopen(name, "w+b"));
    if (!stream) return status::kSinkFailed;
    Printf(out, "Receiving %s...\n", name);
  }
  total_size = size;
  position = 0;
  return 0;
}

int32_t FileSink::WriteData(const uint8_t* data, uint32_t length) {
  if (!stream) return status::kSinkFailed;
  if (total_size != 0) {
    uint64_t percent = static_cast<uint64_t>(position) * 100 / total_size;
    Printf(out, "%8u bytes of %u - %3d%%\r", position, total_size, static_cast<int>(percent));
  } else {
    Printf(out, "%8u bytes\r", position);
  }
  if (total_size != 0) {
    uint32_t remaining = total_size - position;
    if (remaining == 0) return 0;
    if (length > remaining) length = remaining;
  }
  if (length == 0) return 0;
  // Flushed block by block so that a full disk is noticed while the sender
  // can still be told, not after everything was acknowledged.
  if (std::fwrite(data, 1, length, stream.get()) != length || std::fflush(stream.get()) != 0) {
    return status::kSinkFailed;
  }
  position += length;
  return static_cast<int32_t>(length);
}

}  // namespace flashkit
