#include <atomic>
#include <memory>
#include <thread>

#include "common/crc16_table.h"
#include "platform/clock.h"
#include "sim/board.h"
#include "sim/device_rack.h"
#include "sim/device_session.h"
#include "sim/devsim_commands.h"
#include "sim/line_pump.h"
#include "sim/sim_port.h"

namespace flashkit::sim {
namespace {

// With --once the boot log must have left the line before the board ends,
// and the host, still capturing it, must not see its port hang up: a real
// board stays powered. Both waits are bounded.
constexpr uint32_t kDrainLimitMs = 60000;
constexpr uint32_t kHostCloseLimitMs = 60000;
constexpr uint32_t kSliceMs = 100;

// One board on its COM port: its own line pump, fault decisions and board
// thread. It tells `finish` when it is done (--once) or its line failed.
class ComBoard : public RackDevice {
 public:
  ComBoard(PtyEnd& host, std::unique_ptr<SimPort> port, const DevsimOptions& options,
           uint64_t seed, BoardSettings settings, EventLog& events,
           std::function<void(const std::string&)> finish)
      : host_(host),
        port_(std::move(port)),
        finish_(std::move(finish)),
        // Once the board is done and has let go of the slave, the host
        // closing its port is the end, not a failure.
        pump_(host_, *port_, options.rate, options.faults, seed,
              [this](const std::string& why) { finish_(host_may_go_ ? "" : why); }),
        board_(*port_, platform::SystemClock(), events, crc_, std::move(settings),
               [this] { return stop_.load(); }) {
    // The board's answers reach the host through its adapter.
    if (options.latency_timer_ms) pump_.SetLatencyTimer(1, *options.latency_timer_ms);
  }

  ~ComBoard() override { Stop(); }

  bool Start(std::string* error) { return pump_.Start(error); }

  void Launch() override {
    worker_ = std::thread([this] {
      if (!board_.Run()) return;
      for (uint32_t waited = 0; waited < kDrainLimitMs && !stop_; waited += kSliceMs) {
        if (pump_.WaitIdle(kSliceMs)) break;
      }
      host_may_go_ = true;
      host_.ReleaseSlave();
      for (uint32_t waited = 0; waited < kHostCloseLimitMs && !stop_; waited += kSliceMs) {
        platform::SystemClock().SleepMs(kSliceMs);
      }
      finish_("");
    });
  }

  std::string Stop() override {
    stop_ = true;
    port_->Shutdown();
    if (worker_.joinable()) worker_.join();
    pump_.Stop();
    return "";
  }

  std::vector<DirectionStats> Stats() const override { return pump_.Stats(); }

 private:
  PtyEnd& host_;
  std::unique_ptr<SimPort> port_;
  std::function<void(const std::string&)> finish_;
  std::atomic<bool> host_may_go_{false};
  std::atomic<bool> stop_{false};
  LinePump pump_;
  const Crc16Table crc_;
  Board board_;
  std::thread worker_;
};

}  // namespace

BoardSettings BoardSettingsFrom(const DevsimOptions& options) {
  BoardSettings settings;
  settings.link = options.usb_name.empty() ? BoardLink::kSerial : BoardLink::kUsb;
  settings.no_request = options.no_request;
  settings.once = options.once;
  settings.boot_lines = options.boot_lines;
  settings.store_dir = options.store_dir;
  return settings;
}

// A COM board per --com, side by side.
int RunBoard(const DevsimOptions& options, EventLog& events) {
  if (!options.usb_name.empty()) return RunUsbBoard(options, events);
  DeviceSession session(events);
  std::string error;
  if (!session.Prepare(&error)) return ReportSetupFailure(error);
  DeviceRack rack(session, events, options.coms);
  if (!rack.Prepare(&error)) return ReportSetupFailure(error);
  for (size_t k = 0; k < rack.size(); ++k) {
    PtyEnd* host = session.AttachCom(rack.com(k), &error);
    if (!host) return ReportSetupFailure(error);
    auto port = SimPort::Create("board");
    if (!port) return ReportSetupFailure("cannot create the board's port");
    BoardSettings settings = BoardSettingsFrom(options);
    if (rack.several()) settings.store_dir /= "com" + std::to_string(rack.com(k));
    auto board = std::make_unique<ComBoard>(
        *host, std::move(port), options, options.seed + k, std::move(settings), rack.Log(k),
        [&rack, k](const std::string& failure) { rack.Finish(k, failure); });
    if (!board->Start(&error)) return ReportSetupFailure(error);
    rack.Add(std::move(board));
  }
  session.ReportReady("board", options.rate, options.latency_timer_ms);
  return rack.Run();
}

}  // namespace flashkit::sim
