#pragma once

#include <sys/types.h>

#include <cstdint>
#include <optional>
#include <string>
#include <utility>
#include <vector>

namespace flashkit::testing {

// How a test starts a program. Standard input is /dev/null unless a line or a
// descriptor takes the place of both input and output.
struct ChildLaunch {
  std::vector<std::string> argv;  // argv[0] is the program's path
  // Added to (or replacing entries of) the test's own environment, for the
  // child only.
  std::vector<std::pair<std::string, std::string>> env;
  std::string work_dir;     // empty: the test's own
  std::string line_path;    // opened read-write, no controlling tty, as stdin and stdout
  int line_fd = -1;         // or this descriptor as stdin and stdout
  std::string stdout_path;  // created or truncated; empty: /dev/null
  std::string stderr_path;
};

// How a child ended, as a shell sees it.
struct ExitStatus {
  int code = -1;   // 0..255 when it exited
  int signal = 0;  // the signal that ended it, or 0
  std::string Describe() const;
};

// One started program. The destructor ends it if it still runs, so a failed
// test leaves nothing behind.
class ChildProcess {
 public:
  // Starts the program; on failure `started()` is false and `error()` says why.
  explicit ChildProcess(const ChildLaunch& launch);
  ~ChildProcess();
  ChildProcess(const ChildProcess&) = delete;
  ChildProcess& operator=(const ChildProcess&) = delete;

  bool started() const { return pid_ > 0; }
  const std::string& error() const { return error_; }
  pid_t pid() const { return pid_; }

  // Waits at most `timeout_ms` for the end; nothing while it still runs.
  std::optional<ExitStatus> Wait(uint32_t timeout_ms);
  bool Running();
  // Asks it to stop with `signal`, waits up to `grace_ms`, then kills it.
  ExitStatus Stop(int signal, uint32_t grace_ms);

 private:
  bool Reap(bool block);

  pid_t pid_ = -1;
  std::optional<ExitStatus> status_;
  std::string error_;
};

}  // namespace flashkit::testing
