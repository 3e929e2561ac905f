#include "sim/event_log.h"

namespace flashkit::sim {

EventLog::EventLog(std::ostream& out, std::function<uint64_t()> now_ns)
    : out_(out), now_ns_(std::move(now_ns)), start_ns_(now_ns_()) {}

EventLog::EventLog(EventLog& parent, const JsonFields& tag)
    : out_(parent.out_),
      now_ns_(parent.now_ns_),
      start_ns_(parent.start_ns_),
      parent_(&parent),
      tag_(tag.members()) {}

double EventLog::NowMs() const { return MsAt(now_ns_()); }

double EventLog::MsAt(uint64_t ns) const {
  return (static_cast<double>(ns) - static_cast<double>(start_ns_)) / 1e6;
}

void EventLog::Emit(std::string_view event, const JsonFields& fields) {
  Write(event, "", fields.members());
}

void EventLog::Write(std::string_view event, const std::string& tag, const std::string& members) {
  if (parent_) {
    const std::string joined = tag.empty() ? tag_ : tag_.empty() ? tag : tag_ + "," + tag;
    parent_->Write(event, joined, members);
    return;
  }
  // Stamped under the lock, so the lines' times never run backwards.
  std::lock_guard<std::mutex> lock(mutex_);
  JsonFields line;
  line.Fixed("t_ms", NowMs(), 3).Str("event", event);
  out_ << "{" << line.members();
  if (!tag.empty()) out_ << "," << tag;
  if (!members.empty()) out_ << "," << members;
  out_ << "}\n" << std::flush;
}

}  // namespace flashkit::sim
