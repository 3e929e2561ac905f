// linkxfer's USB link on Windows, through the SetupAPI and the pipe files as
// a driver gives them, played by a fake of the system calls: what is found,
// what is opened with which flags, reads that never wait, and a device that
// goes away.

#include "platform/win32/usb_devices.h"

#include <gtest/gtest.h>

#include "common/crc16_table.h"
#include "ports/device_port.h"
#include "ports/status.h"
#include "tests/support/captured_out.h"
#include "tests/support/virtual_clock.h"
#include "tests/win32/fake_usb_calls.h"

namespace flashkit::testing {
namespace {

using Paths = std::optional<std::vector<std::string>>;

const std::string kA = "\\\\?\\usb#vid_04e8&pid_1234#5&1a2b#{00873fdf-61a8-11d1-aa5e-00c04fb1728b}";
const std::string kB = "\\\\?\\usb#vid_04e8&pid_1234#5&9f8e#{00873fdf-61a8-11d1-aa5e-00c04fb1728b}";
const std::string kOverlapped = " " + std::to_string(FILE_FLAG_OVERLAPPED);

// The Win32 USB code behind the device system a DevicePort stands on.
class SeamSystem : public platform::DeviceSystem {
 public:
  explicit SeamSystem(FakeUsbCalls& calls) : calls_(calls) {}
  platform::Opened<platform::SerialLine> OpenSerial(const std::string&) override {
    return {nullptr, {platform::SysError::kFileNotFound, ERROR_FILE_NOT_FOUND}};
  }
  platform::Opened<platform::Device> OpenPipe(const std::string& path) override {
    return platform::OpenUsbPipe(calls_, path);
  }
  platform::Opened<platform::Device> OpenInterface(const std::string& path) override {
    return platform::OpenUsbInterface(calls_, path);
  }
  std::optional<std::vector<std::string>> ListInterfaces(const std::string& class_guid) override {
    return platform::ListDeviceInterfaces(calls_, class_guid);
  }
  std::unique_ptr<platform::Event> NewEvent() override { return platform::CreateEvent(); }
  platform::Clock& clock() override { return clock_; }

 private:
  FakeUsbCalls& calls_;
  VirtualClock clock_;
};

struct Rig {
  FakeUsbCalls calls;
  SeamSystem system{calls};
  CapturedOut out;
  Crc16Table crc;
  DevicePort port{system, out, crc};

