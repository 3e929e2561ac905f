#include "sim/device_session.h"
#include "sim/devsim_commands.h"
#include "sim/mcu_flash.h"
#include "sim/mcu_host_end.h"
#include "sim/mcu_host_loop.h"

namespace flashkit::sim {
namespace {

// stm32flash told to keep the port as it finds it (-b 0) reads expecting
// reads that wait, as it would have set them up itself: half a second.
constexpr uint8_t kSlaveReadWaitDs = 5;

}  // namespace

// The MCU on a COM port. devsim lets go of the port's slave, so it sees each
// program open and close the port; the flash lives as long as devsim.
int RunMcu(const DevsimOptions& options, EventLog& events) {
  DeviceSession session(events);
  std::string error;
  if (!session.Prepare(&error)) return ReportSetupFailure(error);
  PtyEnd* pty = session.AttachCom(options.coms[0], &error);
  if (!pty) return ReportSetupFailure(error);
  if (const platform::SysStatus s = pty->SetSlaveReadWait(kSlaveReadWaitDs); !s.ok()) {
    return ReportSetupFailure("cannot set up the MCU's port: " + s.Text());
  }
  pty->ReleaseSlave();

  const McuSettings& settings = options.mcu;
  McuFlash flash(settings.flash_base, settings.flash_bytes, settings.page_bytes);
  McuHostEnd host(*pty);
  McuHostLoop hosts(host, {options.rate, options.faults, options.seed, options.latency_timer_ms}, settings, flash, events,
                    [&session](const std::string& failure) { session.Finish(failure); });
  if (!hosts.Start(&error)) return ReportSetupFailure(error);
  session.ReportReady("mcu", options.rate, options.latency_timer_ms);
  session.WaitForEnd();
  hosts.Stop();

  if (!options.dump_path.empty()) {
    if (flash.Dump(options.dump_path)) {
      events.Emit("dump", JsonFields()
                              .Str("path", options.dump_path)
                              .Int("size", static_cast<int64_t>(flash.size())));
    } else {
      session.Finish("cannot write the flash to " + options.dump_path);
    }
  }
  return session.Close(hosts.Stats());
}

}  // namespace flashkit::sim
