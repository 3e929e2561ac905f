#include "sim/line_pump.h"

#include <algorithm>
#include <chrono>
#include <cstdint>

#include "platform/poller.h"

namespace flashkit::sim {
namespace {

// How soon to try again when an end that cannot say when it takes more
// would not take all it was given.
constexpr uint64_t kRetryNs = 2'000'000;

std::optional<uint64_t> Earlier(std::optional<uint64_t> a, std::optional<uint64_t> b) {
  if (!a) return b;
  if (!b) return a;
  return std::min(*a, *b);
}

}  // namespace

LinePump::LinePump(LineEnd& a, LineEnd& b, LineRate rate, FaultRates faults, uint64_t seed,
                   std::function<void(const std::string&)> on_failure)
    : LinePump(a, b, rate, std::array<FaultRates, 2>{faults, faults}, seed, std::move(on_failure)) {}

LinePump::LinePump(LineEnd& a, LineEnd& b, LineRate rate, std::array<FaultRates, 2> faults,
                   uint64_t seed, std::function<void(const std::string&)> on_failure)
    : ends_{&a, &b},
      channels_{PacedChannel(rate, faults[0], seed, 0), PacedChannel(rate, faults[1], seed, 1)},
      on_failure_(std::move(on_failure)) {}

LinePump::~LinePump() { Stop(); }

bool LinePump::Start(std::string* error) {
  stop_ = platform::CreateEvent();
  if (!stop_) {
    *error = "cannot create the pump's wake-up event";
    return false;
  }
  thread_ = std::thread([this] { Run(); });
  return true;
}

void LinePump::Stop() {
  if (!thread_.joinable()) return;
  stop_->Set();
  thread_.join();
}

bool LinePump::WaitIdle(uint32_t timeout_ms) {
  std::unique_lock<std::mutex> lock(mutex_);
  // A write the pump has not picked up yet keeps the line busy too.
  return idle_cv_.wait_for(lock, std::chrono::milliseconds(timeout_ms), [this] {
    return idle_ && !ends_[0]->HasPending() && !ends_[1]->HasPending();
  });
}

std::vector<DirectionStats> LinePump::Stats() const {
  std::lock_guard<std::mutex> lock(mutex_);
  return {{ends_[0]->Label(), ends_[1]->Label(), counts_[0], published_times_[0]},
          {ends_[1]->Label(), ends_[0]->Label(), counts_[1], published_times_[1]}};
}

bool LinePump::Accepts(size_t i) const {
  return channels_[i].Queued() + backlog_[i].size() < kMaxQueuedBytes;
}

// One round: take what entered, deliver what is due. False when an end failed.
bool LinePump::Pass(uint64_t now_ns, std::optional<uint64_t>* wake_ns) {
  std::vector<EnteredBytes> entered;
  for (size_t i = 0; i < 2; ++i) {
    if (!Accepts(i) || hung_up_[i]) continue;
    entered.clear();
    if (!ends_[i]->Take(entered)) {
      hung_up_[i] = true;
      continue;
    }
    // Bytes go on the line when they were written, not when the pump woke.
    for (const EnteredBytes& e : entered) {
      channels_[i].Push(e.bytes, e.at_ns != 0 ? std::min(e.at_ns, now_ns) : now_ns);
    }
  }

  *wake_ns = std::nullopt;
  for (size_t i = 0; i < 2; ++i) {
    std::vector<uint8_t>& out = backlog_[i];
    LineEnd& far = *ends_[1 - i];
    const size_t before = out.size();
    channels_[i].Deliver(now_ns, out);
    if (out.size() != before) {
      if (times_[i].first_ns == 0) times_[i].first_ns = now_ns;
      times_[i].last_ns = now_ns;
    }
    if (!out.empty()) {
      const long given = far.Give(out);
      if (given < 0) {
        if (on_failure_) on_failure_("writing to " + far.Label() + " failed");
        return false;
      }
      out.erase(out.begin(), out.begin() + std::min<long>(given, static_cast<long>(out.size())));
      // An end that can say when it takes more is waited for in Run.
      if (!out.empty() && far.OutputFd() < 0) *wake_ns = Earlier(*wake_ns, now_ns + kRetryNs);
    }
    *wake_ns = Earlier(*wake_ns, channels_[i].NextWake(now_ns));
  }
  for (size_t i = 0; i < 2; ++i) {
    if (hung_up_[i] && channels_[i].Empty() && backlog_[i].empty()) {
      if (on_failure_) on_failure_("reading from " + ends_[i]->Label() + " failed");
      return false;
    }
  }
  return true;
}

void LinePump::Publish() {
  std::lock_guard<std::mutex> lock(mutex_);
  for (size_t i = 0; i < 2; ++i) counts_[i] = channels_[i].counts();
  published_times_ = times_;
  idle_ = channels_[0].Empty() && channels_[1].Empty() && backlog_[0].empty() &&
          backlog_[1].empty();
  if (idle_) idle_cv_.notify_all();
}

void LinePump::Run() {
  constexpr size_t kNone = SIZE_MAX;
  platform::UseFineTimerSlack();
  platform::Poller poller;
  std::array<size_t, 2> input{};
  std::array<size_t, 2> output{kNone, kNone};
  for (size_t i = 0; i < 2; ++i) {
    input[i] = poller.Add(ends_[i]->InputFd());
    if (ends_[i]->OutputFd() >= 0) output[i] = poller.Add(ends_[i]->OutputFd());
  }
  const size_t stop_index = poller.Add(stop_->Fd());

  while (true) {
    std::optional<uint64_t> wake_ns;
    const bool ok = Pass(platform::MonotonicNs(), &wake_ns);
    Publish();
    if (!ok) return;
    for (size_t i = 0; i < 2; ++i) {
      poller.Watch(input[i], Accepts(i) && !hung_up_[i], false);
      // ends_[i] receives what direction 1 - i carries.
      if (output[i] != kNone) poller.Watch(output[i], false, !backlog_[1 - i].empty());
    }
    if (poller.Wait(wake_ns) < 0) {
      if (on_failure_) on_failure_("waiting for line input failed");
      return;
    }
    if (poller.Ready(stop_index)) return;
  }
}

}  // namespace flashkit::sim
