#pragma once

#include <cstdint>
#include <cstdio>
#include <string>
#include <vector>

#include "flashkit/board.h"

namespace flashkit::rack {

struct LiveRow {
  std::string label;
  BoardProgress::Snapshot state;
  std::vector<std::string> phases;  // every phase so far
  uint64_t elapsed_ms = 0;
};

// The boards' progress while they run. On a terminal, one line per board,
// redrawn in place; elsewhere (a pipe, a log) one plain line each time a
// board's phase changes, so nothing is drawn over.
class LiveView {
 public:
  LiveView(std::FILE* out, bool terminal, int columns);
  void Show(const std::vector<LiveRow>& rows);

  // One board's line, at most `columns` characters wide.
  static std::string Line(const LiveRow& row, size_t label_width, int columns);

 private:
  std::FILE* out_;
  bool terminal_;
  int columns_;
  size_t drawn_ = 0;  // lines drawn last time (terminal)
  std::vector<size_t> printed_;  // phases printed, per board (plain)
};

}  // namespace flashkit::rack
