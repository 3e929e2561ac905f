#pragma once

#include <gtest/gtest.h>

#include <filesystem>
#include <string>
#include <vector>

#include "platform/clock.h"
#include "platform/device_system.h"
#include "platform/pseudo_terminal.h"
#include "tests/platform/temp_namespace.h"

namespace flashkit::testing {

using Bytes = std::vector<uint8_t>;

// A simulated COM7: a pseudo-terminal whose slave the namespace links to.
struct PtyCom {
  TempNamespace ns;
  platform::PseudoTerminal pty = platform::OpenPseudoTerminal();

  PtyCom() {
    EXPECT_TRUE(pty.status.ok()) << pty.status.Text();
    std::filesystem::create_symlink(pty.slave_path, ns.Path("com7"));
  }

  platform::Opened<platform::SerialLine> Open() {
    return platform::RealSystem().OpenSerial("\\\\.\\com7");
  }
};

// Reads from `device` until `count` bytes came or a second has passed.
inline Bytes ReadSome(platform::Device& device, size_t count) {
  platform::Clock& clock = platform::SystemClock();
  const uint64_t give_up = clock.NowMs() + 1000;
  Bytes got;
  while (got.size() < count && clock.NowMs() < give_up) {
    uint8_t buffer[256];
    const platform::IoResult r = device.Read(buffer, std::min(sizeof buffer, count - got.size()));
    if (!r.ok()) break;
    got.insert(got.end(), buffer, buffer + r.count);
    if (r.count == 0) device.PollInput(50);
  }
  return got;
}

}  // namespace flashkit::testing
