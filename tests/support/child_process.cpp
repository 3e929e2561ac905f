#include "tests/support/child_process.h"

#include <fcntl.h>
#include <signal.h>
#include <string.h>
#include <sys/prctl.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <map>

#include "tests/support/e2e_sandbox.h"

extern char** environ;

namespace flashkit::testing {
namespace {

std::vector<std::string> ChildEnvironment(const ChildLaunch& launch) {
  std::map<std::string, std::string> merged;
  for (char** entry = environ; *entry != nullptr; ++entry) {
    const std::string text = *entry;
    const size_t equals = text.find('=');
    if (equals != std::string::npos) merged[text.substr(0, equals)] = text.substr(equals + 1);
  }
  for (const auto& [name, value] : launch.env) merged[name] = value;
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

// Only async-signal-safe calls between fork and exec: the test may run
// threads (relays). A failure is reported through `report` as an errno.
[[noreturn]] void BecomeChild(const ChildLaunch& launch, pid_t parent, int report,
                              char* const argv[], char* const envp[]) {
  // A test process that dies (a time-out kill) takes its children along.
  prctl(PR_SET_PDEATHSIG, SIGTERM);
  if (getppid() != parent) _exit(127);
  constexpr int kOut = O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC;
  bool ok = true;
  auto open_as = [&ok](int target, const char* path, int flags) {
    const int fd = open(path, flags, 0644);
    ok = ok && fd >= 0 && dup2(fd, target) == target;
    // dup2 onto itself keeps close-on-exec.
    if (fd == target) fcntl(fd, F_SETFD, 0);
  };
  if (launch.line_fd >= 0) {
    ok = dup2(launch.line_fd, 0) == 0 && dup2(launch.line_fd, 1) == 1;
  } else if (!launch.line_path.empty()) {
    open_as(0, launch.line_path.c_str(), O_RDWR | O_NOCTTY | O_CLOEXEC);
    ok = ok && dup2(0, 1) == 1;
  } else {
    open_as(0, "/dev/null", O_RDONLY | O_CLOEXEC);
    open_as(1, OrNull(launch.stdout_path), kOut);
  }
  open_as(2, OrNull(launch.stderr_path), kOut);
  if (ok && !launch.work_dir.empty()) ok = chdir(launch.work_dir.c_str()) == 0;
  if (ok) execve(argv[0], argv, envp);
  const int error = errno;
  (void)!write(report, &error, sizeof error);
  _exit(127);
}

}  // namespace

std::string ExitStatus::Describe() const {
  if (signal != 0) return "killed by signal " + std::to_string(signal);
  return "exit status " + std::to_string(code);
}

ChildProcess::ChildProcess(const ChildLaunch& launch) {
  if (launch.argv.empty()) {
    error_ = "no program given";
    return;
  }
  std::vector<std::string> args = launch.argv;
  std::vector<std::string> env = ChildEnvironment(launch);
  const std::vector<char*> argv = Pointers(args);
  const std::vector<char*> envp = Pointers(env);
  int report[2];
  if (pipe2(report, O_CLOEXEC) != 0) {
    error_ = std::string("cannot make a pipe: ") + strerror(errno);
    return;
  }
  const pid_t parent = getpid();
  const pid_t pid = fork();
  if (pid == 0) BecomeChild(launch, parent, report[1], argv.data(), envp.data());
  close(report[1]);
  int child_error = 0;
  ssize_t got;
  do {
    got = read(report[0], &child_error, sizeof child_error);
  } while (got < 0 && errno == EINTR);
  close(report[0]);
  if (pid < 0) {
    error_ = std::string("cannot fork: ") + strerror(errno);
    return;
  }
  pid_ = pid;
  if (got > 0) {
    error_ = "cannot start " + launch.argv[0] + ": " + strerror(child_error);
    Reap(true);
    pid_ = -1;
  }
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
