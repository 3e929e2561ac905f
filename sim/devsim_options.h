#pragma once

#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <vector>

#include "sim/fault_injector.h"
#include "sim/line_schedule.h"
#include "sim/mcu_settings.h"

namespace flashkit::sim {

enum class DevsimCommand { kHelp, kBoard, kWire, kMcu, kUsbFramed };

struct DevsimOptions {
  DevsimCommand command = DevsimCommand::kHelp;
  std::vector<unsigned> coms;
  std::string usb_name;  // USB board and usb-framed: the USB device's name
  LineRate rate;
  FaultRates faults;
  uint64_t seed = 1;
  // Serial lines: the host's USB serial adapter holds what it receives from
  // the line this many ms; nothing, no adapter.
  std::optional<uint32_t> latency_timer_ms;
  // Wire only: the faults hit only what travels toward this port.
  std::optional<unsigned> faults_to;
  // Board only.
  std::string store_dir = ".";
  bool no_request = false;  // COM board only
  bool once = false;
  uint32_t boot_lines = 5;  // COM board only
  // usb-framed only.
  uint32_t reenumerate_ms = 200;
  std::optional<uint32_t> silent_after;
  // MCU only.
  McuSettings mcu;
  std::string dump_path;  // empty: no dump at exit
};

struct ParsedCommandLine {
  std::optional<DevsimOptions> options;  // nothing when the line is wrong
  std::string error;
};

// The arguments after the program name.
ParsedCommandLine ParseCommandLine(std::span<const std::string> args);

extern const char kDevsimUsage[];

}  // namespace flashkit::sim
