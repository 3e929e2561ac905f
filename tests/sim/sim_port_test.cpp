#include "sim/sim_port.h"

#include <gtest/gtest.h>

#include <thread>

#include "ports/status.h"

namespace flashkit::sim {
namespace {

using Bytes = std::vector<uint8_t>;

// The device side reads like a real port: what has arrived, at once.
TEST(SimPort, ReadsWhatArrivedWithoutWaitingForMore) {
  auto port = SimPort::Create("board");
  ASSERT_TRUE(port);
  uint8_t buffer[16];
  EXPECT_EQ(port->Read(buffer, sizeof buffer, 0, false), 0);

  const Bytes line = {'1', '1', 'x'};
  EXPECT_EQ(port->Give(line), 3);
  EXPECT_EQ(port->Read(buffer, 2, 60000, false), 2);
  EXPECT_EQ(port->Read(buffer + 2, sizeof buffer, 60000, false), 1);
  EXPECT_EQ(Bytes(buffer, buffer + 3), line);
}

// A board thread blocked in a long protocol read must come back when devsim stops.
TEST(SimPort, ShutdownEndsAWaitingRead) {
  auto port = SimPort::Create("board");
  ASSERT_TRUE(port);
  int32_t result = 0;
  std::thread reader([&] {
    uint8_t byte;
    result = port->Read(&byte, 1, 600000, false);
  });
  port->Shutdown();
  reader.join();
  EXPECT_EQ(result, status::kPortReadFailed);
  const uint8_t byte = 'C';
  EXPECT_EQ(port->Write(&byte, 1, 1000, false), status::kPortWriteFailed);
}

}  // namespace
}  // namespace flashkit::sim
