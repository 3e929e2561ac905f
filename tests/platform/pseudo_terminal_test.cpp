#include "platform/pseudo_terminal.h"

#include <gtest/gtest.h>

#include "tests/platform/pty_line.h"

namespace flashkit::platform {
namespace {

using testing::Bytes;
using testing::PtyCom;

TEST(PseudoTerminal, NothingEchoesBeforeAProgramOpensTheSlave) {
  PseudoTerminal pty = OpenPseudoTerminal();
  ASSERT_TRUE(pty.status.ok()) << pty.status.Text();
  const Bytes prompt = {'1', '\n', 0x03};
  ASSERT_EQ(pty.master->Write(prompt.data(), prompt.size()).count, prompt.size());
  pty.master->PollInput(100);
  uint8_t buffer[16];
  const IoResult r = pty.master->Read(buffer, sizeof buffer);
  EXPECT_TRUE(r.ok()) << r.status.Text();
  EXPECT_EQ(r.count, 0u);
}

// A simulator moves several lines on one thread: writing to a program that
// does not read must come back at once with what fitted.
TEST(PseudoTerminal, MasterWriteTakesWhatFitsWithoutWaiting) {
  PseudoTerminal pty = OpenPseudoTerminal();
  ASSERT_TRUE(pty.status.ok()) << pty.status.Text();
  const Bytes flood(1 << 20, 0x55);
  Clock& clock = SystemClock();
  const uint64_t start = clock.NowMs();
  const IoResult first = pty.master->Write(flood.data(), flood.size());
  const IoResult second = pty.master->Write(flood.data(), flood.size());
  EXPECT_LT(clock.NowMs() - start, 500u);
  ASSERT_TRUE(first.ok() && second.ok());
  EXPECT_GT(first.count, 0u);
  EXPECT_LT(first.count, flood.size());
  // The kernel may move a little along to the slave in between, never all.
  EXPECT_LT(second.count, flood.size());
}

TEST(PseudoTerminal, MasterOutlivesProgramsComingAndGoing) {
  PtyCom com;
  for (int run = 0; run < 2; ++run) {
    Opened<SerialLine> line = com.Open();
    ASSERT_NE(line.device, nullptr) << line.status.Text();
    EXPECT_TRUE(line.device->Close());
  }
  uint8_t buffer[16];
  EXPECT_TRUE(com.pty.master->Read(buffer, sizeof buffer).ok());

  com.pty.CloseSlave();
  EXPECT_FALSE(com.pty.master->Read(buffer, sizeof buffer).ok());
}

TEST(PseudoTerminal, MovingKeepsTheSlaveHeldOnce) {
  PseudoTerminal first = OpenPseudoTerminal();
  ASSERT_TRUE(first.status.ok());
  const int held = first.slave_keepalive_fd;
  PseudoTerminal second = std::move(first);
  EXPECT_EQ(first.slave_keepalive_fd, -1);
  EXPECT_EQ(second.slave_keepalive_fd, held);
  uint8_t buffer[4];
  EXPECT_TRUE(second.master->Read(buffer, sizeof buffer).ok());
}

}  // namespace
}  // namespace flashkit::platform
