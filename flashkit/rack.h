#pragma once

#include <cstdio>
#include <string>
#include <vector>

#include "common/crc16_table.h"
#include "flashkit/board.h"
#include "flashkit/options.h"
#include "platform/clock.h"
#include "platform/device_system.h"

namespace flashkit::rack {

inline constexpr int kAllSucceeded = 0;
inline constexpr int kUsageStatus = 1;
inline constexpr int kSomeFailed = 2;
inline constexpr int kSignalStatusBase = 128;

// Where a run writes: the live lines and the table go to `out`, whose being a
// terminal decides how the lines are drawn; complaints go to `err`.
struct RackConsole {
  std::FILE* out;
  std::FILE* err;
  bool terminal;
  int columns;
};

// The boards a run's options name, in order; a port named twice or a board
// that is not there is refused, to fail alone.
std::vector<BoardTarget> TargetsOf(const RackOptions& options, platform::DeviceSystem& system);

// The image, measured and hashed once for every board.
RackImage ReadImage(const std::string& path);

// "flashkit-COM3.log", "flashkit-dev_ttyUSB0.log": one file per board.
std::string LogFileName(const std::string& label);

// Runs the download on every target at once and reports; the exit status.
int RunRack(const RackOptions& options, platform::DeviceSystem& system, platform::Clock& clock,
            const Crc16Table& crc, const RackConsole& console);

}  // namespace flashkit::rack
