#pragma once

#include <atomic>
#include <functional>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "platform/event.h"
#include "sim/event_log.h"
#include "sim/framed_device.h"
#include "sim/usb_entry.h"
#include "sim/usb_host_loop.h"

namespace flashkit::sim {

struct UsbFramedSettings {
  std::string name;
  UsbLine line;
  FramedSettings framed;
  // How long the device is gone from the namespace while it resets.
  uint32_t reenumerate_ms = 200;
};

// The framed download's device in the USB namespace. It serves its hosts
// one after the other; a request packet makes it reset as a board does: its
// entry goes (folder and pipes), and comes back under the same name after
// `reenumerate_ms`, reported as {"event":"reenumerate"} and
// {"event":"present"}. Stopping it unplugs it.
class UsbFramedDevice {
 public:
  // `on_failure` runs on the device's thread when it cannot go on.
  UsbFramedDevice(UsbFramedSettings settings, EventLog& events,
                  std::function<void(const std::string&)> on_failure);
  ~UsbFramedDevice();

  UsbFramedDevice(const UsbFramedDevice&) = delete;
  UsbFramedDevice& operator=(const UsbFramedDevice&) = delete;

  // Puts the entry into the namespace and starts serving; false, with the
  // reason in `error`, when either cannot be done.
  bool Start(std::string* error);
  // The entry's path as hosts find it.
  const std::string& path() const { return path_; }
  // Ends the current host's connection and the thread, and removes the
  // entry. Idempotent.
  void Stop();

  // Each direction, summed over every host so far.
  std::vector<DirectionStats> Stats() const;

 private:
  void Run();
  // One presence of the entry: serves hosts until a request or a stop;
  // false when the device cannot go on.
  bool ServePresence(bool* reset);
  // The entry gone for a while and back; false when stopped or it cannot come back.
  bool Reenumerate();
  void AddStats(const std::vector<DirectionStats>& stats);

  UsbFramedSettings settings_;
  EventLog& events_;
  std::function<void(const std::string&)> on_failure_;
  FramedDevice device_;
  std::unique_ptr<UsbEntry> entry_;
  std::string path_;

  std::unique_ptr<platform::Event> wake_;  // a presence ended, or Stop
  std::atomic<bool> stopped_{false};
  std::thread thread_;

  mutable std::mutex mutex_;
  std::string ended_why_;  // set by the host loop when it ends by itself
  std::vector<DirectionStats> stats_;
};

}  // namespace flashkit::sim
