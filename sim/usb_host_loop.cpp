#include "sim/usb_host_loop.h"

#include <algorithm>
#include <cstdint>
#include <optional>

#include "platform/clock.h"
#include "platform/poller.h"
#include "sim/usb_end.h"

namespace flashkit::sim {
namespace {

// A host opens PIPE01 right after PIPE00; one that does not is not waited for.
constexpr uint64_t kSecondPipeLimitNs = 5'000'000'000ull;
// With `once`, the last answers must reach the host before the device goes,
// and a host still reading them must not see it vanish. Both waits are bounded.
constexpr uint32_t kDrainLimitMs = 60000;
constexpr uint32_t kHostCloseLimitMs = 60000;
constexpr uint32_t kSliceMs = 100;
constexpr size_t kNotWatched = SIZE_MAX;

uint64_t EarliestNonZero(uint64_t a, uint64_t b) {
  if (a == 0) return b;
  if (b == 0) return a;
  return std::min(a, b);
}

}  // namespace

UsbHostLoop::UsbHostLoop(UsbEntry& entry, UsbLine line, BoardSettings settings, EventLog& events,
                         std::function<void(const std::string&)> on_end)
    : UsbHostLoop(
          entry, line,
          [settings = std::move(settings), &events, crc = std::make_shared<const Crc16Table>()](
              SimPort& port, const StopCheck& stopping) {
            Board board(port, platform::SystemClock(), events, *crc, settings, stopping);
            return board.Run();
          },
          events, std::move(on_end)) {}

UsbHostLoop::UsbHostLoop(UsbEntry& entry, UsbLine line, UsbHostServer serve, EventLog& events,
                         std::function<void(const std::string&)> on_end)
    : entry_(entry),
      line_(line),
      serve_(std::move(serve)),
      events_(events),
      on_end_(std::move(on_end)),
      label_("usb:" + entry.name()) {
  stats_ = {{label_, "board", {}, {}}, {"board", label_, {}, {}}};
}

UsbHostLoop::~UsbHostLoop() { Stop(); }

bool UsbHostLoop::Start(std::string* error) {
  stop_event_ = platform::CreateEvent();
  if (!stop_event_) {
    *error = "cannot create the host loop's stop event";
    return false;
  }
  thread_ = std::thread([this] { Run(); });
  return true;
}

void UsbHostLoop::Stop() {
  stopped_ = true;
  if (stop_event_) stop_event_->Set();
  {
    std::lock_guard<std::mutex> lock(mutex_);
    if (current_) current_->Shutdown();
  }
  if (thread_.joinable()) thread_.join();
}

std::vector<DirectionStats> UsbHostLoop::Stats() const {
  std::lock_guard<std::mutex> lock(mutex_);
  return stats_;
}

void UsbHostLoop::AddStats(const std::vector<DirectionStats>& stats) {
  std::lock_guard<std::mutex> lock(mutex_);
  for (size_t i = 0; i < stats_.size() && i < stats.size(); ++i) {
    LineCounts& counts = stats_[i].counts;
    counts.delivered += stats[i].counts.delivered;
    counts.dropped += stats[i].counts.dropped;
    counts.corrupted += stats[i].counts.corrupted;
    DeliveryTimes& times = stats_[i].times;
    times.first_ns = EarliestNonZero(times.first_ns, stats[i].times.first_ns);
    times.last_ns = std::max(times.last_ns, stats[i].times.last_ns);
  }
}

void UsbHostLoop::Fail(const std::string& why) {
  stopped_ = true;
  if (on_end_) on_end_(why);
}

void UsbHostLoop::Run() {
  while (!stopped_) {
    HostPipes host;
    if (!AcceptHost(&host)) return;
    if (ServeHost(std::move(host))) {
      if (on_end_) on_end_("");
      return;
    }
  }
}

bool UsbHostLoop::AcceptHost(HostPipes* host) {
  uint64_t give_up_ns = 0;
  for (;;) {
    const bool second = host->pipe00 != nullptr;
    platform::PipeListener& listener = second ? entry_.pipe01() : entry_.pipe00();
    platform::Poller poller;
    const size_t stop = poller.Add(stop_event_->Fd());
    const size_t waiting = poller.Add(listener.Fd());
    // A host that goes before opening its second pipe shows on its first.
    const size_t first = second ? poller.Add(host->pipe00->Id()) : kNotWatched;
    if (poller.Wait(second ? std::optional<uint64_t>(give_up_ns) : std::nullopt) < 0) {
      Fail("waiting for a USB host failed");
      return false;
    }
    if (stopped_ || poller.Ready(stop)) return false;

    if (poller.Ready(waiting)) {
      platform::SysStatus status;
      std::unique_ptr<platform::Device> accepted = listener.Accept(&status);
      if (!status.ok()) {
        Fail("accepting a USB host failed: " + status.Text());
        return false;
      }
      if (accepted && !second) {
        host->pipe00 = std::move(accepted);
        give_up_ns = platform::MonotonicNs() + kSecondPipeLimitNs;
        continue;
      }
      if (accepted) {
        host->pipe01 = std::move(accepted);
        return true;
      }
    }
    if (second && poller.Ready(first)) {
      // Nothing is read from PIPE00 but the end of the connection.
      uint8_t stray[256];
      if (!host->pipe00->Read(stray, sizeof stray).ok()) host->pipe00.reset();
    }
    if (second && host->pipe00 && platform::MonotonicNs() >= give_up_ns) host->pipe00.reset();
  }
}

bool UsbHostLoop::ServeHost(HostPipes host) {
  std::unique_ptr<SimPort> port = SimPort::Create("board");
  if (!port) {
    Fail("cannot create the board's port");
    return false;
  }
  auto end = std::make_unique<UsbEnd>(label_, std::move(host.pipe01), std::move(host.pipe00));
  std::atomic<bool> gone{false};
  bool done = false;
  {
    SimPort* board_port = port.get();
    // The host closing its pipes ends its rounds once what it sent is read.
    LinePump pump(*end, *port, line_.rate, line_.faults, line_.seed,
                  [&gone, board_port](const std::string&) {
                    gone = true;
                    board_port->HangUp();
                  });
    std::string error;
    if (!pump.Start(&error)) {
      Fail(error);
      return false;
    }
    {
      std::lock_guard<std::mutex> lock(mutex_);
      if (stopped_) port->Shutdown();
      current_ = port.get();
    }
    events_.Emit("connected");
    done = serve_(*port, [this, &gone] { return stopped_ || gone; });
    if (done) WaitForHostToClose(pump, gone);
    {
      std::lock_guard<std::mutex> lock(mutex_);
      current_ = nullptr;
    }
    port->Shutdown();
    pump.Stop();
    AddStats(pump.Stats());
  }
  end.reset();
  events_.Emit("disconnected");
  return done;
}

void UsbHostLoop::WaitForHostToClose(LinePump& pump, const std::atomic<bool>& gone) {
  for (uint32_t waited = 0; waited < kDrainLimitMs && !stopped_ && !gone; waited += kSliceMs) {
    if (pump.WaitIdle(kSliceMs)) break;
  }
  for (uint32_t waited = 0; waited < kHostCloseLimitMs && !stopped_ && !gone; waited += kSliceMs) {
    platform::SystemClock().SleepMs(kSliceMs);
  }
}

}  // namespace flashkit::sim
