#include "sim/mcu_host_loop.h"

#include "platform/poller.h"
#include "sim/mcu_device.h"
#include "sim/sim_port.h"

namespace flashkit::sim {
namespace {

constexpr char kMcuLabel[] = "mcu";

}  // namespace

McuHostLoop::McuHostLoop(McuHostEnd& host, McuLine line, McuSettings settings, McuFlash& flash,
                         EventLog& events, std::function<void(const std::string&)> on_failure)
    : host_(host),
      line_(line),
      settings_(settings),
      flash_(flash),
      events_(events),
      on_failure_(std::move(on_failure)) {}

McuHostLoop::~McuHostLoop() { Stop(); }

bool McuHostLoop::Start(std::string* error) {
  stop_ = platform::CreateEvent();
  if (!stop_) {
    *error = "cannot create the MCU's stop event";
    return false;
  }
  thread_ = std::thread([this] { Run(); });
  return true;
}

void McuHostLoop::Stop() {
  if (!thread_.joinable()) return;
  stop_->Set();
  thread_.join();
}

std::vector<DirectionStats> McuHostLoop::Stats() const {
  std::lock_guard<std::mutex> lock(mutex_);
  return stats_;
}

void McuHostLoop::AddStats(const std::vector<DirectionStats>& stats) {
  std::lock_guard<std::mutex> lock(mutex_);
  stats_.insert(stats_.end(), stats.begin(), stats.end());
}

void McuHostLoop::Run() {
  while (WaitForHost()) {
    if (!ServeHost()) return;
  }
}

bool McuHostLoop::WaitForHost() {
  platform::Poller poller;
  const size_t stop_index = poller.Add(stop_->Fd());
  while (!stop_->IsSet()) {
    if (host_.Probe()) return true;
    poller.Wait(platform::MonotonicNs() + uint64_t{kProbeMs} * 1'000'000);
    if (poller.Ready(stop_index)) return false;
  }
  return false;
}

void McuHostLoop::Busy(uint64_t microseconds, platform::Event& gone) {
  const uint64_t until = platform::MonotonicNs() + microseconds * 1000;
  platform::Poller poller;
  const size_t gone_index = poller.Add(gone.Fd());
  const size_t stop_index = poller.Add(stop_->Fd());
  while (platform::MonotonicNs() < until) {
    if (poller.Wait(until) < 0 || poller.Ready(gone_index) || poller.Ready(stop_index)) return;
  }
}

bool McuHostLoop::ServeHost() {
  auto port = SimPort::Create(kMcuLabel);
  auto gone = platform::CreateEvent();
  if (!port || !gone) {
    on_failure_("cannot create the MCU's port");
    return false;
  }
  std::string line_failure;  // written on the pump thread, read once it has ended
  LinePump pump(host_, *port, line_.rate, line_.faults, line_.seed, [&](const std::string& why) {
    if (!host_.closed()) line_failure = why;
    gone->Set();
  });
  // The MCU's answers reach the host through its adapter.
  if (line_.latency_timer_ms) pump.SetLatencyTimer(1, *line_.latency_timer_ms);
  std::string error;
  if (!pump.Start(&error)) {
    on_failure_(error);
    return false;
  }
  events_.Emit("reset");
  McuDevice device(*port, events_, flash_, settings_,
                   [&](uint64_t microseconds) { Busy(microseconds, *gone); },
                   [this] { return stop_->IsSet(); });
  std::thread worker([&] {
    platform::UseFineTimerSlack();
    device.Run();
  });

  platform::Poller poller;
  const size_t gone_index = poller.Add(gone->Fd());
  const size_t stop_index = poller.Add(stop_->Fd());
  std::string wait_failure;
  // The program keeps the port as long as it likes; devsim's stop ends it too.
  while (!poller.Ready(gone_index) && !poller.Ready(stop_index)) {
    if (poller.Wait(std::nullopt) < 0) {
      wait_failure = "waiting for the MCU's host failed";
      break;
    }
  }
  port->Shutdown();
  worker.join();
  pump.Stop();
  AddStats(pump.Stats());
  const std::string failure = line_failure.empty() ? wait_failure : line_failure;
  if (!failure.empty()) {
    on_failure_(failure);
    return false;
  }
  if (host_.closed()) events_.Emit("closed");
  return true;
}

}  // namespace flashkit::sim
