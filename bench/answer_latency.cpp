// How long a one-byte answer takes from the line to the caller that waits for
// it. A device thread on a pseudo-terminal's master answers every byte at
// once; the host writes one byte and waits for the answer, again and again:
//   ring    flashpanel's SerialPort (reader thread, ring, PauseForInput), as
//           the bootloader client waits for an ACK
//   direct  one blocking wait on the line and a read, as stm32flash waits
// The two take turns, trip by trip, each on a pseudo-terminal of its own.
// Prints the round trip's median, 90th and 99th percentile in microseconds and
// the calling thread's CPU time per round trip.
//   answer_latency [ROUND_TRIPS]

#include <time.h>

#include <algorithm>
#include <atomic>
#include <cstdio>
#include <cstdlib>
#include <functional>
#include <string>
#include <thread>
#include <vector>

#include "gui/links/message_boxes.h"
#include "gui/links/serial_port.h"
#include "platform/device_system.h"
#include "platform/poller.h"
#include "platform/pseudo_terminal.h"
#include "platform/serial_line.h"

namespace {

using flashkit::platform::MonotonicNs;

class PrintedBoxes : public flashkit::MessageBoxes {
 public:
  void Show(const std::string& text, flashkit::BoxIcon) override {
    std::fprintf(stderr, "box %s\n", text.c_str());
  }
};

// Answers every byte that arrives on either line with the same byte, until
// stopped.
void Answer(flashkit::platform::Device& ring_end, flashkit::platform::Device& direct_end,
            const std::atomic<bool>& stop) {
  flashkit::platform::Poller poller;
  flashkit::platform::Device* ends[] = {&ring_end, &direct_end};
  for (flashkit::platform::Device* end : ends) poller.Add(end->Id());
  uint8_t buffer[64];
  while (!stop) {
    if (poller.Wait(MonotonicNs() + 100'000'000) <= 0) continue;
    for (size_t i = 0; i < 2; ++i) {
      if (!poller.Ready(i)) continue;
      const flashkit::platform::IoResult got = ends[i]->Read(buffer, sizeof buffer);
      if (got.count > 0) ends[i]->Write(buffer, got.count);
    }
  }
}

double ThreadCpuUs() {
  timespec t{};
  clock_gettime(CLOCK_THREAD_CPUTIME_ID, &t);
  return static_cast<double>(t.tv_sec) * 1e6 + static_cast<double>(t.tv_nsec) / 1e3;
}

struct Trips {
  const char* name;
  std::function<bool()> trip;
  std::vector<double> us;
};

void Print(Trips& trips) {
  std::vector<double>& us = trips.us;
  std::sort(us.begin(), us.end());
  auto at = [&](double q) { return us[static_cast<size_t>(q * static_cast<double>(us.size() - 1))]; };
  std::printf("%-7s median %7.1f us  p90 %7.1f us  p99 %7.1f us\n", trips.name, at(0.5), at(0.9), at(0.99));
}

}  // namespace

int main(int argc, char** argv) {
  const int count = argc > 1 ? std::atoi(argv[1]) : 5000;
  flashkit::platform::PseudoTerminal ring_pty = flashkit::platform::OpenPseudoTerminal();
  flashkit::platform::PseudoTerminal direct_pty = flashkit::platform::OpenPseudoTerminal();
  if (!ring_pty.master || !direct_pty.master) {
    std::fprintf(stderr, "answer_latency: no pseudo-terminal\n");
    return 1;
  }
  PrintedBoxes boxes;
  flashkit::SerialPort port(flashkit::platform::RealSystem(), boxes);
  port.SetPath(ring_pty.slave_path);
  port.SetParams(0, 115200, 8, 0, 2);
  if (port.Open() != 1) {
    std::fprintf(stderr, "answer_latency: %s\n", port.OpenFailureText().c_str());
    return 1;
  }
  flashkit::platform::Opened<flashkit::platform::SerialLine> line =
      flashkit::platform::OpenSerialLine(direct_pty.slave_path);
  if (!line.device) {
    std::fprintf(stderr, "answer_latency: the second line did not open\n");
    return 1;
  }
  line.device->SetReadsReturnAtOnce();
  flashkit::platform::Poller poller;
  poller.Add(line.device->Id());

  std::atomic<bool> stop{false};
  std::thread device(Answer, std::ref(*ring_pty.master), std::ref(*direct_pty.master), std::cref(stop));
  const uint8_t byte = 0x79;
  Trips ring{"ring", [&] {
               port.Write(&byte, 1);
               uint8_t answer = 0;
               for (int idle = 0; idle < 1000; ++idle) {
                 if (port.TakeByte(&answer) != 0) return true;
                 port.PauseForInput(1);
               }
               return false;
             }, {}};
  Trips direct{"direct", [&] {
                 line.device->Write(&byte, 1);
                 uint8_t answer = 0;
                 const uint64_t deadline = MonotonicNs() + 1'000'000'000;
                 while (MonotonicNs() < deadline) {
                   if (poller.Wait(deadline) < 0) return false;
                   if (line.device->Read(&answer, 1).count == 1) return true;
                 }
                 return false;
               }, {}};

  // Trip by trip in turn, so a machine busy with something else weighs on
  // both alike.
  double cpu_us[2] = {0, 0};
  Trips* both[] = {&ring, &direct};
  int status = 0;
  for (int i = 0; i < count && status == 0; ++i) {
    for (size_t k = 0; k < 2; ++k) {
      const double cpu0 = ThreadCpuUs();
      const uint64_t t0 = MonotonicNs();
      if (!both[k]->trip()) {
        std::printf("%s FAILED at round trip %d\n", both[k]->name, i);
        status = 1;
        break;
      }
      both[k]->us.push_back(static_cast<double>(MonotonicNs() - t0) / 1e3);
      cpu_us[k] += ThreadCpuUs() - cpu0;
    }
  }
  stop = true;
  device.join();
  port.Close();
  line.device->Close();
  if (status != 0) return status;
  std::printf("%d round trips each, taking turns\n", count);
  Print(ring);
  Print(direct);
  std::printf("caller's cpu per trip: ring %.1f us, direct %.1f us\n", cpu_us[0] / count, cpu_us[1] / count);
  return 0;
}
