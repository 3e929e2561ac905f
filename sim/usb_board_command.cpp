#include "sim/device_session.h"
#include "sim/devsim_commands.h"
#include "sim/usb_host_loop.h"

namespace flashkit::sim {

// The board as a USB device: present in the namespace from "ready" until
// devsim stops, which unplugs it.
int RunUsbBoard(const DevsimOptions& options, EventLog& events) {
  DeviceSession session(events);
  std::string error;
  if (!session.Prepare(&error)) return ReportSetupFailure(error);
  UsbEntry* entry = session.AttachUsb(options.usb_name, &error);
  if (!entry) return ReportSetupFailure(error);

  UsbHostLoop hosts(*entry, {options.rate, options.faults, options.seed},
                    BoardSettingsFrom(options), events,
                    [&session](const std::string& failure) { session.Finish(failure); });
  if (!hosts.Start(&error)) return ReportSetupFailure(error);
  session.ReportUsbReady("board", options.rate);
  session.WaitForEnd();
  hosts.Stop();
  return session.Close(hosts.Stats());
}

}  // namespace flashkit::sim
