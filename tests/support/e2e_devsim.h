#pragma once

#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "tests/support/e2e_program.h"
#include "tests/support/e2e_sandbox.h"

namespace flashkit::testing {

// One running devsim (board or wire) in a sandbox, with its event lines.
class E2eDevsim {
 public:
  // Starts `devsim <args>`.
  E2eDevsim(E2eSandbox& sandbox, const std::vector<std::string>& args);

  // Waits for its "ready" event; false when it did not come (see
  // `Diagnostics()`). Several devices can start side by side first.
  bool WaitReady();
  // Every event line so far.
  std::vector<std::string> Events() const;
  // Waits for the first event line of kind `event`; nothing after
  // `timeout_ms`.
  std::optional<std::string> WaitForEvent(const std::string& event, uint32_t timeout_ms) const;
  std::string Diagnostics() const { return program_.Diagnostics(); }
  // SIGTERM now, as a user stopping it (a USB device is unplugged).
  void Stop() { program_.Stop(); }

 private:
  E2eProgram program_;  // stopped with SIGTERM when the test ends
};

// A text field ("name":"x") or a number field ("size":12) of an event line;
// nothing when the line lacks it.
std::optional<std::string> EventField(const std::string& line, const std::string& field);

}  // namespace flashkit::testing
