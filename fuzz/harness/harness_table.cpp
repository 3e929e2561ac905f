#include <cstdio>
#include <cstdlib>

#include "fuzz/harness/harnesses.h"
#include "ports/status.h"

namespace flashkit::fuzz {

namespace {

constexpr Harness kHarnesses[] = {
    {"receiver", RunReceiver},
    {"header", RunHeader},
    {"sender", RunSender},
    {"command_line", RunCommandLine},
    {"handshake", RunHandshake},
    {"mcu_bootloader", RunMcuBootloader},
    {"usb_download", RunUsbDownload},
};

// Status codes come in groups of a hundred, from the port's to the process's.
constexpr int32_t kHighestCode = status::kPortError;
constexpr int32_t kLowestCode = -599;

}  // namespace

std::span<const Harness> Harnesses() { return kHarnesses; }

void CheckThat(bool holds, const char* what) {
  if (holds) return;
  std::fprintf(stderr, "broken promise: %s\n", what);
  std::abort();
}

bool IsKnownResult(int32_t result) {
  return result >= 0 || (result >= kLowestCode && result <= kHighestCode);
}

}  // namespace flashkit::fuzz
