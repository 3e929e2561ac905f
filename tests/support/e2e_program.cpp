#include "tests/support/e2e_program.h"

#include <gtest/gtest.h>
#include <signal.h>


namespace flashkit::testing {
namespace {

constexpr uint32_t kStopGraceMs = 2000;

}  // namespace

E2eProgram::E2eProgram(E2eSandbox& sandbox, const std::string& label, ChildLaunch launch) {
  for (const std::string& arg : launch.argv) command_ += (command_.empty() ? "" : " ") + arg;
  const bool line = launch.line_fd >= 0 || !launch.line_path.empty();
  if (!line) out_path_ = sandbox.LogPath(label + ".out");
  err_path_ = sandbox.LogPath(label + ".err");
  launch.stdout_path = out_path_;
  launch.stderr_path = err_path_;
  const auto env = sandbox.ChildEnv();
  launch.env.insert(launch.env.end(), env.begin(), env.end());
  child_ = std::make_unique<ChildProcess>(launch);
}

E2eProgram::~E2eProgram() { Stop(); }

std::string E2eProgram::Out() const { return out_path_.empty() ? "" : ReadText(out_path_); }

std::string E2eProgram::Err() const { return ReadText(err_path_); }

bool E2eProgram::WaitFor(const std::string& path, const std::string& text,
                         uint32_t timeout_ms) const {
  if (path.empty()) return false;
  bool found = false;
  WaitUntil(
      [&] {
        found = ReadText(path).find(text) != std::string::npos;
        return found || !child_->Running();
      },
      timeout_ms);
  // It may have printed the text just before it ended.
  return found || ReadText(path).find(text) != std::string::npos;
}

bool E2eProgram::WaitForOut(const std::string& text, uint32_t timeout_ms) const {
  return WaitFor(out_path_, text, timeout_ms);
}

bool E2eProgram::WaitForErr(const std::string& text, uint32_t timeout_ms) const {
  return WaitFor(err_path_, text, timeout_ms);
}

std::optional<ExitStatus> E2eProgram::Finish(uint32_t timeout_ms) {
  if (!child_->started()) return std::nullopt;
  std::optional<ExitStatus> status = child_->Wait(timeout_ms);
  if (!status) child_->Stop(SIGKILL, 0);
  return status;
}

void E2eProgram::Stop() { child_->Stop(SIGTERM, kStopGraceMs); }

void E2eProgram::Signal(int signal) {
  if (child_->started()) ::kill(child_->pid(), signal);
}

std::string E2eProgram::Diagnostics() const {
  if (!child_->started()) return child_->error();
  return "$ " + command_ + "\nstdout: " + Printable(Out()) + "\nstderr: " + Printable(Err()) + "\n";
}

std::string ProgramPath(const std::string& name) {
  return std::string(FLASHKIT_BIN_DIR) + "/" + name;
}

std::unique_ptr<E2eProgram> StartLinkxfer(E2eSandbox& sandbox, const std::vector<std::string>& args,
                                          const std::string& work_dir) {
  ChildLaunch launch;
  launch.argv.push_back(ProgramPath("linkxfer"));
  launch.argv.insert(launch.argv.end(), args.begin(), args.end());
  launch.work_dir = work_dir.empty() ? sandbox.host().string() : work_dir;
  return std::make_unique<E2eProgram>(sandbox, "linkxfer", launch);
}

std::unique_ptr<E2eProgram> StartFlashkit(E2eSandbox& sandbox, const std::vector<std::string>& args) {
  ChildLaunch launch;
  launch.argv.push_back(ProgramPath("flashkit"));
  launch.argv.insert(launch.argv.end(), args.begin(), args.end());
  launch.work_dir = sandbox.host().string();
  return std::make_unique<E2eProgram>(sandbox, "flashkit", launch);
}

std::string Sha256Sum(E2eSandbox& sandbox, const std::string& path) {
  constexpr uint32_t kSumLimitMs = 30000;
  ChildLaunch launch;
  launch.argv = {"/usr/bin/sha256sum", path};
  E2eProgram sum(sandbox, "sha256sum", launch);
  if (!sum.Finish(kSumLimitMs)) return "";
  return sum.Out().substr(0, 64);
}

std::string Printable(const std::string& text, size_t limit) {
  std::string out;
  for (char c : text) {
    if (c == '\r') {
      out += "\\r";
    } else {
      out += c;
    }
  }
  // The waiting display alone repeats a line a thousand times.
  if (out.size() > limit) {
    out = out.substr(0, limit / 2) + "\n[...]\n" + out.substr(out.size() - limit / 2);
  }
  return out;
}

void ExpectGaveUp(E2eProgram& peer, const std::string& says, uint32_t timeout_ms) {
  const std::optional<ExitStatus> status = peer.Finish(timeout_ms);
  ASSERT_TRUE(status) << peer.Diagnostics();
  EXPECT_NE(status->code, 0) << peer.Diagnostics();
  EXPECT_NE(peer.Err().find(says), std::string::npos) << peer.Diagnostics();
}

}  // namespace flashkit::testing
