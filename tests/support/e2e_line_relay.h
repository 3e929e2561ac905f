#pragma once

#include <atomic>
#include <cstdint>
#include <string>
#include <thread>

namespace flashkit::testing {

// Carries bytes between a program and a COM line through a socket pair.
//
// lrzsz's receivers end by writing their last ACK and exiting at once; on the
// way out they flush their terminal (TCIOFLUSH), and on a pseudo-terminal
// that throws away whatever the simulator on the master side has not taken
// yet, so the sender waits for an ACK that never comes. Given a socket, the
// program's flush does nothing and the relay delivers every byte it wrote.
class E2eLineRelay {
 public:
  explicit E2eLineRelay(const std::string& line_path);
  ~E2eLineRelay();
  E2eLineRelay(const E2eLineRelay&) = delete;
  E2eLineRelay& operator=(const E2eLineRelay&) = delete;

  bool ok() const { return thread_.joinable(); }
  const std::string& error() const { return error_; }
  // The program's standard input and output.
  int program_end() const { return theirs_; }
  // Once the program runs, the relay keeps no copy of its end, so the
  // program's exit shows as the end of its output.
  void ProgramStarted();
  // Waits until the program has gone and all it wrote is on the line.
  bool WaitDrained(uint32_t timeout_ms) const;

 private:
  void Run();

  int line_ = -1;
  int ours_ = -1;
  int theirs_ = -1;
  std::string error_;
  std::atomic<bool> stop_{false};
  std::atomic<bool> drained_{false};
  std::thread thread_;
};

}  // namespace flashkit::testing
