#include <gtest/gtest.h>

#include "ports/status.h"
#include "tests/ports/port_bench.h"

namespace flashkit::testing {
namespace {

using Interfaces = std::optional<std::vector<std::string>>;

const std::string kBulkClass = "{00873FDF-61A8-11D1-AA5E-00C04FB1728B}";

struct CountRow {
  const char* label;
  Interfaces interfaces;
  int32_t count;
  int32_t connected;
};

class UsbDiscovery : public ::testing::TestWithParam<CountRow> {};

TEST_P(UsbDiscovery, CountsAndConnectsToTheFirst) {
  PortBench bench;
  bench.system.interfaces = GetParam().interfaces;
  EXPECT_EQ(bench.port.CountDevices(kBulkDeviceClass), GetParam().count);
  EXPECT_EQ(bench.port.UsbConnect(), GetParam().connected);
  EXPECT_EQ(bench.system.log.front(), "list " + kBulkClass);
}

INSTANTIATE_TEST_SUITE_P(Sets, UsbDiscovery,
                         ::testing::Values(CountRow{"Unobtainable", std::nullopt, 0, 0},
                                           CountRow{"None", std::vector<std::string>{}, 0, 0},
                                           CountRow{"One", std::vector<std::string>{"/ns/usb/a"}, 1, 1},
                                           CountRow{"Two", std::vector<std::string>{"/ns/usb/a", "/ns/usb/b"}, 2, 1}),
                         [](const auto& info) { return std::string(info.param.label); });

TEST(UsbDiscovery, GetDevicePathByIndex) {
  PortBench bench;
  bench.system.interfaces = std::vector<std::string>{"/ns/usb/a", "/ns/usb/b"};
  std::optional<std::string> path = "stale";
  EXPECT_TRUE(bench.port.GetDevicePath(kBulkDeviceClass, path, 1));
  EXPECT_EQ(path, "/ns/usb/b");
  for (int32_t index : {2, -1}) {
    path = "stale";
    EXPECT_FALSE(bench.port.GetDevicePath(kBulkDeviceClass, path, index));
    EXPECT_EQ(path, std::nullopt);
  }
}

TEST(UsbDiscovery, ConnectUsesTheFirstDeviceAndKeepsItWhenNoneIsLeft) {
  PortBench bench;
  bench.system.interfaces = std::vector<std::string>{"/ns/usb/a", "/ns/usb/b"};
  ASSERT_EQ(bench.port.UsbConnect(), 1);
  bench.system.interfaces = std::vector<std::string>{};
  EXPECT_EQ(bench.port.UsbConnect(), 0);
  bench.system.log.clear();
  EXPECT_EQ(bench.port.OpenUSBHandler(), 0);
  EXPECT_EQ(bench.system.log, (Log{"open /ns/usb/a\\PIPE00"}));
}

struct HandlerRow {
  const char* label;
  std::optional<std::string> device;  // what UsbConnect finds
  std::vector<std::string> pipes;     // pipes that exist
  int32_t result;
  std::string console;
  Log log;  // after UsbConnect
};

class OpenUsbHandler : public ::testing::TestWithParam<HandlerRow> {};

TEST_P(OpenUsbHandler, OpensReadThenWritePipe) {
  const HandlerRow& row = GetParam();
  PortBench bench;
  if (row.device) {
    bench.system.interfaces = std::vector<std::string>{*row.device};
    ASSERT_EQ(bench.port.UsbConnect(), 1);
  }
  for (const std::string& pipe : row.pipes) bench.system.AddPipe(pipe);
  bench.system.log.clear();
  EXPECT_EQ(bench.port.OpenUSBHandler(), row.result);
  EXPECT_EQ(bench.out.text(), row.console);
  EXPECT_EQ(bench.system.log, row.log);
}

const std::string kLongest(248, 'p');
const std::string kTooLong(249, 'p');

INSTANTIATE_TEST_SUITE_P(
    Devices, OpenUsbHandler,
    ::testing::Values(
        HandlerRow{"NoDevice", std::nullopt, {}, 0, "", {}},
        HandlerRow{"BothPipes", "d", {"d\\PIPE00", "d\\PIPE01"}, 1,
                   "m_RDDev : d\\PIPE00\nm_RDDev : 3\nm_WRDev : d\\PIPE01\nm_WRDev : 4\n",
                   {"open d\\PIPE00", "open d\\PIPE01"}},
        HandlerRow{"NoReadPipe", "d", {"d\\PIPE01"}, 0, "", {"open d\\PIPE00"}},
        HandlerRow{"NoWritePipe", "d", {"d\\PIPE00"}, 0, "m_RDDev : d\\PIPE00\nm_RDDev : 3\n",
                   {"open d\\PIPE00", "open d\\PIPE01"}},
        HandlerRow{"LongestPath", kLongest, {kLongest + "\\PIPE00", kLongest + "\\PIPE01"}, 1,
                   "m_RDDev : " + kLongest + "\\PIPE00\nm_RDDev : 3\nm_WRDev : " + kLongest +
                       "\\PIPE01\nm_WRDev : 4\n",
                   {"open " + kLongest + "\\PIPE00", "open " + kLongest + "\\PIPE01"}},
        HandlerRow{"PathTooLong", kTooLong, {kTooLong + "\\PIPE00", kTooLong + "\\PIPE01"}, 0, "", {}}),
    [](const auto& info) { return std::string(info.param.label); });

TEST(OpenUsbHandler, ReadPipeStaysOpenWhenTheWritePipeFails) {
  PortBench bench;
  bench.system.interfaces = std::vector<std::string>{"d"};
  bench.system.AddPipe("d\\PIPE00").Arrive("C");
  ASSERT_EQ(bench.port.UsbConnect(), 1);
  ASSERT_EQ(bench.port.OpenUSBHandler(), 0);
  // Not marked open: the records have no pipes to go with.
  EXPECT_EQ(bench.port.CreateComInfo(), 0);
  uint8_t byte = 0;
  EXPECT_EQ(bench.port.Read(&byte, 1, 0, true), 1);
  EXPECT_EQ(byte, 'C');
  EXPECT_EQ(bench.port.Write(&byte, 1, 0, true), status::kPortWriteFailed);
}

TEST(CloseUsbPipes, ClosesBothAndLeavesTheComLine) {
  PortBench bench;
  ASSERT_EQ(bench.port.OpenPort(2), 0);
  bench.OpenUsb();
  bench.port.CloseUsbPipes();
  EXPECT_EQ(bench.system.log, (Log{"PIPE00 close", "PIPE01 close"}));
  uint8_t byte = '1';
  EXPECT_EQ(bench.port.Write(&byte, 1, 0, true), status::kPortWriteFailed);
  EXPECT_EQ(bench.port.Read(&byte, 1, 0, true), status::kPortReadFailed);
  EXPECT_EQ(bench.port.Write(&byte, 1, 0, false), 1);
}

}  // namespace
}  // namespace flashkit::testing
