#include <algorithm>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
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
// Plain decimal values this long fit 32 bits and must come through as written.
constexpr size_t kMaxPlainDigits = 9;
// Milliseconds from here on are saturated, not converted.
constexpr uint64_t kSaturatedMs = uint64_t{UINT32_MAX} / 1000 * 1000;

struct NumberOption {
  std::string_view prefix;
  uint32_t Options::*field;
  uint32_t scale;  // seconds are kept in milliseconds
};

constexpr NumberOption kNumberOptions[] = {
    {"-b", &Options::baud, 1},
    {"-p", &Options::port, 1},
    {"-t", &Options::timeout_ms, 1000},
    {"-lt", &Options::log_timeout_ms, 1000},
};

bool PlainDigits(std::string_view text) {
  return !text.empty() && text.size() <= kMaxPlainDigits &&
         std::all_of(text.begin(), text.end(), [](char c) { return c >= '0' && c <= '9'; });
}

// The last plain decimal value given to each number option is the one kept.
void CheckNumbers(const Options& options, const std::vector<std::string>& arguments) {
  // A quoted argument loses its quotes before it is read; leave those lines be.
  for (const std::string& argument : arguments) {
    if (argument.starts_with('"')) return;
  }
  for (const NumberOption& number : kNumberOptions) {
    std::optional<uint64_t> last;
    for (size_t i = 1; i < arguments.size(); ++i) {
      const std::string_view argument = arguments[i];
      if (!argument.starts_with(number.prefix)) continue;
      // "-lt" is not "-l..." for "-t", and "-t" never starts "-lt".
      const std::string_view value = argument.substr(number.prefix.size());
      last = PlainDigits(value) ? std::optional<uint64_t>(std::stoull(std::string(value)))
                                : std::nullopt;
    }
    if (!last || *last * number.scale >= kSaturatedMs) continue;
    CheckThat(options.*number.field == *last * number.scale, "a plain number is kept as written");
  }
}

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
  CheckNumbers(options, arguments);
}

}  // namespace flashkit::fuzz
