#include <string>
#include <vector>

#include "common/crc16_table.h"
#include "fuzz/harness/harnesses.h"
#include "fuzz/harness/null_out.h"
#include "fuzz/harness/script_feed.h"
#include "ports/device_port.h"
#include "ports/status.h"
#include "tests/support/fake_device_system.h"

namespace flashkit::fuzz {
namespace {

using testing::FakeDeviceState;

constexpr char kDevice[] = "dev0";
constexpr size_t kMaxNameLength = 24;

bool OpenCom(DevicePort& port) { return port.OpenPort(7) == 0 && port.ConfigurePort(115200) == 0; }

bool OpenUsb(testing::FakeDeviceSystem& system, DevicePort& port) {
  system.interfaces = std::vector<std::string>{kDevice};
  system.AddPipe(std::string(kDevice) + "\\PIPE00");
  system.AddPipe(std::string(kDevice) + "\\PIPE01");
  return port.UsbConnect() == 1 && port.OpenUSBHandler() == 1 && port.CreateComInfo() == 1;
}

}  // namespace

// First byte: bit 0 the USB link. Then the image name (a length byte and
// its characters), then the device's answers.
void RunHandshake(const uint8_t* data, size_t size) {
  FuzzInput input(data, size);
  const bool use_usb = (input.Byte() & 1) != 0;
  const std::string name = input.TakeText(input.Byte() % (kMaxNameLength + 1));

  testing::FakeDeviceSystem system;
  NullOut out;
  Crc16Table crc;
  DevicePort port(system, out, crc);
  CheckThat(use_usb ? OpenUsb(system, port) : OpenCom(port), "the fake device opens");
  FakeDeviceState& from_device = use_usb ? system.Pipe(std::string(kDevice) + "\\PIPE00") : system.line;
  FakeDeviceState& to_device = use_usb ? system.Pipe(std::string(kDevice) + "\\PIPE01") : system.line;

  ScriptFeed<FakeDeviceState> feed(input, from_device);
  // The prompts go on until the device is ready; a failed write is the only
  // other way out, so one ends a script the device never finishes.
  bool armed = false;
  to_device.on_write = [&](const testing::Bytes&) {
    feed.OnWrite();
    if (!armed && (feed.Exhausted() || feed.writes() >= ScriptFeed<FakeDeviceState>::kMaxWrites)) {
      to_device.Fail(testing::DeviceOp::kWrite, platform::SysError::kOther, feed.FailingWrite());
      armed = true;
    }
  };

  const int32_t result = port.SendRequest(name.c_str(), use_usb);
  const int32_t ready = use_usb ? 0 : 1;
  CheckThat(result == ready || result == status::kSourceFailed,
            "the handshake ends ready or with -300");
}

}  // namespace flashkit::fuzz
