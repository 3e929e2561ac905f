// When bytes go on the line: from when the device wrote them, however late
// the pump wakes. Real time, on a line slow enough to tell the two apart.
#include "sim/line_pump.h"

#include <gtest/gtest.h>

#include "platform/clock.h"
#include "platform/poller.h"
#include "sim/sim_port.h"

namespace flashkit::sim {
namespace {

constexpr uint64_t kNsPerMs = 1'000'000;
// 20 baud, 10 bits: one character takes 500 ms.
constexpr LineRate kSlowLine{20, 10};

// Hands the pump bytes that entered the line some time before it looks.
class LateTakenEnd : public LineEnd {
 public:
  explicit LateTakenEnd(EnteredBytes pending)
      : event_(platform::CreateEvent()), pending_(std::move(pending)) {
    event_->Set();
  }
  int InputFd() const override { return event_->Fd(); }
  bool Take(std::vector<EnteredBytes>& out) override {
    event_->Reset();
    if (!pending_.bytes.empty()) out.push_back(std::move(pending_));
    pending_.bytes.clear();
    return true;
  }
  long Give(std::span<const uint8_t> bytes) override { return static_cast<long>(bytes.size()); }
  std::string Label() const override { return "late"; }

 private:
  std::unique_ptr<platform::Event> event_;
  EnteredBytes pending_;
};

struct EntryCase {
  const char* name;
  uint64_t written_ms_ago;  // 0: the end cannot tell
  uint64_t min_ms;          // the byte comes out no sooner
  uint64_t max_ms;          // and no later than this after the pump starts
};

class LineEntry : public ::testing::TestWithParam<EntryCase> {};

TEST_P(LineEntry, ByteComesOutOneCharacterAfterItEntered) {
  const EntryCase& c = GetParam();
  const uint64_t start = platform::MonotonicNs();
  const uint64_t stamp = c.written_ms_ago == 0 ? 0 : start - c.written_ms_ago * kNsPerMs;
  LateTakenEnd device({stamp, {'C'}});
  auto host = SimPort::Create("host");
  ASSERT_TRUE(host);
  LinePump pump(device, *host, kSlowLine, FaultRates{}, 1);
  std::string error;
  ASSERT_TRUE(pump.Start(&error)) << error;

  uint8_t byte = 0;
  ASSERT_EQ(host->Read(&byte, 1, 3000, false), 1);
  const uint64_t took_ms = (platform::MonotonicNs() - start) / kNsPerMs;
  EXPECT_EQ(byte, 'C');
  EXPECT_GE(took_ms, c.min_ms);
  EXPECT_LE(took_ms, c.max_ms);
}

INSTANTIATE_TEST_SUITE_P(
    Entry, LineEntry,
    ::testing::Values(EntryCase{"WrittenLongAgoComesOutAtOnce", 1000, 0, 250},
                      EntryCase{"WrittenJustBeforeWaitsTheRest", 300, 150, 450},
                      EntryCase{"UnknownTimeCountsFromTheTake", 0, 490, 1500}),
    [](const auto& info) { return std::string(info.param.name); });

// The device's writes are stamped as they are made, not when the pump takes them.
TEST(SimPortEntry, EachWriteKeepsItsTime) {
  auto port = SimPort::Create("board");
  ASSERT_TRUE(port);
  const uint8_t ready = 'C';
  const uint8_t ack[] = {0x06, 0x06};
  const uint64_t before_first = platform::MonotonicNs();
  ASSERT_EQ(port->Write(&ready, 1, 1000, false), 1);
  const uint64_t after_first = platform::MonotonicNs();
  platform::SystemClock().SleepMs(20);
  ASSERT_EQ(port->Write(ack, 2, 1000, false), 2);
  const uint64_t after_second = platform::MonotonicNs();

  std::vector<EnteredBytes> entered;
  ASSERT_TRUE(port->Take(entered));
  ASSERT_EQ(entered.size(), 2u);
  EXPECT_EQ(entered[0].bytes, std::vector<uint8_t>{'C'});
  EXPECT_EQ(entered[1].bytes, std::vector<uint8_t>(ack, ack + 2));
  EXPECT_GE(entered[0].at_ns, before_first);
  EXPECT_LE(entered[0].at_ns, after_first);
  EXPECT_GE(entered[1].at_ns, after_first + 20 * kNsPerMs);
  EXPECT_LE(entered[1].at_ns, after_second);
  EXPECT_FALSE(port->HasPending());
}

}  // namespace
}  // namespace flashkit::sim
