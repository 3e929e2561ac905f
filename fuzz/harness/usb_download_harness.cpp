#include <string>
#include <vector>

#include "fuzz/harness/harnesses.h"
#include "fuzz/harness/scratch_folder.h"
#include "fuzz/harness/script_feed.h"
#include "gui/links/usb_link.h"
#include "engines/usb_download.h"
#include "tests/engines/fake_usb_view.h"
#include "tests/support/fake_device_system.h"

namespace flashkit::fuzz {
namespace {

using testing::FakeDeviceState;

constexpr char kDevice[] = "/ns/usb0";

// Size-announced images (60-byte payloads for ZQT410), the named images of
// both conditions, an empty image and none.
constexpr const char* kImageNames[] = {"fw.bin", "iap_boot.bin", "ZQT410_app.bin", "vivi",
                                       "zImage", "root",         "empty.bin",      "missing.bin"};

constexpr size_t kRequestLength = 12;

// Every write to the device is the request packet or a whole frame (STX,
// LEN, type, payload, ETX), and the data frames carry the image in order,
// filled with 0xFF after its end.
void CheckFrames(const FakeDeviceState& to_device, size_t image_size) {
  size_t offset = 0;
  for (const testing::Bytes& frame : to_device.offered) {
    CheckThat(frame.size() >= 4 && frame.front() == kFrameStx && frame.back() == kFrameEtx,
              "a write is one framed packet");
    if (frame.size() == kRequestLength && frame[1] == 0x01) continue;  // the request packet
    CheckThat(frame[1] + 3u == frame.size(), "LEN counts the type and the payload");
    if (frame[2] != kDataFrameType) continue;
    for (size_t i = 3; i + 1 < frame.size(); ++i, ++offset) {
      const uint8_t expected = offset < image_size ? ScratchFolder::ImageByte(offset) : 0xFF;
      CheckThat(frame[i] == expected, "data frames carry the image in order");
    }
  }
}

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
  CheckFrames(to_device, ScratchFolder::SizeOf(image).value_or(0));
}

}  // namespace flashkit::fuzz
