#pragma once

#include <cstdio>
#include <memory>

namespace flashkit {

struct FileCloser {
  void operator()(std::FILE* file) const { std::fclose(file); }
};

// An open stdio file. Whoever holds it closes it; on the error paths that end
// the run this happens while unwinding, as the end of the process would.
using FileHandle = std::unique_ptr<std::FILE, FileCloser>;

// Closes the file and tells whether everything written reached it: buffered
// data can still fail on the way out.
bool CloseChecked(FileHandle& file);

}  // namespace flashkit
