#include <utility>

#include "flashkit/board.h"

namespace flashkit::rack {

void BoardProgress::SetPhase(std::string phase) {
  std::lock_guard<std::mutex> lock(mutex_);
  if (state_.phase == phase) return;
  state_.phase = std::move(phase);
  phases_.push_back(state_.phase);
}

void BoardProgress::SetProgress(uint64_t done, uint64_t total, uint64_t bytes) {
  std::lock_guard<std::mutex> lock(mutex_);
  state_.done = done;
  state_.total = total;
  state_.bytes = bytes;
}

void BoardProgress::Finish(std::string phase) {
  std::lock_guard<std::mutex> lock(mutex_);
  state_.phase = std::move(phase);
  state_.finished = true;
  phases_.push_back(state_.phase);
}

std::vector<std::string> BoardProgress::Phases() const {
  std::lock_guard<std::mutex> lock(mutex_);
  return phases_;
}

BoardProgress::Snapshot BoardProgress::Take() const {
  std::lock_guard<std::mutex> lock(mutex_);
  return state_;
}

}  // namespace flashkit::rack
