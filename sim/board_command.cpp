#include <atomic>
#include <thread>

#include "common/crc16_table.h"
#include "platform/clock.h"
#include "sim/board.h"
#include "sim/device_session.h"
#include "sim/devsim_commands.h"
#include "sim/line_pump.h"
#include "sim/sim_port.h"

namespace flashkit::sim {
namespace {

// With --once the boot log must have left the line before devsim exits, and
// the host, still capturing it, must not see its port hang up: a real board
// stays powered. Both waits are bounded.
constexpr uint32_t kDrainLimitMs = 60000;
constexpr uint32_t kHostCloseLimitMs = 60000;
constexpr uint32_t kSliceMs = 100;

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

int RunBoard(const DevsimOptions& options, EventLog& events) {
  if (!options.usb_name.empty()) return RunUsbBoard(options, events);
  DeviceSession session(events);
  std::string error;
  if (!session.Prepare(&error)) return ReportSetupFailure(error);
  PtyEnd* host = session.AttachCom(options.coms[0], &error);
  if (!host) return ReportSetupFailure(error);
  auto port = SimPort::Create("board");
  if (!port) return ReportSetupFailure("cannot create the board's port");

  // Once the board is done and has let go of the slave, the host closing its
  // port is the end, not a failure.
  std::atomic<bool> host_may_go{false};
  LinePump pump(*host, *port, options.rate, options.faults, options.seed,
                [&](const std::string& why) { session.Finish(host_may_go ? "" : why); });
  // The board's answers reach the host through its adapter.
  if (options.latency_timer_ms) pump.SetLatencyTimer(1, *options.latency_timer_ms);
  if (!pump.Start(&error)) return ReportSetupFailure(error);

  std::atomic<bool> stop{false};
  const Crc16Table crc;
  Board board(*port, platform::SystemClock(), events, crc, BoardSettingsFrom(options),
              [&stop] { return stop.load(); });

  session.ReportReady("board", options.rate, options.latency_timer_ms);
  std::thread worker([&] {
    if (!board.Run()) return;
    for (uint32_t waited = 0; waited < kDrainLimitMs && !stop; waited += kSliceMs) {
      if (pump.WaitIdle(kSliceMs)) break;
    }
    host_may_go = true;
    host->ReleaseSlave();
    for (uint32_t waited = 0; waited < kHostCloseLimitMs && !stop; waited += kSliceMs) {
      platform::SystemClock().SleepMs(kSliceMs);
    }
    session.Finish();
  });

  session.WaitForEnd();
  stop = true;
  port->Shutdown();
  worker.join();
  pump.Stop();
  return session.Close(pump.Stats());
}

}  // namespace flashkit::sim
