#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "tests/usbhw/usb_hw_rig.h"

namespace flashkit::testing {
namespace {

using platform::Opened;
using platform::RealSystem;
using platform::SysError;
using Events = std::vector<std::string>;

const Bytes kFromDevice = {'C', 0x06, 0x00, 0xFF, 'x'};
const Bytes kToDevice = {0x02, 0x01, 0x0B, 0x01, 0x0E, 0x01, 0xFF, 0x00, 0x00, 0x79, 0x6A, 0x03};

TEST(UsbNodeEntries, ListedInByteOrderBesideFoldersWithGoneDevicesLeftOut) {
  UsbHwRig rig(DeviceLayout{}, "b-board");
  std::filesystem::create_directory(rig.folder() / "a-folder");
  rig.Link("c-gone", "/dev/bus/usb/001/099");
  const std::string base = rig.folder().string() + "/";
  EXPECT_EQ(RealSystem().ListInterfaces(platform::kBulkInterfaceClass),
            (std::vector<std::string>{base + "a-folder", base + "b-board"}));
  EXPECT_NE(RealSystem().OpenInterface(rig.entry()).device, nullptr);
  EXPECT_EQ(RealSystem().OpenInterface(base + "c-gone").status.error, SysError::kFileNotFound);
}

TEST(UsbNodeEntries, AnUnpluggedDeviceIsNeitherListedNorOpened) {
  UsbHwRig rig;
  rig.device->Unplug(-ESHUTDOWN);
  EXPECT_EQ(RealSystem().ListInterfaces(platform::kBulkInterfaceClass), std::vector<std::string>{});
  EXPECT_EQ(RealSystem().OpenInterface(rig.entry()).status.error, SysError::kFileNotFound);
  EXPECT_EQ(rig.Open(platform::kReadPipeName).status.error, SysError::kFileNotFound);
}

// What the device sees of the claim, with both pipes open and after each
// closes (read pipe first).
struct ClaimRow {
  const char* name;
  DeviceLayout layout;
  Events open;
  Events closed;
};

class UsbClaim : public ::testing::TestWithParam<ClaimRow> {};

TEST_P(UsbClaim, BothPipesShareOneClaimReleasedByTheLast) {
  UsbHwRig rig(GetParam().layout);
  Opened<platform::Device> in = rig.Open(platform::kReadPipeName);
  Opened<platform::Device> out = rig.Open(platform::kWritePipeName);
  ASSERT_NE(in.device, nullptr) << in.status.Text();
  ASSERT_NE(out.device, nullptr) << out.status.Text();
  EXPECT_EQ(rig.device->Events(), GetParam().open);
  EXPECT_TRUE(in.device->Close());
  EXPECT_EQ(rig.device->Events(), GetParam().open) << "released while the write pipe is open";
  EXPECT_TRUE(out.device->Close());
  EXPECT_EQ(rig.device->Events(), GetParam().closed);
}

INSTANTIATE_TEST_SUITE_P(
    Rows, UsbClaim,
    ::testing::Values(
        ClaimRow{"NoKernelDriver", {}, {"claim 0"}, {"claim 0", "release 0"}},
        ClaimRow{"SerialDriverDetachedAndGivenBack",
                 {.bound_driver = "cdc_acm"},
                 {"detach cdc_acm", "claim 0"},
                 {"detach cdc_acm", "claim 0", "release 0", "attach 0"}},
        ClaimRow{"InterfaceNumberFromTheDescriptor",
                 {.interface_number = 2},
                 {"claim 2"},
                 {"claim 2", "release 2"}}),
    [](const auto& info) { return std::string(info.param.name); });

TEST(UsbClaim, ASecondReaderIsRefusedUntilTheFirstCloses) {
  UsbHwRig rig;
  Opened<platform::Device> first = rig.Open(platform::kReadPipeName);
  ASSERT_NE(first.device, nullptr) << first.status.Text();
  EXPECT_EQ(rig.Open(platform::kReadPipeName).status.error, SysError::kAccessDenied);
  first.device->Close();
  Opened<platform::Device> again = rig.Open(platform::kReadPipeName);
  EXPECT_NE(again.device, nullptr) << again.status.Text();
  EXPECT_EQ(rig.device->Events(), (Events{"claim 0", "release 0", "claim 0"}));
}

// Which endpoints the pipes reach, for interfaces laid out differently.
struct EndpointRow {
  const char* name;
  std::vector<EndpointLayout> endpoints;
  uint8_t out;
};

class UsbEndpoints : public ::testing::TestWithParam<EndpointRow> {};

TEST_P(UsbEndpoints, ReadPipeIsTheFirstBulkInWritePipeTheFirstBulkOut) {
  UsbHwRig rig({.endpoints = GetParam().endpoints});
  Opened<platform::Device> in = rig.Open(platform::kReadPipeName);
  Opened<platform::Device> out = rig.Open(platform::kWritePipeName);
  ASSERT_NE(in.device, nullptr) << in.status.Text();
  ASSERT_NE(out.device, nullptr) << out.status.Text();
  rig.device->Send(kFromDevice);
  EXPECT_EQ(ReadFor(*in.device, kFromDevice.size(), 2000), kFromDevice);
  const platform::IoResult wrote = out.device->Write(kToDevice.data(), kToDevice.size());
  EXPECT_TRUE(wrote.ok()) << wrote.status.Text();
  EXPECT_EQ(wrote.count, kToDevice.size());
  EXPECT_EQ(rig.device->Received(GetParam().out), kToDevice);
}

INSTANTIATE_TEST_SUITE_P(
    Layouts, UsbEndpoints,
    ::testing::Values(
        EndpointRow{"In83Out02", {{0x83}, {0x02}}, 0x02},
        EndpointRow{"OutListedFirst", {{0x01}, {0x81}}, 0x01},
        // An interrupt endpoint ahead, and a second pair of bulk endpoints after.
        EndpointRow{"InterruptAheadSecondPairAfter",
                    {{0x81, 3, 8}, {0x85}, {0x04}, {0x86}, {0x07}},
                    0x04}),
    [](const auto& info) { return std::string(info.param.name); });

TEST(UsbEndpoints, AMissingEndpointOrPipeNameIsNotFound) {
  UsbHwRig rig({.endpoints = {{0x83}}});
  EXPECT_EQ(rig.Open(platform::kWritePipeName).status.error, SysError::kFileNotFound);
  EXPECT_EQ(rig.Open("PIPE02").status.error, SysError::kFileNotFound);
  Opened<platform::Device> in = rig.Open(platform::kReadPipeName);
  EXPECT_NE(in.device, nullptr) << in.status.Text();
}

}  // namespace
}  // namespace flashkit::testing
