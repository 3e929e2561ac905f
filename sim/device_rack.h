#pragma once

#include <cstddef>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include "platform/event.h"
#include "sim/device_session.h"
#include "sim/event_log.h"
#include "sim/line_pump.h"

namespace flashkit::sim {

// One of the devices a command runs, one per --com, each on threads of its
// own. It tells its rack when it has ended (DeviceRack::Finish).
class RackDevice {
 public:
  virtual ~RackDevice() = default;
  // Begins serving, after "ready".
  virtual void Launch() {}
  // Ends its threads; idempotent. Returns why stopping failed (a dump
  // that cannot be written), or "".
  virtual std::string Stop() = 0;
  // The line statistics, once stopped.
  virtual std::vector<DirectionStats> Stats() const = 0;
};

// The devices of one command (a COM board or an MCU per --com) in one
// session. Each runs and ends independently; the rack stops one that has
// ended at once, removes its <root>/comN and reports it. devsim ends when
// every device has ended or a stop signal comes.
//
// With one device everything reads as it always has: its events untagged,
// its failure the session's. With several, device k's events carry
// "com":N after their name, and each device ends with its "line-stats" and
// {"event":"device-end","com":N,"reason":...[,"error":...]}; a device's failure
// is printed on stderr as it happens, and makes the exit status 1.
class DeviceRack {
 public:
  DeviceRack(DeviceSession& session, EventLog& events, std::vector<unsigned> coms);
  ~DeviceRack();

  DeviceRack(const DeviceRack&) = delete;
  DeviceRack& operator=(const DeviceRack&) = delete;

  // False, with the reason in `error`, when the rack cannot be set up.
  bool Prepare(std::string* error);

  size_t size() const { return coms_.size(); }
  bool several() const { return coms_.size() > 1; }
  unsigned com(size_t k) const { return coms_[k]; }
  // Where device k reports.
  EventLog& Log(size_t k) { return *logs_[k]; }

  // Device k, in the order of the ports; call once for each k in turn.
  void Add(std::unique_ptr<RackDevice> device);

  // From any thread, after Prepare: device k is done, or failed when
  // `failure` is not empty. Only its first end counts.
  void Finish(size_t k, const std::string& failure = "");

  // Launches every device and serves until they have all ended or a stop
  // signal comes; then stops the rest, and prints the exit line. Returns
  // the exit status.
  int Run();

 private:
  struct Slot {
    bool finished = false;  // Finish was called
    bool ended = false;     // stopped and reported
    std::string failure;
  };

  // Stops device k and reports it.
  void End(size_t k);

  DeviceSession& session_;
  std::vector<unsigned> coms_;
  std::vector<std::unique_ptr<EventLog>> logs_;
  std::vector<std::unique_ptr<RackDevice>> devices_;
  std::unique_ptr<platform::Event> changed_;
  std::mutex mutex_;
  std::vector<Slot> slots_;
  size_t failed_ = 0;
};

}  // namespace flashkit::sim
