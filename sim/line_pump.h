#pragma once

#include <array>
#include <condition_variable>
#include <cstdint>
#include <functional>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "platform/event.h"
#include "sim/line_end.h"
#include "sim/paced_channel.h"

namespace flashkit::sim {

// When bytes came out of one direction, on MonotonicNs.
struct DeliveryTimes {
  uint64_t first_ns = 0;  // 0 while nothing has come out
  uint64_t last_ns = 0;
};

struct DirectionStats {
  std::string from;
  std::string to;
  LineCounts counts;
  DeliveryTimes times;
};

// Joins two line ends with a paced, faulty line and moves the bytes on a
// thread of its own: it sleeps until input arrives at either end, an end
// that took only part of its bytes can take more, or the next byte is due,
// and delivers everything due. An end that does not read never holds up the
// other direction: what it has not taken waits in the pump.
class LinePump {
 public:
  // What one direction may hold, on the line and not yet taken by its far
  // end, before the pump stops taking from its near end: the writer there
  // then waits as on a full transmit buffer, and nothing is lost.
  static constexpr size_t kMaxQueuedBytes = 64 * 1024;

  // `on_failure` runs on the pump thread when an end fails; the pump then
  // stops moving bytes. An end that fails as it is read from has its bytes
  // already on the line delivered first.
  LinePump(LineEnd& a, LineEnd& b, LineRate rate, FaultRates faults, uint64_t seed,
           std::function<void(const std::string&)> on_failure = {});
  // Faults of each direction apart: [0] from a to b, [1] from b to a.
  LinePump(LineEnd& a, LineEnd& b, LineRate rate, std::array<FaultRates, 2> faults, uint64_t seed,
           std::function<void(const std::string&)> on_failure = {});
  ~LinePump();

  LinePump(const LinePump&) = delete;
  LinePump& operator=(const LinePump&) = delete;

  // Direction `i` reaches its far end through a USB serial adapter with this
  // latency timer, in ms. Before Start.
  void SetLatencyTimer(size_t i, uint32_t timer_ms) { channels_[i].SetLatencyTimer(timer_ms); }

  // False, with the reason in `error`, when the pump cannot be set up.
  bool Start(std::string* error);
  // Ends the thread; bytes still on the line are lost. Idempotent.
  void Stop();

  // Waits at most `timeout_ms` until everything on the line has come out.
  bool WaitIdle(uint32_t timeout_ms);

  // Direction 0 runs from a to b, direction 1 from b to a.
  std::vector<DirectionStats> Stats() const;

 private:
  void Run();
  bool Pass(uint64_t now_ns, std::optional<uint64_t>* wake_ns);
  // True while direction `i` has room for more from ends_[i].
  bool Accepts(size_t i) const;
  void Publish();

  std::array<LineEnd*, 2> ends_;
  std::array<PacedChannel, 2> channels_;  // [i] carries what enters at ends_[i]
  std::array<std::vector<uint8_t>, 2> backlog_;  // came out, not yet taken by the far end
  std::array<DeliveryTimes, 2> times_{};         // pump thread only
  std::array<bool, 2> hung_up_{};  // the end failed; what it sent is still delivered
  std::function<void(const std::string&)> on_failure_;
  std::unique_ptr<platform::Event> stop_;
  std::thread thread_;

  mutable std::mutex mutex_;
  std::condition_variable idle_cv_;
  bool idle_ = true;
  std::array<LineCounts, 2> counts_{};
  std::array<DeliveryTimes, 2> published_times_{};
};

}  // namespace flashkit::sim
