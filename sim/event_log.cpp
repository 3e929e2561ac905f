#include "sim/event_log.h"

namespace flashkit::sim {

EventLog::EventLog(std::ostream& out, std::function<uint64_t()> now_ns)
    : out_(out), now_ns_(std::move(now_ns)), start_ns_(now_ns_()) {}

double EventLog::NowMs() const { return MsAt(now_ns_()); }

double EventLog::MsAt(uint64_t ns) const {
  return (static_cast<double>(ns) - static_cast<double>(start_ns_)) / 1e6;
}

void EventLog::Emit(std::string_view event, const JsonFields& fields) {
  // Stamped under the lock, so the lines' times never run backwards.
  std::lock_guard<std::mutex> lock(mutex_);
  JsonFields line;
  line.Fixed("t_ms", NowMs(), 3).Str("event", event);
  out_ << "{" << line.members();
  if (!fields.members().empty()) out_ << "," << fields.members();
  out_ << "}\n" << std::flush;
}

}  // namespace flashkit::sim
