#pragma once

#include <gtest/gtest.h>

#include <string>

#include "common/crc16_table.h"
#include "ports/device_port.h"
#include "tests/support/captured_out.h"
#include "tests/support/fake_device_system.h"

namespace flashkit::testing {

// A DevicePort on a fake device system, with the console captured.
struct PortBench {
  FakeDeviceSystem system;
  CapturedOut out;
  Crc16Table crc;
  DevicePort port{system, out, crc};

  // COM7 open and set up; the log and the console start empty after it.
  void OpenCom() {
    ASSERT_EQ(port.OpenPort(7), 0);
    ASSERT_EQ(port.ConfigurePort(115200), 0);
    system.log.clear();
  }

  // The USB device `path` found, both pipes open, events made.
  void OpenUsb(const std::string& path = "dev0") {
    system.interfaces = std::vector<std::string>{path};
    system.AddPipe(path + "\\PIPE00");
    system.AddPipe(path + "\\PIPE01");
    ASSERT_EQ(port.UsbConnect(), 1);
    ASSERT_EQ(port.OpenUSBHandler(), 1);
    ASSERT_EQ(port.CreateComInfo(), 1);
    system.log.clear();
    out.Clear();
  }

  FakeDeviceState& ReadPipe() { return system.Pipe("dev0\\PIPE00"); }
  FakeDeviceState& WritePipe() { return system.Pipe("dev0\\PIPE01"); }
};

using Log = std::vector<std::string>;

}  // namespace flashkit::testing
