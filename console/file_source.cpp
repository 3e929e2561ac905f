#include "console/file_source.h"

#include <algorithm>
#include <limits>

#include "console/text_format.h"
#include "ports/status.h"

namespace flashkit {

int32_t FileSource::ReadChunk(uint8_t* buffer, uint32_t capacity) {
  uint64_t percent = total_size == 0 ? 0
                                     : static_cast<uint64_t>(position) * 100 /
                                           static_cast<uint64_t>(total_size);
  Printf(out, "Sending : %8d bytes of Total %d bytes - Percents : %3d%%\r", position, total_size,
         static_cast<int>(percent));
  // Only the measured length goes out, so the data always matches the size
  // announced in the header even if the file grows meanwhile.
  uint32_t left = static_cast<uint32_t>(total_size - position);
  if (left == 0) return 0;
  size_t n = std::fread(buffer, 1, std::min(capacity, left), stream);
  if (n == 0) return status::kSourceFailed;
  position += static_cast<int32_t>(n);
  return static_cast<int32_t>(n);
}

std::optional<int32_t> FileSource::Measure(std::FILE* stream) {
  if (std::fseek(stream, 0, SEEK_END) != 0) return std::nullopt;
  long size = std::ftell(stream);
  if (size < 0 || size > std::numeric_limits<int32_t>::max()) return std::nullopt;
  if (std::fseek(stream, 0, SEEK_SET) != 0) return std::nullopt;
  // A folder opens, and on some file systems even seeks, like a file; only a
  // read tells, and it must tell before the device is asked to download.
  if (std::fgetc(stream) == EOF && std::ferror(stream)) return std::nullopt;
  if (std::fseek(stream, 0, SEEK_SET) != 0) return std::nullopt;
  return static_cast<int32_t>(size);
}

}  // namespace flashkit
