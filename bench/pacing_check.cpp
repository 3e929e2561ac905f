// Measures how fast bytes cross a simulated line (devsim wire, already
// running) and compares it with the line rate: writes a burst into one COM
// port, timestamps the bytes as they come out of the other, and prints the
// measured character rate beside baud / bits. Exit status 0 when the two
// agree within the tolerance, 1 when not, 2 when the run failed. Timing
// depends on the machine's load, so this is a benchmark, not a test.
#include <algorithm>
#include <charconv>
#include <cmath>
#include <cstdio>
#include <string>
#include <string_view>
#include <vector>

#include "bench/wire_probe.h"
#include "platform/device_system.h"

namespace {

using flashkit::bench::MeasuredRate;
using flashkit::bench::ProbeResult;
using flashkit::bench::ProbeWire;

constexpr char kUsage[] =
    "usage: pacing_check [--from N] [--to N] [--baud B] [--bits N] [--bytes N] [--tolerance PCT]\n"
    "  Writes into COM<from> and reads from COM<to> (default 1 and 2) of a running\n"
    "  `devsim wire`; --bytes defaults to two seconds of line time, --tolerance to 1 %.\n";

struct Settings {
  double from = 1;
  double to = 2;
  double baud = 115200;
  double bits = 10;
  double bytes = 0;
  double tolerance_pct = 1.0;
};

struct OptionRow {
  std::string_view name;
  double Settings::*field;
  double min;
  double max;
};

constexpr OptionRow kOptions[] = {
    {"--from", &Settings::from, 1, 999},       {"--to", &Settings::to, 1, 999},
    {"--baud", &Settings::baud, 1, 1e8},       {"--bits", &Settings::bits, 1, 32},
    {"--bytes", &Settings::bytes, 1, 1 << 28}, {"--tolerance", &Settings::tolerance_pct, 0, 100},
};

bool Parse(int argc, char** argv, Settings* settings) {
  for (int i = 1; i < argc; ++i) {
    const std::string_view name = argv[i];
    const auto row = std::find_if(std::begin(kOptions), std::end(kOptions),
                                  [&](const OptionRow& r) { return r.name == name; });
    if (row == std::end(kOptions) || i + 1 >= argc) return false;
    const std::string_view text = argv[++i];
    double value = 0;
    const auto [end, ec] = std::from_chars(text.data(), text.data() + text.size(), value);
    if (ec != std::errc() || end != text.data() + text.size() || value < row->min ||
        value > row->max) {
      return false;
    }
    settings->*(row->field) = value;
  }
  return true;
}

std::string ComName(double number) { return "COM" + std::to_string(static_cast<unsigned>(number)); }

}  // namespace

int main(int argc, char** argv) {
  Settings s;
  if (!Parse(argc, argv, &s)) {
    std::fputs(kUsage, stderr);
    return 2;
  }
  const double line_rate = s.baud / s.bits;
  if (s.bytes == 0) s.bytes = std::ceil(line_rate * 2);
  const auto count = static_cast<size_t>(s.bytes);
  const double line_s = static_cast<double>(count) / line_rate;

  auto& system = flashkit::platform::RealSystem();
  auto from = system.OpenSerial(ComName(s.from));
  auto to = system.OpenSerial(ComName(s.to));
  if (!from.device || !to.device) {
    std::fprintf(stderr, "pacing_check: cannot open %s and %s\n", ComName(s.from).c_str(),
                 ComName(s.to).c_str());
    return 2;
  }

  // Every byte value, in an order a shifted or repeated stretch cannot match.
  std::vector<uint8_t> payload(count);
  for (size_t i = 0; i < count; ++i) payload[i] = static_cast<uint8_t>(i * 7 + i / 256);
  const auto limit_ms = static_cast<uint32_t>(line_s * 2000 + 5000);
  const ProbeResult result = ProbeWire(*from.device, *to.device, payload, limit_ms);

  if (result.received != payload) {
    std::printf("FAILED: %zu of %zu bytes arrived, or not in order\n", result.received.size(),
                count);
    return 2;
  }
  const double measured = MeasuredRate(result);
  const double error_pct = (measured - line_rate) / line_rate * 100;
  const double whole_s = static_cast<double>(result.last_ns - result.start_ns) / 1e9;
  std::printf("line rate        %12.1f chars/s  (%.0f baud, %.0f bits)\n", line_rate, s.baud, s.bits);
  std::printf("measured         %12.1f chars/s  (%+.2f %%)\n", measured, error_pct);
  std::printf("write to arrival %12.1f chars/s  (%zu bytes in %.3f s, line time %.3f s)\n",
              static_cast<double>(count) / whole_s, count, whole_s, line_s);
  return std::fabs(error_pct) <= s.tolerance_pct ? 0 : 1;
}
