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

// A rack's device reports through a view that names its port; the log's own
// lines stay as they were.
TEST(EventLog, TaggedViewNamesItsDeviceAfterTheEvent) {
  std::ostringstream out;
  EventLog log(out, [] { return uint64_t{0}; });
  EventLog com4(log, JsonFields().Int("com", 4));
  com4.Emit("stored", JsonFields().Str("name", "fw.bin"));
  com4.Emit("boot-done");
  log.Emit("exit", JsonFields().Str("reason", "done"));
  EXPECT_EQ(out.str(),
            "{\"t_ms\":0.000,\"event\":\"stored\",\"com\":4,\"name\":\"fw.bin\"}\n"
            "{\"t_ms\":0.000,\"event\":\"boot-done\",\"com\":4}\n"
            "{\"t_ms\":0.000,\"event\":\"exit\",\"reason\":\"done\"}\n");
}

}  // namespace
}  // namespace flashkit::sim
