#pragma once

#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <vector>

#include "platform/event.h"
#include "sim/com_link.h"
#include "sim/event_log.h"
#include "sim/line_pump.h"
#include "sim/pty_end.h"
#include "sim/usb_entry.h"

namespace flashkit::sim {

// What every devsim device does around its own logic: it stops on SIGINT or
// SIGTERM, puts its COM ports or its USB entry into the namespace, announces
// itself, and at the end takes them away again and reports how the line went.
class DeviceSession {
 public:
  explicit DeviceSession(EventLog& events);
  ~DeviceSession();

  // Installs the stop signals. False, with the reason in `error`, on failure.
  bool Prepare(std::string* error);

  // A pseudo-terminal reachable as <root>/comN; null, with `error`, on failure.
  PtyEnd* AttachCom(unsigned number, std::string* error);

  // The USB entry <root>/usb/{GUID}/<name>, present until Close; null, with
  // `error`, when it cannot be made or the name is taken.
  UsbEntry* AttachUsb(const std::string& name, std::string* error);

  // {"event":"ready","device":...,"com":[...],"path":[...],"pty":[...],"baud":...,"bits":...},
  // and "latency_timer_ms":... when the host's end is a modelled adapter.
  void ReportReady(const char* device, const LineRate& rate,
                   std::optional<uint32_t> latency_timer_ms = std::nullopt);
  // {"event":"ready","device":...,"usb":"<name>","path":"<entry>","baud":...,"bits":...}
  void ReportUsbReady(const char* device, const LineRate& rate);

  // Ends WaitForEnd from any thread: the device is done, or failed when
  // `failure` is not empty.
  void Finish(const std::string& failure = "");

  // Blocks until a stop signal arrives or Finish is called.
  void WaitForEnd();

  // Removes the links or the USB entry, prints the line statistics (with, per direction, when
  // its first and last byte came out) and the exit line, and returns the
  // exit status: 0 for a clean stop, 1 after a failure.
  int Close(const std::vector<DirectionStats>& stats);

  // Close in parts, for a command that runs several devices and ends each by itself.
  // Removes <root>/comN; its pseudo-terminal stays until Exit.
  void DetachCom(unsigned number);
  // {"event":"line-stats","directions":[...]} into `log`.
  void ReportLineStats(EventLog& log, const std::vector<DirectionStats>& stats) const;
  // Removes what is left in the namespace, prints the exit line and returns the exit status.
  int Exit();

 private:
  // The event time of `ns`, or null when nothing came out.
  std::string StampOrNull(uint64_t ns) const;

  EventLog& events_;
  std::unique_ptr<platform::Event> done_;
  std::vector<std::unique_ptr<PtyEnd>> ends_;
  std::vector<std::unique_ptr<ComLink>> links_;
  std::unique_ptr<UsbEntry> usb_;
  std::mutex mutex_;
  bool finished_ = false;
  std::string failure_;
};

// Prints why a device could not be set up; returns the exit status for it.
int ReportSetupFailure(const std::string& error);

}  // namespace flashkit::sim
