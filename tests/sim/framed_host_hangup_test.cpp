// The framed download's host writes its request, or its last frame, and
// closes its pipes at once. What it wrote must still reach the device, on an
// unpaced line and on a paced one, before the device sees it gone.
#include <gtest/gtest.h>

#include "platform/device_system.h"
#include "platform/clock.h"
#include "sim/line_pump.h"
#include "sim/sim_port.h"
#include "sim/usb_end.h"
#include "sim/usb_entry.h"
#include "tests/platform/temp_namespace.h"
#include "tests/sim/framed_frames.h"
#include "tests/sim/sim_test_support.h"

namespace flashkit::sim {
namespace {

using namespace flashkit::sim::testing;

std::unique_ptr<platform::Device> AcceptWithin(platform::PipeListener& listener, uint32_t limit_ms) {
  for (uint32_t waited = 0; waited < limit_ms; waited += 5) {
    platform::SysStatus status;
    if (auto accepted = listener.Accept(&status)) return accepted;
    platform::SystemClock().SleepMs(5);
  }
  return nullptr;
}

struct HangUpRow {
  const char* name;
  uint32_t baud;
  Bytes sent;
};

class HostHangUp : public ::testing::TestWithParam<HangUpRow> {};

TEST_P(HostHangUp, WhatWasSentIsReadThenTheHostIsGone) {
  const HangUpRow& row = GetParam();
  flashkit::testing::TempNamespace ns;
  std::string error;
  auto entry = UsbEntry::Create("dev1", &error);
  ASSERT_TRUE(entry) << error;
  auto pipe00 = platform::RealSystem().OpenPipe(entry->path() + "\\PIPE00").device;
  auto pipe01 = platform::RealSystem().OpenPipe(entry->path() + "\\PIPE01").device;
  ASSERT_TRUE(pipe00 && pipe01);
  auto to_host = AcceptWithin(entry->pipe00(), 2000);
  auto from_host = AcceptWithin(entry->pipe01(), 2000);
  ASSERT_TRUE(to_host && from_host);

  // The host is gone before the pump first looks.
  ASSERT_EQ(pipe01->Write(row.sent.data(), row.sent.size()).count, row.sent.size());
  pipe01->Close();
  pipe00->Close();

  UsbEnd end("usb:dev1", std::move(from_host), std::move(to_host));
  auto port = SimPort::Create("device");
  ASSERT_TRUE(port);
  std::atomic<bool> gone{false};
  SimPort* device = port.get();
  LinePump pump(end, *port, {row.baud, 10}, FaultRates{}, 1, [&](const std::string&) {
    gone = true;
    device->HangUp();
  });
  ASSERT_TRUE(pump.Start(&error)) << error;

  Bytes got;
  int32_t n = 0;
  for (int reads = 0; reads < 100; ++reads) {
    uint8_t buffer[64];
    n = port->Read(buffer, sizeof buffer, 1000, false);
    if (n <= 0) break;
    got.insert(got.end(), buffer, buffer + n);
  }
  EXPECT_EQ(got, row.sent);
  EXPECT_LT(n, 0) << "the host's going never showed";
  EXPECT_TRUE(gone);
  const uint8_t answer = 0x06;
  EXPECT_LT(port->Write(&answer, 1, 100, false), 0);
  pump.Stop();
}

const HangUpRow kRows[] = {
    {"request, unpaced", 0, RequestBytes(ImageType::kIap)},
    {"request at 9600 baud", 9600, RequestBytes(ImageType::kOther)},
    {"last data frame and the end frame at 9600 baud", 9600,
     Cat({DataFrames(PatternImage(60), 60), EndFrame(true)})},
};

INSTANTIATE_TEST_SUITE_P(Lines, HostHangUp, ::testing::ValuesIn(kRows), [](const auto& info) {
  std::string name;
  for (const char c : std::string(info.param.name)) {
    name += std::isalnum(static_cast<unsigned char>(c)) ? c : '_';
  }
  return name;
});

}  // namespace
}  // namespace flashkit::sim
