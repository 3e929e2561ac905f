#pragma once

#include <algorithm>

#include "fuzz/harness/wire_script.h"

namespace flashkit::fuzz {

// Plays a WireScript into a fake's Arrive: the first chunk at once, the next
// one after each write. `Fake` is any fake with Arrive(bytes, delay_ms).
template <typename Fake>
class ScriptFeed {
 public:
  // Writes a run may make at all, and after its script has run out: enough
  // for every retry limit, so a harness can fail the next write and end a
  // loop that would otherwise prompt forever.
  static constexpr int kMaxWrites = 4000;
  static constexpr int kWritesAfterScript = 60;

  ScriptFeed(FuzzInput& input, Fake& fake) : script_(input), fake_(fake) { Play(); }

  // Called with each write the system under test makes.
  void OnWrite() {
    ++writes_;
    Play();
  }
  int writes() const { return writes_; }
  bool Exhausted() const { return exhausted_at_ >= 0; }
  // The number of the first write (1-based) that should fail.
  int FailingWrite() const {
    const int limit = Exhausted() ? exhausted_at_ + kWritesAfterScript : kMaxWrites;
    return std::min(limit, kMaxWrites) + 1;
  }

 private:
  void Play() {
    if (auto chunk = script_.Next()) {
      fake_.Arrive(chunk->bytes, chunk->delay_ms);
    } else if (!Exhausted()) {
      exhausted_at_ = writes_;
    }
  }

  WireScript script_;
  Fake& fake_;
  int writes_ = 0;
  int exhausted_at_ = -1;
};

}  // namespace flashkit::fuzz
