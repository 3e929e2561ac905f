#pragma once

#include <cstdint>
#include <filesystem>
#include <fstream>
#include <memory>
#include <random>
#include <sstream>
#include <string>
#include <utility>
#include <vector>

#include "engines/mcu_bootloader.h"
#include "tests/support/boot_device.h"
#include "tests/support/fake_ring_port.h"
#include "tests/support/recorded_boxes.h"
#include "tests/support/virtual_clock.h"

namespace flashkit::testing {

using Frame = std::vector<uint8_t>;
using Frames = std::vector<Frame>;
using Progress = std::vector<std::pair<uint32_t, int32_t>>;  // wParam, lParam

class RecordedProgress : public ProgressWindow {
 public:
  void SendProgress(uint32_t wparam, int32_t lparam) override { sent.emplace_back(wparam, lparam); }
  Progress sent;
};

// Bytes i of a file: i + seed, so images of different seeds differ everywhere.
inline Frame Pattern(size_t size, uint8_t seed = 0) {
  Frame bytes(size);
  for (size_t i = 0; i < size; ++i) bytes[i] = static_cast<uint8_t>(i + seed);
  return bytes;
}

// A bootloader on a fake line, working in a folder of its own that is the
// current directory for the rig's lifetime.
class DownloadRig {
 public:
  explicit DownloadRig(bool with_owner = true)
      : previous_(std::filesystem::current_path()),
        dir(std::filesystem::temp_directory_path() /
            ("flashkit-boot-" + std::to_string(std::random_device{}()))) {
    std::filesystem::create_directories(dir);
    std::filesystem::current_path(dir);
    auto owned = std::make_unique<FakeRingPort>(clock);
    port = owned.get();
    boot =
        std::make_unique<McuBootloader>(std::move(owned), boxes, clock, (dir / "log.txt").string());
    if (with_owner) boot->SetOwnerWindow(&progress);
  }
  ~DownloadRig() {
    boot.reset();
    std::filesystem::current_path(previous_);
    std::filesystem::remove_all(dir);
  }

  void WriteFile(const std::string& name, const Frame& bytes) const {
    std::ofstream(dir / name, std::ios::binary)
        .write(reinterpret_cast<const char*>(bytes.data()),
               static_cast<std::streamsize>(bytes.size()));
  }
  // Read as the text file it is: its line ends are CRLF on Windows.
  std::string LogFile() const {
    std::ifstream in(dir / "log.txt");
    std::stringstream text;
    text << in.rdbuf();
    return text.str();
  }
  int32_t Download(const std::string& name, const std::string& port_text = "3",
                   const std::string& baud_text = "115200") {
    return boot->Download(name, port_text, baud_text);
  }

 private:
  std::filesystem::path previous_;

 public:
  std::filesystem::path dir;
  VirtualClock clock;
  RecordedBoxes boxes;
  RecordedProgress progress;
  FakeRingPort* port = nullptr;  // owned by boot
  std::unique_ptr<McuBootloader> boot;
};

}  // namespace flashkit::testing
