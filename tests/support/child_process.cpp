#include "tests/support/child_process.h"

#include <fcntl.h>
#include <signal.h>
#include <spawn.h>
#include <string.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <map>

#include "tests/support/e2e_sandbox.h"

extern char** environ;

namespace flashkit::testing {
namespace {

std::vector<std::string> ChildEnvironment(const ChildSpec& spec) {
  std::map<std::string, std::string> merged;
  for (char** entry = environ; *entry != nullptr; ++entry) {
    const std::string text = *entry;
    const size_t equals = text.find('=');
    if (equals != std::string::npos) merged[text.substr(0, equals)] = text.substr(equals + 1);
  }
  for (const auto& [name, value] : spec.env) merged[name] = value;
  std::vector<std::string> out;
  for (const auto& [name, value] : merged) out.push_back(name + "=" + value);
  return out;
}

std::vector<char*> Pointers(std::vector<std::string>& texts) {
  std::vector<char*> out;
  for (std::string& text : texts) out.push_back(text.data());
  out.push_back(nullptr);
  return out;
}

const char* OrNull(const std::string& path) { return path.empty() ? "/dev/null" : path.c_str(); }

// The file actions that give the child its standard descriptors and folder.
class SpawnActions {
 public:
  explicit SpawnActions(const ChildSpec& spec) {
    posix_spawn_file_actions_init(&actions_);
    constexpr int kOut = O_WRONLY | O_CREAT | O_TRUNC;
    if (spec.line_fd >= 0) {
      posix_spawn_file_actions_adddup2(&actions_, spec.line_fd, 0);
      posix_spawn_file_actions_adddup2(&actions_, spec.line_fd, 1);
    } else if (!spec.line_path.empty()) {
      posix_spawn_file_actions_addopen(&actions_, 0, spec.line_path.c_str(), O_RDWR | O_NOCTTY, 0);
      posix_spawn_file_actions_adddup2(&actions_, 0, 1);
    } else {
      posix_spawn_file_actions_addopen(&actions_, 0, "/dev/null", O_RDONLY, 0);
      posix_spawn_file_actions_addopen(&actions_, 1, OrNull(spec.stdout_path), kOut, 0644);
    }
    posix_spawn_file_actions_addopen(&actions_, 2, OrNull(spec.stderr_path), kOut, 0644);
    if (!spec.work_dir.empty()) {
      posix_spawn_file_actions_addchdir_np(&actions_, spec.work_dir.c_str());
    }
  }
  ~SpawnActions() { posix_spawn_file_actions_destroy(&actions_); }
  const posix_spawn_file_actions_t* get() const { return &actions_; }

 private:
  posix_spawn_file_actions_t actions_;
};

}  // namespace

std::string ExitStatus::Describe() const {
  if (signal != 0) return "killed by signal " + std::to_string(signal);
  return "exit status " + std::to_string(code);
}

ChildProcess::ChildProcess(const ChildSpec& spec) {
  if (spec.argv.empty()) {
    error_ = "no program given";
    return;
  }
  std::vector<std::string> args = spec.argv;
  std::vector<std::string> env = ChildEnvironment(spec);
  const std::vector<char*> argv = Pointers(args);
  const std::vector<char*> envp = Pointers(env);
  const SpawnActions actions(spec);
  pid_t pid = -1;
  const int rc = posix_spawn(&pid, argv[0], actions.get(), nullptr, argv.data(), envp.data());
  if (rc != 0) {
    error_ = "cannot start " + spec.argv[0] + ": " + strerror(rc);
    return;
  }
  pid_ = pid;
}

ChildProcess::~ChildProcess() {
  if (started()) Stop(SIGKILL, 0);
}

bool ChildProcess::Reap(bool block) {
  if (status_ || !started()) return true;
  int raw = 0;
  pid_t got;
  do {
    got = waitpid(pid_, &raw, block ? 0 : WNOHANG);
  } while (got < 0 && errno == EINTR);
  if (got == 0) return false;
  ExitStatus status;
  if (got == pid_ && WIFEXITED(raw)) status.code = WEXITSTATUS(raw);
  if (got == pid_ && WIFSIGNALED(raw)) status.signal = WTERMSIG(raw);
  status_ = status;
  return true;
}

bool ChildProcess::Running() { return started() && !Reap(false); }

std::optional<ExitStatus> ChildProcess::Wait(uint32_t timeout_ms) {
  if (!started()) return std::nullopt;
  if (!WaitUntil([this] { return Reap(false); }, timeout_ms)) return std::nullopt;
  return status_;
}

ExitStatus ChildProcess::Stop(int signal, uint32_t grace_ms) {
  if (!started()) return {};
  if (!Reap(false)) {
    kill(pid_, signal);
    if (!Wait(grace_ms)) {
      kill(pid_, SIGKILL);
      Reap(true);
    }
  }
  return *status_;
}

}  // namespace flashkit::testing
