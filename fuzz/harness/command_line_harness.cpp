#include <string>
#include <vector>

#include "console/command_line.h"
#include "console/console_context.h"
#include "console/process_exit.h"
#include "fuzz/harness/harnesses.h"
#include "fuzz/harness/null_out.h"
#include "tests/support/virtual_clock.h"

namespace flashkit::fuzz {
namespace {

constexpr size_t kMaxArguments = 64;

}  // namespace

void RunCommandLine(const uint8_t* data, size_t size) {
  // argv[0] and then one argument per zero-separated piece of the input.
  std::vector<std::string> arguments{"linkxfer"};
  std::string piece;
  for (size_t i = 0; i < size && arguments.size() < kMaxArguments; ++i) {
    if (data[i] == 0) {
      arguments.push_back(piece);
      piece.clear();
    } else {
      piece.push_back(static_cast<char>(data[i]));
    }
  }
  if (!piece.empty() && arguments.size() < kMaxArguments) arguments.push_back(piece);
  std::vector<const char*> argv;
  for (const std::string& argument : arguments) argv.push_back(argument.c_str());

  Options options;
  NullOut out;
  NullOut err;
  testing::VirtualClock clock;
  ConsoleContext console{options, out, err, clock};
  try {
    ParseCommandLine(console, static_cast<int>(argv.size()), argv.data());
  } catch (const ProcessExit& exit) {
    // The usage summary (0) or a usage error (1) and nothing else.
    CheckThat(exit.status == 0 || exit.status == 1, "the command line ends with 0 or 1");
    return;
  }
  CheckThat(options.log_stop_length <= kMaxLogStop, "the termination string fits its field");
  CheckThat(!options.file2 || options.file1, "a second file comes after a first");
}

}  // namespace flashkit::fuzz
