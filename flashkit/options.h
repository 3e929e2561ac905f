#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace flashkit::rack {

enum class Command { kList, kYmodem, kMcu, kUsb };
enum class Companion { kSearch, kFile, kNone };

// flashkit's command line, one subcommand and its options.
struct RackOptions {
  Command command = Command::kList;
  std::vector<std::string> ports;    // ymodem, mcu: -p, in the order given
  std::vector<std::string> devices;  // usb: -d
  bool all = false;
  std::optional<uint32_t> baud;
  std::string file;
  std::optional<std::string> json_file;  // downloads: --json FILE
  bool list_json = false;                // list --json
  std::string log_dir = ".";
  bool debug = false;
  // ymodem
  uint32_t timeout_s = 30;
  std::optional<std::string> announce_as;
  std::optional<std::string> expect;
  std::optional<uint32_t> within_s;  // with expect only; 10 when not given
  // mcu
  bool verify = false;
  Companion companion = Companion::kSearch;
  std::string companion_file;
  // usb
  bool run = true;  // --condition run (finish: false)
};

// What the command line asked for: options to run with, a text to print
// and leave (--help, --version), or a usage error with its message.
struct ParsedLine {
  enum class Kind { kRun, kHelp, kVersion, kUsageError } kind = Kind::kRun;
  RackOptions options;
  std::string text;  // kHelp: the usage; kUsageError: the message
};

// The number of a COM port named by its digits or its name ("3", "COM3",
// "com3"), 1 to 999; nothing for anything else.
std::optional<uint32_t> ComNumberOf(std::string_view text);

// argv as main has it.
ParsedLine ParseRackLine(int argc, char* const argv[]);

extern const char kRackUsage[];

}  // namespace flashkit::rack
