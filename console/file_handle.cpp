#include "console/file_handle.h"

namespace flashkit {

bool CloseChecked(FileHandle& file) {
  std::FILE* raw = file.release();
  if (raw == nullptr) return true;
  bool ok = std::fflush(raw) == 0 && std::ferror(raw) == 0;
  return std::fclose(raw) == 0 && ok;
}

}  // namespace flashkit
