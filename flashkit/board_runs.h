#pragma once

#include <string>

#include "common/crc16_table.h"
#include "flashkit/board.h"
#include "flashkit/options.h"
#include "platform/clock.h"
#include "platform/device_system.h"

namespace flashkit::rack {

// What every board of a run shares; read-only while the boards run.
struct BoardContext {
  const RackOptions& options;
  const RackImage& image;
  platform::DeviceSystem& system;
  platform::Clock& clock;
  const Crc16Table& crc;
};

// One board's download, start to end, on the calling thread. Each keeps to
// its own port and its own log file (`log_path`); a failure ends only it.
BoardResult RunYmodemBoard(const BoardContext& context, const BoardTarget& target,
                           const std::string& log_path, BoardProgress& progress);
BoardResult RunMcuBoard(const BoardContext& context, const BoardTarget& target,
                        const std::string& log_path, BoardProgress& progress);
BoardResult RunUsbBoard(const BoardContext& context, const BoardTarget& target,
                        const std::string& log_path, BoardProgress& progress);

// A result that ends as `outcome` with `message`.
BoardResult Ended(Outcome outcome, std::string message);

}  // namespace flashkit::rack
