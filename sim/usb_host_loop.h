#pragma once

#include <atomic>
#include <functional>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "common/crc16_table.h"
#include "platform/device.h"
#include "platform/event.h"
#include "sim/board.h"
#include "sim/event_log.h"
#include "sim/fault_injector.h"
#include "sim/line_pump.h"
#include "sim/request_listener.h"
#include "sim/sim_port.h"
#include "sim/usb_entry.h"

namespace flashkit::sim {

// How a USB board's line is made, for every host alike.
struct UsbLine {
  LineRate rate;
  FaultRates faults;
  uint64_t seed = 1;
};

// Runs the device for one host on the host's port until `stopping` says so;
// true when the loop's work is done and it ends after this host.
using UsbHostServer = std::function<bool(SimPort& port, const StopCheck& stopping)>;

// Serves the hosts of a USB board entry one at a time, on a thread of its
// own: takes a host's two pipe connections (PIPE00 first, then PIPE01),
// joins them to a fresh board port through the line pump, and runs a Board
// (or the device it is given) there until the host closes its pipes. Then it
// waits for the next host.
// Reports {"event":"connected"} and {"event":"disconnected"} per host.
class UsbHostLoop {
 public:
  // `on_end` runs on the loop's thread when it ends by itself: with an empty
  // text after the one download `once` asks for, else with the failure.
  UsbHostLoop(UsbEntry& entry, UsbLine line, BoardSettings settings, EventLog& events,
              std::function<void(const std::string&)> on_end);
  // Another device than the board, served per host by `serve`.
  UsbHostLoop(UsbEntry& entry, UsbLine line, UsbHostServer serve, EventLog& events,
              std::function<void(const std::string&)> on_end);
  ~UsbHostLoop();

  UsbHostLoop(const UsbHostLoop&) = delete;
  UsbHostLoop& operator=(const UsbHostLoop&) = delete;

  // False, with the reason in `error`, when the thread cannot be set up.
  bool Start(std::string* error);
  // Ends the current host's round and the thread; the host's pipes are
  // closed when it returns. Idempotent.
  void Stop();

  // Each direction, summed over every host so far.
  std::vector<DirectionStats> Stats() const;

 private:
  struct HostPipes {
    std::unique_ptr<platform::Device> pipe00;
    std::unique_ptr<platform::Device> pipe01;
  };

  void Run();
  // The next host's connections; false when stopped or failed.
  bool AcceptHost(HostPipes* host);
  // Serves one host; true when the download `once` asks for is done.
  bool ServeHost(HostPipes host);
  void WaitForHostToClose(LinePump& pump, const std::atomic<bool>& gone);
  void AddStats(const std::vector<DirectionStats>& stats);
  void Fail(const std::string& why);

  UsbEntry& entry_;
  UsbLine line_;
  UsbHostServer serve_;
  EventLog& events_;
  std::function<void(const std::string&)> on_end_;
  const std::string label_;

  std::unique_ptr<platform::Event> stop_event_;
  std::atomic<bool> stopped_{false};
  std::thread thread_;

  mutable std::mutex mutex_;
  SimPort* current_ = nullptr;  // the port of the host being served
  std::vector<DirectionStats> stats_;
};

}  // namespace flashkit::sim
