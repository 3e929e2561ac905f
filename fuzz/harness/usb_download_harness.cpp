#include <string>
#include <vector>

#include "fuzz/harness/harnesses.h"
#include "fuzz/harness/scratch_folder.h"
#include "fuzz/harness/script_feed.h"
#include "gui/links/usb_link.h"
#include "gui/usb_download.h"
#include "tests/gui/fake_usb_view.h"
#include "tests/support/fake_device_system.h"

namespace flashkit::fuzz {
namespace {

using testing::FakeDeviceState;

constexpr char kDevice[] = "/ns/usb0";

// Size-announced images (60-byte payloads for ZQT410), the named images of
// both conditions, an empty image and none.
constexpr const char* kImageNames[] = {"fw.bin", "iap_boot.bin", "ZQT410_app.bin", "vivi",
                                       "zImage", "root",         "empty.bin",      "missing.bin"};

}  // namespace

// First byte: the image (low bits) and the condition (bit 7, FINISH). Then
// the device's answers on its read pipe, one chunk per frame written.
void RunUsbDownload(const uint8_t* data, size_t size) {
  FuzzInput input(data, size);
  const uint8_t choice = input.Byte();
  const std::string image = kImageNames[choice % std::size(kImageNames)];
  const std::string condition = (choice & 0x80) != 0 ? "FINISH" : "RUN";

  ScratchFolder::Inside inside;
  testing::FakeDeviceSystem system;
  system.interfaces = std::vector<std::string>{kDevice};
  FakeDeviceState& from_device = system.AddPipe(std::string(kDevice) + "\\PIPE00");
  FakeDeviceState& to_device = system.AddPipe(std::string(kDevice) + "\\PIPE01");
  ScriptFeed<FakeDeviceState> feed(input, from_device);
  // Called on whichever thread writes; only one of them does at a time.
  to_device.on_write = [&feed](const testing::Bytes&) { feed.OnWrite(); };

  testing::RecordingUsbView view;
  UsbLink link(system);
  {
    UsbFramedDownload download(link, view, system.time);
    download.UsbDownload(image, condition);
    download.WaitForSender();
    CheckThat(!download.SenderRunning(), "the sender has ended");
  }
}

}  // namespace flashkit::fuzz
