#pragma once

#include <cstdint>
#include <mutex>
#include <optional>
#include <string>
#include <vector>

#include "flashkit/options.h"

namespace flashkit::rack {

// One board of a run, as the user named it.
struct BoardTarget {
  std::string label;  // what the table shows: "COM3", "/dev/ttyUSB0", a USB entry name
  // ymodem, mcu: the COM number or, when set, the path that opens the line.
  uint32_t com = 0;
  std::string path;
  // Set when this board cannot run at all; the reason, for the table.
  std::string refused;
};

// The image every board of a run receives, read and hashed once.
struct RackImage {
  std::string path;  // as given
  std::string name;  // the file's own name
  uint64_t size = 0;
  std::string sha256;
  std::string unreadable;  // why it cannot be sent; empty when it can
};

enum class Outcome { kOk, kFailed, kStopped };

struct BoardResult {
  Outcome outcome = Outcome::kFailed;
  uint64_t bytes = 0;  // what the board took (all of the image when it succeeded)
  double seconds = 0;
  std::string message;
  std::optional<uint32_t> product_id;  // mcu
  bool verified = false;               // mcu
};

// How far one board has got, written by its thread and read by the display.
class BoardProgress {
 public:
  struct Snapshot {
    std::string phase;
    uint64_t done = 0;
    uint64_t total = 0;  // 0: no measure yet
    uint64_t bytes = 0;
    bool finished = false;
  };

  void SetPhase(std::string phase);
  // `done` of `total` units; `bytes` of the image behind them.
  void SetProgress(uint64_t done, uint64_t total, uint64_t bytes);
  void Finish(std::string phase);
  Snapshot Take() const;
  // Every phase so far, in order, so a plain display can print each once.
  std::vector<std::string> Phases() const;

 private:
  mutable std::mutex mutex_;
  Snapshot state_;
  std::vector<std::string> phases_;
};

}  // namespace flashkit::rack
