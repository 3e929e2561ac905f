#include "bench/wire_probe.h"

#include <algorithm>
#include <thread>

#include "platform/clock.h"
#include "platform/poller.h"

namespace flashkit::bench {
namespace {

constexpr uint32_t kReadWaitMs = 100;

void WriteAll(platform::Device& line, std::span<const uint8_t> payload, uint64_t give_up_ms) {
  platform::Clock& clock = platform::SystemClock();
  size_t done = 0;
  while (done < payload.size() && clock.NowMs() < give_up_ms) {
    const platform::IoResult r = line.Write(payload.data() + done, payload.size() - done);
    if (!r.ok()) return;
    done += r.count;
  }
}

}  // namespace

ProbeResult ProbeWire(platform::Device& from, platform::Device& to,
                      std::span<const uint8_t> payload, uint32_t limit_ms) {
  platform::Clock& clock = platform::SystemClock();
  const uint64_t give_up_ms = clock.NowMs() + limit_ms;
  ProbeResult result;
  result.received.reserve(payload.size());
  result.start_ns = platform::MonotonicNs();
  std::thread writer([&] { WriteAll(from, payload, give_up_ms); });

  std::vector<uint8_t> buffer(64 * 1024);
  while (result.received.size() < payload.size() && clock.NowMs() < give_up_ms) {
    const platform::IoResult r = to.Read(buffer.data(), buffer.size());
    if (!r.ok()) break;
    if (r.count == 0) {
      clock.SleepUntilInput(to, kReadWaitMs);
      continue;
    }
    const uint64_t now = platform::MonotonicNs();
    if (result.first_ns == 0) {
      result.first_ns = now;
      result.first_count = r.count;
    }
    result.last_ns = now;
    result.received.insert(result.received.end(), buffer.begin(),
                           buffer.begin() + static_cast<long>(r.count));
  }
  writer.join();
  return result;
}

double MeasuredRate(const ProbeResult& result) {
  if (result.last_ns <= result.first_ns) return 0;
  const double bytes = static_cast<double>(result.received.size() - result.first_count);
  return bytes * 1e9 / static_cast<double>(result.last_ns - result.first_ns);
}

}  // namespace flashkit::bench
