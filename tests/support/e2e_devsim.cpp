#include "tests/support/e2e_devsim.h"

#include <signal.h>

#include <sstream>

namespace flashkit::testing {
namespace {

// devsim under the sanitizers takes a moment to start on a busy machine.
constexpr uint32_t kReadyLimitMs = 15000;
constexpr uint32_t kStopGraceMs = 5000;

bool IsEvent(const std::string& line, const std::string& event) {
  return line.find("\"event\":\"" + event + "\"") != std::string::npos;
}

}  // namespace

std::string ProgramPath(const std::string& name) {
  return std::string(FLASHKIT_BIN_DIR) + "/" + name;
}

E2eDevsim::E2eDevsim(E2eSandbox& sandbox, const std::vector<std::string>& args)
    : out_path_(sandbox.LogPath("devsim.jsonl")), err_path_(sandbox.LogPath("devsim.err")) {
  ChildSpec spec;
  spec.argv.push_back(ProgramPath("devsim"));
  spec.argv.insert(spec.argv.end(), args.begin(), args.end());
  spec.env = sandbox.ChildEnv();
  spec.work_dir = sandbox.root().string();
  spec.stdout_path = out_path_;
  spec.stderr_path = err_path_;
  child_ = std::make_unique<ChildProcess>(spec);
}

bool E2eDevsim::WaitReady() {
  if (!child_->started()) return false;
  WaitUntil([&] { return !child_->Running() || WaitForEvent("ready", 0).has_value(); },
            kReadyLimitMs);
  return WaitForEvent("ready", 0).has_value();
}

E2eDevsim::~E2eDevsim() { Stop(); }

std::vector<std::string> E2eDevsim::Events() const {
  std::istringstream in(ReadText(out_path_));
  std::vector<std::string> lines;
  for (std::string line; std::getline(in, line);) lines.push_back(line);
  return lines;
}

std::optional<std::string> E2eDevsim::WaitForEvent(const std::string& event, uint32_t timeout_ms,
                                                   const std::string& also) const {
  std::optional<std::string> found;
  WaitUntil(
      [&] {
        for (const std::string& line : Events()) {
          if (IsEvent(line, event) && line.find(also) != std::string::npos) {
            found = line;
            return true;
          }
        }
        return false;
      },
      timeout_ms);
  return found;
}

ExitStatus E2eDevsim::Stop() { return child_->Stop(SIGTERM, kStopGraceMs); }

std::string E2eDevsim::Diagnostics() const {
  if (!child_->started()) return child_->error();
  return "devsim events:\n" + ReadText(out_path_) + "devsim stderr:\n" + ReadText(err_path_);
}

std::optional<std::string> EventField(const std::string& line, const std::string& field) {
  const std::string key = "\"" + field + "\":";
  const size_t at = line.find(key);
  if (at == std::string::npos) return std::nullopt;
  size_t start = at + key.size();
  if (start < line.size() && line[start] == '"') {
    const size_t end = line.find('"', start + 1);
    if (end == std::string::npos) return std::nullopt;
    return line.substr(start + 1, end - start - 1);
  }
  const size_t end = line.find_first_of(",}", start);
  return line.substr(start, end == std::string::npos ? std::string::npos : end - start);
}

}  // namespace flashkit::testing
