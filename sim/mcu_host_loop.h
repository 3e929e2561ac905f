#pragma once

#include <atomic>
#include <functional>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <thread>
#include <vector>

#include "platform/event.h"
#include "sim/event_log.h"
#include "sim/fault_injector.h"
#include "sim/line_pump.h"
#include "sim/mcu_flash.h"
#include "sim/mcu_host_end.h"
#include "sim/mcu_settings.h"

namespace flashkit::sim {

// How the MCU's line is made, for every host alike.
struct McuLine {
  LineRate rate;
  FaultRates faults;
  uint64_t seed = 1;
  std::optional<uint32_t> latency_timer_ms;  // the host's adapter; nothing, none
};

// Serves the programs that open the MCU's port one after the other, on a
// thread of its own. Opening the port resets the MCU: each program meets a
// fresh bootloader, joined to it through the line pump, on the flash the
// earlier ones left. Reports {"event":"reset"} per program and
// {"event":"closed"} when it has closed the port.
class McuHostLoop {
 public:
  // How often a port nobody holds is looked at for a program opening it.
  static constexpr uint32_t kProbeMs = 2;

  // `on_failure` runs on the loop's thread when the line fails otherwise
  // than by the program closing its port; the loop then ends.
  McuHostLoop(McuHostEnd& host, McuLine line, McuSettings settings, McuFlash& flash,
              EventLog& events, std::function<void(const std::string&)> on_failure);
  ~McuHostLoop();

  McuHostLoop(const McuHostLoop&) = delete;
  McuHostLoop& operator=(const McuHostLoop&) = delete;

  // False, with the reason in `error`, when the thread cannot be set up.
  bool Start(std::string* error);
  // Ends the current program's session and the thread. Idempotent.
  void Stop();

  // Both directions of each program's line in turn, in the order the
  // programs came.
  std::vector<DirectionStats> Stats() const;

 private:
  void Run();
  // False once stopped.
  bool WaitForHost();
  // Runs the MCU for one program until it closes the port or the loop stops;
  // false when the line failed.
  bool ServeHost();
  // Spends `microseconds`, ending early when `gone` or the stop is set.
  void Busy(uint64_t microseconds, platform::Event& gone);
  void AddStats(const std::vector<DirectionStats>& stats);

  McuHostEnd& host_;
  McuLine line_;
  McuSettings settings_;
  McuFlash& flash_;
  EventLog& events_;
  std::function<void(const std::string&)> on_failure_;

  std::unique_ptr<platform::Event> stop_;
  std::thread thread_;

  mutable std::mutex mutex_;
  std::vector<DirectionStats> stats_;
};

}  // namespace flashkit::sim
