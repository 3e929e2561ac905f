#pragma once

#include <cstddef>
#include <cstdint>
#include <filesystem>
#include <optional>
#include <string>
#include <string_view>

namespace flashkit::fuzz {

// Image files of set sizes in a temporary folder made once per process.
// The downloads open their images by bare name, so a run works inside it.
class ScratchFolder {
 public:
  struct File {
    const char* name;
    size_t size;
  };
  // The folder holding the images (made on first use); it is also the
  // process's XDG_RUNTIME_DIR, so named locks stay in it.
  static const std::filesystem::path& Get();
  // The size of an image in the folder, none for a name it lacks.
  static std::optional<size_t> SizeOf(std::string_view name);
  // Byte i of every image.
  static uint8_t ImageByte(size_t i) { return static_cast<uint8_t>(i % 251); }

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
