#include <array>

#include "sim/device_session.h"
#include "sim/devsim_commands.h"
#include "sim/line_pump.h"

namespace flashkit::sim {

int RunWire(const DevsimOptions& options, EventLog& events) {
  DeviceSession session(events);
  std::string error;
  if (!session.Prepare(&error)) return ReportSetupFailure(error);
  PtyEnd* a = session.AttachCom(options.coms[0], &error);
  if (!a) return ReportSetupFailure(error);
  PtyEnd* b = session.AttachCom(options.coms[1], &error);
  if (!b) return ReportSetupFailure(error);

  // Direction 0 runs toward the second port, direction 1 toward the first.
  std::array<FaultRates, 2> faults{options.faults, options.faults};
  if (options.faults_to) faults[*options.faults_to == options.coms[1] ? 1 : 0] = FaultRates{};
  LinePump pump(*a, *b, options.rate, faults, options.seed,
                [&session](const std::string& why) { session.Finish(why); });
  // Each port is a program's own adapter: both directions are held.
  if (options.latency_timer_ms) {
    pump.SetLatencyTimer(0, *options.latency_timer_ms);
    pump.SetLatencyTimer(1, *options.latency_timer_ms);
  }
  if (!pump.Start(&error)) return ReportSetupFailure(error);
  session.ReportReady("wire", options.rate, options.latency_timer_ms);
  session.WaitForEnd();
  pump.Stop();
  return session.Close(pump.Stats());
}

}  // namespace flashkit::sim
