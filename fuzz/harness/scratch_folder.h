#pragma once

#include <cstddef>
#include <filesystem>
#include <string>

namespace flashkit::fuzz {

// Image files of set sizes in a temporary folder made once per process.
// The downloads open their images by bare name, so a run works inside it.
class ScratchFolder {
 public:
  struct File {
    const char* name;
    size_t size;
  };
  // The folder holding `files` (made on first use); it is also the
  // process's XDG_RUNTIME_DIR, so named locks stay in it.
  static const std::filesystem::path& Get();

  // Current directory for the object's life.
  class Inside {
   public:
    Inside();
    ~Inside();
    Inside(const Inside&) = delete;
    Inside& operator=(const Inside&) = delete;

   private:
    std::filesystem::path previous_;
  };
};

}  // namespace flashkit::fuzz
