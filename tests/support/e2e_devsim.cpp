#include "tests/support/e2e_devsim.h"

#include <sstream>

namespace flashkit::testing {
namespace {

// devsim under the sanitizers takes a moment to start on a busy machine.
constexpr uint32_t kReadyLimitMs = 15000;

ChildLaunch DevsimLaunch(const E2eSandbox& sandbox, const std::vector<std::string>& args) {
  ChildLaunch launch;
  launch.argv.push_back(ProgramPath("devsim"));
  launch.argv.insert(launch.argv.end(), args.begin(), args.end());
  launch.work_dir = sandbox.root().string();
  return launch;
}

}  // namespace

E2eDevsim::E2eDevsim(E2eSandbox& sandbox, const std::vector<std::string>& args)
    : program_(sandbox, "devsim", DevsimLaunch(sandbox, args)) {}

bool E2eDevsim::WaitReady() {
  return program_.started() && WaitForEvent("ready", kReadyLimitMs).has_value();
}

std::vector<std::string> E2eDevsim::Events() const {
  std::istringstream in(program_.Out());
  std::vector<std::string> lines;
  for (std::string line; std::getline(in, line);) lines.push_back(line);
  return lines;
}

std::optional<std::string> E2eDevsim::WaitForEvent(const std::string& event,
                                                   uint32_t timeout_ms) const {
  const std::string key = "\"event\":\"" + event + "\"";
  std::optional<std::string> found;
  WaitUntil(
      [&] {
        for (const std::string& line : Events()) {
          if (line.find(key) != std::string::npos) {
            found = line;
            return true;
          }
        }
        return !program_.Running();
      },
      timeout_ms);
  return found;
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
