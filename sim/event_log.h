#pragma once

#include <cstdint>
#include <functional>
#include <mutex>
#include <ostream>
#include <string_view>

#include "common/json_fields.h"

namespace flashkit::sim {

// devsim's report: one JSON object per line and event, flushed at once, each
// stamped with the milliseconds since the log began. Thread-safe.
class EventLog {
 public:
  // `now_ns` is a monotonic clock in nanoseconds.
  EventLog(std::ostream& out, std::function<uint64_t()> now_ns);

  // Milliseconds since the log began, on the clock that stamps the events.
  double NowMs() const;
  // A time on the `now_ns` clock, in the milliseconds the events are stamped in.
  double MsAt(uint64_t ns) const;

  // {"t_ms":...,"event":"<event>",<fields>}
  void Emit(std::string_view event, const JsonFields& fields = {});

 private:
  std::ostream& out_;
  std::function<uint64_t()> now_ns_;
  const uint64_t start_ns_;
  std::mutex mutex_;
};

}  // namespace flashkit::sim
