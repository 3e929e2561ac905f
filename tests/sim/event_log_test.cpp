#include "sim/event_log.h"

#include <gtest/gtest.h>

#include <sstream>

namespace flashkit::sim {
namespace {

TEST(EventLog, StampsMillisecondsSinceItBegan) {
  uint64_t now = 5'000'000'000;
  std::ostringstream out;
  EventLog log(out, [&now] { return now; });
  now += 1'234'567;
  log.Emit("header", JsonFields().Str("name", "fw.bin").Int("size", 300));
  now += 1'000'000;
  log.Emit("boot-done");
  EXPECT_EQ(out.str(),
            "{\"t_ms\":1.235,\"event\":\"header\",\"name\":\"fw.bin\",\"size\":300}\n"
            "{\"t_ms\":2.235,\"event\":\"boot-done\"}\n");
}

}  // namespace
}  // namespace flashkit::sim
