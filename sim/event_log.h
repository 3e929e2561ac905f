#pragma once

#include <cstdint>
#include <functional>
#include <mutex>
#include <ostream>
#include <string>
#include <string_view>

#include "common/json_fields.h"

namespace flashkit::sim {

// devsim's report: one JSON object per line and event, flushed at once, each
// stamped with the milliseconds since the log began. Thread-safe.
class EventLog {
 public:
  // `now_ns` is a monotonic clock in nanoseconds.
  EventLog(std::ostream& out, std::function<uint64_t()> now_ns);
  // A view of `parent` whose events carry `tag`'s members after their name:
  // {"t_ms":...,"event":"<event>",<tag>,<fields>}. Same clock, same lines.
  EventLog(EventLog& parent, const JsonFields& tag);

  // Milliseconds since the log began, on the clock that stamps the events.
  double NowMs() const;
  // A time on the `now_ns` clock, in the milliseconds the events are stamped in.
  double MsAt(uint64_t ns) const;

  // {"t_ms":...,"event":"<event>",<fields>}
  void Emit(std::string_view event, const JsonFields& fields = {});

 private:
  // The line of `event` with the members `tag` and then `members`, either may be empty.
  void Write(std::string_view event, const std::string& tag, const std::string& members);

  std::ostream& out_;
  std::function<uint64_t()> now_ns_;
  const uint64_t start_ns_;
  EventLog* parent_ = nullptr;  // a tagged view writes through its parent
  std::string tag_;
  std::mutex mutex_;
};

}  // namespace flashkit::sim
