// Times flashpanel's bootloader download against whatever MCU is on the COM
// port: the image, then the companion image the folder holds.
//   mcu_download IMAGE PORT BAUD     (PORT as the dialog gives it: "8")
// Prints "result R", "elapsed_ms T" and any message box; exit status 0 when
// the download returned 1.

#include <cstdio>
#include <memory>
#include <string>

#include "engines/download_progress.h"
#include "gui/links/message_boxes.h"
#include "gui/links/serial_port.h"
#include "engines/mcu_bootloader.h"
#include "platform/clock.h"
#include "platform/device_system.h"
#include "platform/poller.h"

namespace {

class PrintedBoxes : public flashkit::MessageBoxes {
 public:
  void Show(const std::string& text, flashkit::BoxIcon) override {
    std::printf("box %s\n", text.c_str());
  }
};

class NoWindow : public flashkit::ProgressWindow {
 public:
  void SendProgress(uint32_t, int32_t) override {}
};

}  // namespace

int main(int argc, char** argv) {
  if (argc != 4) {
    std::fprintf(stderr, "usage: mcu_download IMAGE PORT BAUD\n");
    return 2;
  }
  PrintedBoxes boxes;
  NoWindow window;
  flashkit::McuBootloader boot(
      std::make_unique<flashkit::SerialPort>(flashkit::platform::RealSystem(), boxes), boxes,
      flashkit::platform::SystemClock());
  boot.SetOwnerWindow(&window);
  const uint64_t start = flashkit::platform::MonotonicNs();
  const int32_t result = boot.Download(argv[1], argv[2], argv[3]);
  const double elapsed_ms = static_cast<double>(flashkit::platform::MonotonicNs() - start) / 1e6;
  std::printf("result %d\nelapsed_ms %.3f\n", result, elapsed_ms);
  return result == 1 ? 0 : 1;
}
