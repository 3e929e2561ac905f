#include "platform/usb_pipe.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "platform/device_namespace.h"
#include "tests/platform/temp_namespace.h"

namespace flashkit::platform {
namespace {

using Bytes = std::vector<uint8_t>;

// A device folder with its read pipe listening, as a USB board makes it.
struct PipeRig {
  explicit PipeRig(const std::string& name = "board") {
    folder = ns.Path(name);
    std::filesystem::create_directories(folder);
    SysStatus status;
    listener = PipeListener::Listen(folder + "/PIPE00", &status);
    EXPECT_NE(listener, nullptr) << status.Text();
  }

  // The host connects the way the ports name the pipe; the device takes it.
  void Connect() {
    Opened<Device> opened = RealSystem().OpenPipe(folder + "\\PIPE00");
    ASSERT_NE(opened.device, nullptr) << opened.status.Text();
    host = std::move(opened.device);
    SysStatus status;
    device = listener->Accept(&status);
    ASSERT_NE(device, nullptr) << status.Text();
  }

  testing::TempNamespace ns;
  std::string folder;
  std::unique_ptr<PipeListener> listener;
  std::unique_ptr<Device> host;
  std::unique_ptr<Device> device;
};

Bytes ReadNow(Device& from, size_t max = 4096) {
  Bytes data(max);
  const IoResult got = from.Read(data.data(), data.size());
  EXPECT_TRUE(got.ok()) << got.status.Text();
  data.resize(got.count);
  return data;
}

TEST(UsbPipe, CarriesBytesBothWaysAndReadsNeverWait) {
  PipeRig rig;
  rig.Connect();
  EXPECT_TRUE(ReadNow(*rig.host).empty());
  const Bytes request = {0x02, 0x01, 0x0B, '1', '1'};
  ASSERT_EQ(rig.host->Write(request.data(), request.size()).count, request.size());
  rig.device->PollInput(1000);
  EXPECT_EQ(ReadNow(*rig.device), request);
  const Bytes answer = {'C'};
  ASSERT_EQ(rig.device->Write(answer.data(), answer.size()).count, 1u);
  rig.host->PollInput(1000);
  EXPECT_EQ(ReadNow(*rig.host), answer);
}

TEST(UsbPipe, UnpluggedDeviceFailsReadsAndWrites) {
  PipeRig rig;
  rig.Connect();
  rig.device.reset();
  rig.listener.reset();
  uint8_t byte = 0;
  rig.host->PollInput(1000);
  EXPECT_FALSE(rig.host->Read(&byte, 1).ok());
  // The write must fail, not raise a signal that ends the program.
  const Bytes block(1029, 0x55);
  IoResult wrote = rig.host->Write(block.data(), block.size());
  if (wrote.ok()) wrote = rig.host->Write(block.data(), block.size());
  EXPECT_FALSE(wrote.ok());
}

TEST(UsbPipe, AcceptWithNobodyConnectingGivesNothingAtOnce) {
  PipeRig rig;
  SysStatus status{SysError::kOther, 0};
  EXPECT_EQ(rig.listener->Accept(&status), nullptr);
  EXPECT_TRUE(status.ok()) << status.Text();
}

// How opening a pipe may fail.
struct MissingRow {
  const char* label;
  void (*prepare)(PipeRig& rig);
  const char* pipe;
  SysError error;
};

class UsbPipeOpen : public ::testing::TestWithParam<MissingRow> {};

TEST_P(UsbPipeOpen, RefusesWithTheReason) {
  PipeRig rig;
  GetParam().prepare(rig);
  Opened<Device> opened = RealSystem().OpenPipe(rig.folder + "\\" + GetParam().pipe);
  EXPECT_EQ(opened.device, nullptr);
  EXPECT_EQ(opened.status.error, GetParam().error) << opened.status.Text();
}

void Nothing(PipeRig&) {}
// The device went away without removing its socket file: closing a listener
// removes the file, so it is kept aside meanwhile.
void Stale(PipeRig& rig) {
  std::filesystem::rename(rig.folder + "/PIPE00", rig.folder + "/kept");
  rig.listener.reset();
  std::filesystem::rename(rig.folder + "/kept", rig.folder + "/PIPE00");
}
void Unplugged(PipeRig& rig) {
  rig.listener.reset();
  std::filesystem::remove_all(rig.folder);
}

INSTANTIATE_TEST_SUITE_P(
    Pipes, UsbPipeOpen,
    ::testing::Values(MissingRow{"WritePipeMissing", Nothing, "PIPE01", SysError::kFileNotFound},
                      MissingRow{"NobodyListens", Stale, "PIPE00", SysError::kFileNotFound},
                      MissingRow{"FolderGone", Unplugged, "PIPE00", SysError::kFileNotFound}),
    [](const auto& info) { return std::string(info.param.label); });

TEST(UsbPipe, PathsLongerThanASocketAddressStillConnect) {
  PipeRig rig(std::string(120, 'd'));
  ASSERT_GT(rig.folder.size() + 7, 108u);
  rig.Connect();
  const uint8_t byte = 'x';
  ASSERT_EQ(rig.host->Write(&byte, 1).count, 1u);
  rig.device->PollInput(1000);
  EXPECT_EQ(ReadNow(*rig.device), Bytes{'x'});
}

TEST(UsbPipe, InterfacePathOpensOnlyWhileTheDeviceIsThere) {
  PipeRig rig;
  EXPECT_NE(RealSystem().OpenInterface(rig.folder).device, nullptr);
  rig.listener.reset();
  std::filesystem::remove_all(rig.folder);
  Opened<Device> gone = RealSystem().OpenInterface(rig.folder);
  EXPECT_EQ(gone.device, nullptr);
  EXPECT_EQ(gone.status.error, SysError::kFileNotFound);
}

}  // namespace
}  // namespace flashkit::platform
