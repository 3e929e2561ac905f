#pragma once

#include <cstdint>
#include <filesystem>
#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "console/console_context.h"
#include "console/options.h"
#include "console/process_exit.h"
#include "tests/support/captured_out.h"
#include "tests/support/virtual_clock.h"

namespace flashkit::testing {

// Standard output or error, also noting in one shared log which stream got
// what, so the order across the two can be checked.
class StreamOut : public CapturedOut {
 public:
  StreamOut(std::vector<std::pair<char, std::string>>& log, char tag) : log_(log), tag_(tag) {}
  void Print(std::string_view text) override {
    CapturedOut::Print(text);
    log_.emplace_back(tag_, std::string(text));
  }

 private:
  std::vector<std::pair<char, std::string>>& log_;
  char tag_;
};

struct ConsoleHarness {
  ConsoleHarness() { options.program_name = "linkxfer"; }

  // Runs `body`; the exit status when it ended the run, nothing when it
  // returned.
  template <typename Body>
  std::optional<int32_t> ExitOf(Body&& body) {
    try {
      body();
    } catch (const ProcessExit& exit) {
      return exit.status;
    }
    return std::nullopt;
  }

  Options options;
  VirtualClock clock;
  std::vector<std::pair<char, std::string>> order;  // 'o' standard output, 'e' standard error
  StreamOut out{order, 'o'};
  StreamOut err{order, 'e'};
  ConsoleContext context{options, out, err, clock};
};

// A fresh folder under the system's temporary folder, removed afterwards.
class TempDir {
 public:
  TempDir();
  ~TempDir();
  const std::filesystem::path& path() const { return path_; }
  std::filesystem::path operator/(const std::string& name) const { return path_ / name; }

 private:
  std::filesystem::path path_;
};

// Makes `dir` the working folder for the scope.
class ScopedWorkingDir {
 public:
  explicit ScopedWorkingDir(const std::filesystem::path& dir);
  ~ScopedWorkingDir();

 private:
  std::filesystem::path previous_;
};

// A data row's name as a test name: letters and digits, the rest '_'.
std::string RowName(std::string_view name);

void WriteFile(const std::filesystem::path& path, const std::string& content);
std::string ReadFile(const std::filesystem::path& path);

}  // namespace flashkit::testing
