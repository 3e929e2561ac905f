#include "sim/device_session.h"
#include "sim/devsim_commands.h"
#include "sim/usb_framed_device.h"

namespace flashkit::sim {

// flashpanel's framed USB download device: present from "ready" until devsim
// stops, apart from its resets.
int RunUsbFramed(const DevsimOptions& options, EventLog& events) {
  DeviceSession session(events);
  std::string error;
  if (!session.Prepare(&error)) return ReportSetupFailure(error);

  UsbFramedSettings settings;
  settings.name = options.usb_name;
  settings.line = {options.rate, options.faults, options.seed};
  settings.framed.store_dir = options.store_dir;
  settings.framed.silent_after = options.silent_after;
  settings.reenumerate_ms = options.reenumerate_ms;
  UsbFramedDevice device(settings, events,
                         [&session](const std::string& failure) { session.Finish(failure); });
  if (!device.Start(&error)) return ReportSetupFailure(error);
  events.Emit("ready", JsonFields()
                           .Str("device", "usb-framed")
                           .Str("usb", settings.name)
                           .Str("path", device.path())
                           .Int("baud", options.rate.baud)
                           .Int("bits", options.rate.bits_per_char));
  session.WaitForEnd();
  device.Stop();
  return session.Close(device.Stats());
}

}  // namespace flashkit::sim