  void Connect() {
    calls.interfaces = std::vector<std::string>{kA};
    ASSERT_EQ(port.UsbConnect(), 1);
    ASSERT_EQ(port.OpenUSBHandler(), 1);
    ASSERT_EQ(port.CreateComInfo(), 1);
  }
};

struct FindRow {
  const char* name;
  Paths present;
  int32_t count;
  const char* chosen;  // whose PIPE00 is opened; nullptr: none
};

class UsbFind : public ::testing::TestWithParam<FindRow> {};

TEST_P(UsbFind, CountsTheInterfacesAndOpensTheFirstOnesPipes) {
  const FindRow& row = GetParam();
  Rig rig;
  rig.calls.interfaces = row.present;
  EXPECT_EQ(rig.port.CountDevices(kBulkDeviceClass), row.count);
  EXPECT_EQ(rig.port.UsbConnect(), row.chosen != nullptr ? 1 : 0);
  EXPECT_EQ(rig.port.OpenUSBHandler(), row.chosen != nullptr ? 1 : 0);
  if (row.chosen != nullptr) {
    EXPECT_EQ(rig.calls.opened, (std::vector<std::string>{std::string(row.chosen) + "\\PIPE00" + kOverlapped,
                                                          std::string(row.chosen) + "\\PIPE01" + kOverlapped}));
  } else {
    EXPECT_TRUE(rig.calls.opened.empty());
  }
  EXPECT_EQ(rig.calls.lists_destroyed, rig.calls.lists_obtained) << "every device list is released";
}

INSTANTIATE_TEST_SUITE_P(Win32, UsbFind,
                         ::testing::Values(FindRow{"NoSet", std::nullopt, 0, nullptr},
                                           FindRow{"Zero", std::vector<std::string>{}, 0, nullptr},
                                           FindRow{"One", std::vector<std::string>{kA}, 1, kA.c_str()},
                                           FindRow{"Two", std::vector<std::string>{kA, kB}, 2, kA.c_str()}),
                         [](const auto& info) { return std::string(info.param.name); });

TEST(UsbFind, ClassTextThatIsNoGuidFindsNothing) {
  FakeUsbCalls calls;
  calls.interfaces = std::vector<std::string>{kA};
  EXPECT_EQ(platform::ListDeviceInterfaces(calls, "00873FDF-61A8-11D1-AA5E-00C04FB1728B"), std::nullopt);
  EXPECT_EQ(platform::ListDeviceInterfaces(calls, "{00873FDF-61A8-11D1-AA5E-00C04FB1728B}x"), std::nullopt);
  EXPECT_EQ(calls.lists_obtained, 0);
}

struct PipeRow {
  const char* name;
  const char* missing;  // the pipe that does not open
  int opened_before;    // pipes open when it fails
};

class UsbPipeMissing : public ::testing::TestWithParam<PipeRow> {};

// An interface present without its pipes: the handler fails and a read pipe
// that did open stays open, for the front end to close.
TEST_P(UsbPipeMissing, HandlerFailsAndKeepsWhatOpened) {
  Rig rig;
  rig.calls.interfaces = std::vector<std::string>{kA};
  rig.calls.missing.insert(kA + "\\" + GetParam().missing);
  ASSERT_EQ(rig.port.UsbConnect(), 1);
  EXPECT_EQ(rig.port.OpenUSBHandler(), 0);
  EXPECT_EQ(static_cast<int>(rig.calls.opened.size()), GetParam().opened_before);
  EXPECT_TRUE(rig.calls.closed.empty());
}

INSTANTIATE_TEST_SUITE_P(Win32, UsbPipeMissing,
                         ::testing::Values(PipeRow{"ReadPipe", "PIPE00", 0}, PipeRow{"WritePipe", "PIPE01", 1}),
                         [](const auto& info) { return std::string(info.param.name); });

TEST(UsbPipeIo, ReadsNeverWaitAndKeepOneTransferInFlight) {
  Rig rig;
  rig.Connect();
  uint8_t buffer[8] = {};
  EXPECT_EQ(rig.port.Read(buffer, sizeof buffer, 0, true), 0);
  EXPECT_EQ(rig.port.Read(buffer, sizeof buffer, 0, true), 0);
  EXPECT_EQ(rig.calls.reads_issued, 1) << "the pending read is looked at, not asked again";
  rig.calls.Deliver({'C', 'x', 'y'});
  ASSERT_EQ(rig.port.Read(buffer, 2, 0, true), 2);
  EXPECT_EQ(std::string(buffer, buffer + 2), "Cx");
  ASSERT_EQ(rig.port.Read(buffer, sizeof buffer, 0, true), 1);
  EXPECT_EQ(buffer[0], 'y');
}

TEST(UsbPipeIo, WritesReachTheDeviceAndAStalledOneReportsNothingMoved) {
  Rig rig;
  rig.Connect();
  rig.out.Clear();
  const uint8_t block[] = {0x01, 0x00, 0xff};
  EXPECT_EQ(rig.port.Write(block, sizeof block, 0, true), 3);
  EXPECT_EQ(rig.calls.written, std::vector<uint8_t>(block, block + 3));
  EXPECT_EQ(rig.out.text(), "Write Data : \x01");
  rig.calls.device_takes_writes = false;
  EXPECT_EQ(rig.port.Write(block, sizeof block, 0, true), 0);
}

struct UnplugRow {
  const char* name;
  bool read_in_flight;  // a read was pending when the device went
};

class UsbUnplugged : public ::testing::TestWithParam<UnplugRow> {};

// Removed mid-transfer: reads and writes fail with linkxfer's codes, and
// stay failed.
TEST_P(UsbUnplugged, ReadsAndWritesFail) {
  Rig rig;
  rig.Connect();
  uint8_t byte = 0;
  if (GetParam().read_in_flight) {
    ASSERT_EQ(rig.port.Read(&byte, 1, 0, true), 0);
  }
  rig.calls.Unplug();
  EXPECT_EQ(rig.port.Read(&byte, 1, 30, true), status::kPortReadFailed);
  EXPECT_EQ(rig.port.Read(&byte, 1, 0, true), status::kPortReadFailed);
  EXPECT_EQ(rig.port.Write(&byte, 1, 0, true), status::kPortWriteFailed);
  EXPECT_EQ(rig.port.UsbConnect(), 0);
}

INSTANTIATE_TEST_SUITE_P(Win32, UsbUnplugged,
                         ::testing::Values(UnplugRow{"ReadPending", true}, UnplugRow{"Idle", false}),
                         [](const auto& info) { return std::string(info.param.name); });

}  // namespace
}  // namespace flashkit::testing
