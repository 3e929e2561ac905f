#pragma once

#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "tests/support/child_process.h"
#include "tests/support/e2e_sandbox.h"

namespace flashkit::testing {

// A program run by an end-to-end test, with its outputs kept in the
// sandbox's logs folder and the namespace root in its environment.
class E2eProgram {
 public:
  // `launch.argv`, `work_dir` and the line settings come from the caller; the
  // output files and the environment are filled in here.
  E2eProgram(E2eSandbox& sandbox, const std::string& label, ChildLaunch launch);
  ~E2eProgram();

  bool started() const { return child_->started(); }
  bool Running() const { return child_->Running(); }
  std::string Out() const;  // empty when stdout is a line
  std::string Err() const;
  // Waits until standard output (or error) holds `text`; false after
  // `timeout_ms` or when the program ended without it.
  bool WaitForOut(const std::string& text, uint32_t timeout_ms) const;
  bool WaitForErr(const std::string& text, uint32_t timeout_ms) const;
  // Waits for the end; a program still running after `timeout_ms` is killed
  // and nothing is returned.
  std::optional<ExitStatus> Finish(uint32_t timeout_ms);
  // SIGTERM, then SIGKILL if it does not go.
  void Stop();
  // `signal` now, without waiting for the end (a user's Ctrl-C).
  void Signal(int signal);
  // The command and what it printed, for failure messages.
  std::string Diagnostics() const;

 private:
  bool WaitFor(const std::string& path, const std::string& text, uint32_t timeout_ms) const;

  std::string command_;
  std::string out_path_;
  std::string err_path_;
  std::unique_ptr<ChildProcess> child_;
};

// flashkit with `args`, working in the sandbox's host folder.
std::unique_ptr<E2eProgram> StartFlashkit(E2eSandbox& sandbox, const std::vector<std::string>& args);

// The folder with linkxfer and devsim.
std::string ProgramPath(const std::string& name);

// linkxfer with `args`, working in `work_dir` (default: the sandbox's host
// folder).
std::unique_ptr<E2eProgram> StartLinkxfer(E2eSandbox& sandbox, const std::vector<std::string>& args,
                                          const std::string& work_dir = "");

// The SHA-256 of a file as coreutils computes it, independent of the
// simulator's own; empty when it cannot be had.
std::string Sha256Sum(E2eSandbox& sandbox, const std::string& path);

// Waits for the program at the other end to end, and expects it to have
// given up, saying `says` on its standard error: the cancel reached it.
void ExpectGaveUp(E2eProgram& peer, const std::string& says, uint32_t timeout_ms);

// Progress lines rewrite themselves with carriage returns; for messages.
std::string Printable(const std::string& text, size_t limit = 4000);

}  // namespace flashkit::testing
