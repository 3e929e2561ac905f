#include "sim/usb_framed_device.h"

#include <algorithm>

#include "platform/clock.h"

namespace flashkit::sim {
namespace {

// Bounds each wait for a presence to end, so a stop is always seen.
constexpr uint32_t kWakeSliceMs = 1000;

void AddCounts(DirectionStats& sum, const DirectionStats& more) {
  sum.counts.delivered += more.counts.delivered;
  sum.counts.dropped += more.counts.dropped;
  sum.counts.corrupted += more.counts.corrupted;
  if (sum.times.first_ns == 0) sum.times.first_ns = more.times.first_ns;
  sum.times.last_ns = std::max(sum.times.last_ns, more.times.last_ns);
}

}  // namespace

UsbFramedDevice::UsbFramedDevice(UsbFramedSettings settings, EventLog& events,
                                 std::function<void(const std::string&)> on_failure)
    : settings_(std::move(settings)),
      events_(events),
      on_failure_(std::move(on_failure)),
      device_(platform::SystemClock(), events, settings_.framed) {
  const std::string label = "usb:" + settings_.name;
  stats_ = {{label, "device", {}, {}}, {"device", label, {}, {}}};
}

UsbFramedDevice::~UsbFramedDevice() { Stop(); }

bool UsbFramedDevice::Start(std::string* error) {
  wake_ = platform::CreateEvent();
  if (!wake_) {
    *error = "cannot create the device's wake-up event";
    return false;
  }
  entry_ = UsbEntry::Create(settings_.name, error);
  if (!entry_) return false;
  path_ = entry_->path();
  thread_ = std::thread([this] { Run(); });
  return true;
}

void UsbFramedDevice::Stop() {
  stopped_ = true;
  if (wake_) wake_->Set();
  if (thread_.joinable()) thread_.join();
  entry_.reset();
}

std::vector<DirectionStats> UsbFramedDevice::Stats() const {
  std::lock_guard<std::mutex> lock(mutex_);
  return stats_;
}

void UsbFramedDevice::AddStats(const std::vector<DirectionStats>& stats) {
  std::lock_guard<std::mutex> lock(mutex_);
  for (size_t i = 0; i < stats_.size() && i < stats.size(); ++i) AddCounts(stats_[i], stats[i]);
}

void UsbFramedDevice::Run() {
  for (;;) {
    bool reset = false;
    if (!ServePresence(&reset)) return;
    if (!reset || !Reenumerate()) return;
  }
}

bool UsbFramedDevice::ServePresence(bool* reset) {
  {
    std::lock_guard<std::mutex> lock(mutex_);
    ended_why_.clear();
  }
  std::atomic<bool> ended{false};
  UsbHostLoop hosts(
      *entry_, settings_.line,
      [this](SimPort& port, const StopCheck& stopping) {
        return device_.Serve(port, stopping) == ConnectionEnd::kReset;
      },
      events_,
      [this, &ended](const std::string& why) {
        {
          std::lock_guard<std::mutex> lock(mutex_);
          ended_why_ = why;
        }
        ended = true;
        wake_->Set();
      });
  std::string error;
  if (!hosts.Start(&error)) {
    on_failure_(error);
    return false;
  }
  while (!stopped_ && !ended) wake_->Wait(kWakeSliceMs);
  hosts.Stop();
  AddStats(hosts.Stats());
  if (!stopped_) wake_->Reset();

  std::string why;
  {
    std::lock_guard<std::mutex> lock(mutex_);
    why = ended_why_;
  }
  if (stopped_) return false;
  if (!why.empty()) {
    on_failure_(why);
    return false;
  }
  *reset = ended;
  return true;
}

bool UsbFramedDevice::Reenumerate() {
  entry_.reset();
  events_.Emit("reenumerate", JsonFields().Int("absent_ms", settings_.reenumerate_ms));
  // A stop cuts the absence short.
  wake_->Wait(settings_.reenumerate_ms);
  if (stopped_) return false;
  std::string error;
  entry_ = UsbEntry::Create(settings_.name, &error);
  if (!entry_) {
    on_failure_(error);
    return false;
  }
  events_.Emit("present", JsonFields().Str("usb", settings_.name).Str("path", entry_->path()));
  return true;
}

}  // namespace flashkit::sim
