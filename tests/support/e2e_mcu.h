#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "tests/support/e2e_devsim.h"
#include "tests/support/e2e_sandbox.h"

namespace flashkit::testing {

// devsim mcu's flash as its defaults make it.
inline constexpr uint32_t kMcuFlashBase = 0x08000000;
inline constexpr uint32_t kMcuFlashBytes = 128 * 1024;

// A devsim mcu on one COM port of a sandbox that dumps its flash when it
// stops.
class E2eMcu {
 public:
  E2eMcu(E2eSandbox& sandbox, unsigned com, const std::vector<std::string>& more_args = {});

  bool WaitReady() { return devsim_.WaitReady(); }
  // Stops devsim (SIGTERM) and returns the flash it dumped; empty when there
  // was none.
  Bytes StopAndDump();
  std::vector<std::string> Events() const { return devsim_.Events(); }
  std::string Diagnostics() const { return devsim_.Diagnostics(); }

 private:
  std::string dump_path_;
  E2eDevsim devsim_;
};

// The events of the kinds given, each as "<event> <address>" (or the event
// alone when it has no address): {"write 0x08008000", "go 0x08000000"}.
std::vector<std::string> McuTrail(const std::vector<std::string>& events,
                                  const std::vector<std::string>& kinds);

// How many events of `kind` there are.
size_t CountEvents(const std::vector<std::string>& events, const std::string& kind);

// Erased flash with `data` placed at each address.
Bytes FlashWith(const std::vector<std::pair<uint32_t, Bytes>>& placed);

}  // namespace flashkit::testing
