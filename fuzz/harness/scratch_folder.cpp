#include "fuzz/harness/scratch_folder.h"

#include <cstdlib>
#include <fstream>
#include <random>
#include <string>
#include <vector>

namespace flashkit::fuzz {
namespace {

// The images the MCU and USB harnesses name.
constexpr ScratchFolder::File kFiles[] = {
    {"fw.bin", 600},       {"iap_cortex.bin", 300}, {"WDN-500S.bin", 260},
    {"empty.bin", 0},      {"vivi", 130},           {"zImage", 61},
    {"root", 120},         {"iap_boot.bin", 200},   {"ZQT410_app.bin", 181},
};

std::filesystem::path Make() {
  std::random_device random;
  const std::filesystem::path dir =
      std::filesystem::temp_directory_path() /
      ("flashkit-fuzz-" + std::to_string(random()) + "-" + std::to_string(random()));
  std::filesystem::create_directories(dir);
  for (const ScratchFolder::File& file : kFiles) {
    std::vector<char> bytes(file.size);
    for (size_t i = 0; i < file.size; ++i) bytes[i] = static_cast<char>(ScratchFolder::ImageByte(i));
    std::ofstream(dir / file.name, std::ios::binary)
        .write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
  }
  setenv("XDG_RUNTIME_DIR", dir.c_str(), 1);
  return dir;
}

// Removed when the process ends.
struct Folder {
  std::filesystem::path dir = Make();
  ~Folder() {
    std::error_code ignored;
    std::filesystem::remove_all(dir, ignored);
  }
};

}  // namespace

const std::filesystem::path& ScratchFolder::Get() {
  static const Folder folder;
  return folder.dir;
}

std::optional<size_t> ScratchFolder::SizeOf(std::string_view name) {
  for (const File& file : kFiles) {
    if (name == file.name) return file.size;
  }
  return std::nullopt;
}

ScratchFolder::Inside::Inside() : previous_(std::filesystem::current_path()) {
  std::filesystem::current_path(Get());
}

ScratchFolder::Inside::~Inside() { std::filesystem::current_path(previous_); }

}  // namespace flashkit::fuzz
