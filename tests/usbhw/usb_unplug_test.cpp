#include <gtest/gtest.h>

#include <cerrno>
#include <chrono>
#include <string>
#include <thread>

#include "ports/device_port.h"
#include "ports/status.h"
#include "tests/support/captured_out.h"
#include "tests/support/xfer_wire.h"
#include "tests/usbhw/usb_hw_rig.h"

namespace flashkit::testing {
namespace {

using platform::SysError;

// How the requests in flight end when the board is pulled: the host
// controller shuts them down, or the last packet broke off mid-way.
struct UnplugRow {
  const char* name;
  int urb_status;
};

class UsbUnplug : public ::testing::TestWithParam<UnplugRow> {};

TEST_P(UsbUnplug, PipesFailAfterTheBytesThatCameAndNothingHangs) {
  UsbHwRig rig;
  platform::Opened<platform::Device> in = rig.Open(platform::kReadPipeName);
  platform::Opened<platform::Device> out = rig.Open(platform::kWritePipeName);
  ASSERT_NE(in.device, nullptr) << in.status.Text();
  ASSERT_NE(out.device, nullptr) << out.status.Text();
  rig.device->Send({'l', 'o', 'g'});
  rig.device->Unplug(GetParam().urb_status);

  const auto start = std::chrono::steady_clock::now();
  EXPECT_EQ(ReadFor(*in.device, 10, 2000), (Bytes{'l', 'o', 'g'}));
  uint8_t byte = 0;
  const platform::IoResult read = in.device->Read(&byte, 1);
  EXPECT_EQ(read.status.error, SysError::kOther) << read.status.Text();
  const Bytes frame = Pattern(133);
  const platform::IoResult wrote = out.device->Write(frame.data(), frame.size());
  EXPECT_EQ(wrote.status.error, SysError::kOther) << wrote.status.Text();
  EXPECT_LT(MsSince(start), 1000);
  EXPECT_TRUE(in.device->Close());
  EXPECT_TRUE(out.device->Close());
}

INSTANTIATE_TEST_SUITE_P(Endings, UsbUnplug,
                         ::testing::Values(UnplugRow{"RequestsShutDown", -ESHUTDOWN},
                                           UnplugRow{"PacketBrokenOff", -EPROTO}),
                         [](const auto& info) { return std::string(info.param.name); });

TEST(UsbUnplug, AWriteTheDeviceHeldFailsAtOnce) {
  UsbHwRig rig;
  platform::Opened<platform::Device> out = rig.Open(platform::kWritePipeName);
  ASSERT_NE(out.device, nullptr) << out.status.Text();
  rig.device->TakeAtMost(0);
  std::thread pull([&] {
    std::this_thread::sleep_for(std::chrono::milliseconds(200));
    rig.device->Unplug(-ESHUTDOWN);
  });
  const Bytes frame = Pattern(1029);
  const auto start = std::chrono::steady_clock::now();
  const platform::IoResult wrote = out.device->Write(frame.data(), frame.size());
  const int64_t elapsed = MsSince(start);
  pull.join();
  EXPECT_EQ(wrote.status.error, SysError::kOther) << wrote.status.Text();
  EXPECT_LT(elapsed, 1500) << "waited out the stall instead of seeing the device go";
}

// linkxfer's port on a board that is pulled: its reads and writes give the
// port's failure codes.
TEST(UsbUnplug, ThePortReportsItsReadAndWriteFailures) {
  UsbHwRig rig;
  CapturedOut out;
  Crc16Table crc;
  DevicePort port(platform::RealSystem(), out, crc);
  ASSERT_EQ(port.UsbConnect(), 1);
  ASSERT_EQ(port.OpenUSBHandler(), 1);
  rig.device->Unplug(-ESHUTDOWN);
  uint8_t byte = 0;
  EXPECT_EQ(port.Read(&byte, 1, 1000, true), status::kPortReadFailed);
  EXPECT_EQ(port.Write(&byte, 1, 1000, true), status::kPortWriteFailed);
  port.CloseUsbPipes();
}

}  // namespace
}  // namespace flashkit::testing
