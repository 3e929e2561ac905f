#include "sim/devsim_options.h"

#include <algorithm>
#include <charconv>
#include <string_view>

namespace flashkit::sim {

const char kDevsimUsage[] =
    "usage: devsim board --com N [--baud B] [--bits 10] [--store DIR] [--no-request] [--once]\n"
    "                    [--boot-lines N] [--corrupt RATE] [--drop RATE] [--seed S]\n"
    "       devsim wire --com A --com B [--baud B] [--bits 10] [--corrupt RATE] [--drop RATE]\n"
    "                   [--seed S]\n"
    "       devsim --help\n"
    "A simulated device on <root>/comN, root = $FLASHKIT_DEVROOT or /dev.\n"
    "  --baud B        line rate in baud, 0 for unpaced (default 115200)\n"
    "  --bits N        bits per character on the wire, 10 for 8N1, 11 for 8E1 (default 10)\n"
    "  --corrupt RATE  chance, 0 to 1, that a byte arrives damaged (default 0)\n"
    "  --drop RATE     chance, 0 to 1, that a byte is lost (default 0)\n"
    "  --seed S        seed of the fault decisions (default 1)\n"
    "  --store DIR     folder for received images (default .)\n"
    "  --no-request    receive at once, without waiting for a request and prompts\n"
    "  --once          exit after the first complete download and its boot log\n"
    "  --boot-lines N  lines of boot log before the last one (default 5)\n"
    "Prints one JSON object per event on standard output; stops on SIGINT or SIGTERM.\n";

namespace {

template <typename T>
bool ParseNumber(std::string_view text, T min, T max, T* out) {
  T value{};
  const char* end = text.data() + text.size();
  const auto [ptr, ec] = std::from_chars(text.data(), end, value);
  if (ec != std::errc() || ptr != end || text.empty() || value < min || value > max) return false;
  *out = value;
  return true;
}

using Setter = bool (*)(std::string_view value, DevsimOptions& o);

struct OptionRow {
  std::string_view name;
  bool takes_value;
  bool board;
  bool wire;
  Setter set;
};

// Limits keep the pacing arithmetic in 64 bits and the boot log in reason.
constexpr OptionRow kOptions[] = {
    {"--com", true, true, true,
     [](std::string_view v, DevsimOptions& o) {
       unsigned n = 0;
       if (!ParseNumber(v, 1u, 999u, &n)) return false;
       o.coms.push_back(n);
       return true;
     }},
    {"--baud", true, true, true,
     [](std::string_view v, DevsimOptions& o) {
       return ParseNumber(v, 0u, 100'000'000u, &o.rate.baud);
     }},
    {"--bits", true, true, true,
     [](std::string_view v, DevsimOptions& o) {
       return ParseNumber(v, 1u, 32u, &o.rate.bits_per_char);
     }},
    {"--corrupt", true, true, true,
     [](std::string_view v, DevsimOptions& o) { return ParseNumber(v, 0.0, 1.0, &o.faults.corrupt); }},
    {"--drop", true, true, true,
     [](std::string_view v, DevsimOptions& o) { return ParseNumber(v, 0.0, 1.0, &o.faults.drop); }},
    {"--seed", true, true, true,
     [](std::string_view v, DevsimOptions& o) {
       return ParseNumber(v, uint64_t{0}, UINT64_MAX, &o.seed);
     }},
    {"--store", true, true, false,
     [](std::string_view v, DevsimOptions& o) {
       o.store_dir = std::string(v);
       return !v.empty();
     }},
    {"--no-request", false, true, false,
     [](std::string_view, DevsimOptions& o) { return o.no_request = true; }},
    {"--once", false, true, false, [](std::string_view, DevsimOptions& o) { return o.once = true; }},
    {"--boot-lines", true, true, false,
     [](std::string_view v, DevsimOptions& o) { return ParseNumber(v, 0u, 10000u, &o.boot_lines); }},
};

ParsedCommandLine Fail(std::string error) { return {std::nullopt, std::move(error)}; }

}  // namespace

ParsedCommandLine ParseCommandLine(std::span<const std::string> args) {
  if (args.empty()) return Fail("no command given");
  DevsimOptions options;
  if (args[0] == "--help" || args[0] == "-h") {
    if (args.size() > 1) return Fail("--help takes nothing more");
    return {options, ""};
  }
  if (args[0] == "board") {
    options.command = DevsimCommand::kBoard;
  } else if (args[0] == "wire") {
    options.command = DevsimCommand::kWire;
  } else {
    return Fail("unknown command '" + args[0] + "'");
  }
  const bool board = options.command == DevsimCommand::kBoard;

  for (size_t i = 1; i < args.size(); ++i) {
    std::string_view arg = args[i];
    std::string_view inline_value;
    const size_t equals = arg.find('=');
    const bool has_inline = equals != std::string_view::npos;
    if (has_inline) {
      inline_value = arg.substr(equals + 1);
      arg = arg.substr(0, equals);
    }
    const auto row = std::find_if(std::begin(kOptions), std::end(kOptions),
                                   [&](const OptionRow& s) { return s.name == arg; });
    if (row == std::end(kOptions) || !(board ? row->board : row->wire)) {
      return Fail("unknown option '" + std::string(arg) + "' for " + args[0]);
    }
    std::string_view value = inline_value;
    if (row->takes_value && !has_inline) {
      if (i + 1 >= args.size()) return Fail(std::string(arg) + " needs a value");
      value = args[++i];
    } else if (!row->takes_value && has_inline) {
      return Fail(std::string(arg) + " takes no value");
    }
    if (!row->set(value, options)) {
      return Fail("bad value '" + std::string(value) + "' for " + std::string(arg));
    }
  }

  const size_t coms_wanted = board ? 1 : 2;
  if (options.coms.size() != coms_wanted) {
    return Fail(args[0] + (board ? " needs one --com" : " needs two --com"));
  }
  if (!board && options.coms[0] == options.coms[1]) return Fail("wire needs two different ports");
  return {options, ""};
}

}  // namespace flashkit::sim
