#include "console/command_line.h"

#include <algorithm>
#include <limits>
#include <span>
#include <string>

#include "console/process_exit.h"
#include "console/report.h"
#include "console/usage.h"
#include "platform/device_namespace.h"

namespace flashkit {

namespace {

constexpr uint32_t kMaxSeconds = 4294967;  // the last whole second that fits in 32-bit ms
constexpr uint32_t kMsPerSecond = 1000;

bool IsSpace(char c) { return c == ' ' || (c >= '\t' && c <= '\r'); }
bool IsDigit(char c) { return c >= '0' && c <= '9'; }

// One -r or -s form, chosen by the letter after the option letter.
struct ModeForm {
  char suffix;            // '\0' for the bare form
  bool xmodem;
  bool Options::*detail;  // a further flag this form sets, or null
  bool value;
};

constexpr ModeForm kReceiveForms[] = {
    {'\0', false, nullptr, false},
    {'y', false, nullptr, false},
    {'g', false, &Options::ymodem_g, true},
    {'x', true, &Options::receive_crc, false},
    {'c', true, &Options::receive_crc, true},
};

constexpr ModeForm kSendForms[] = {
    {'\0', false, nullptr, false},
    {'y', false, nullptr, false},
    {'x', true, &Options::send_1k, false},
    {'k', true, &Options::send_1k, true},
};

struct OptionRow;
using Apply = void (*)(ConsoleContext&, const OptionRow&, std::string_view value,
                       const std::string& argument);

struct OptionRow {
  std::string_view name;  // the letters after the dash; the value follows at once
  Apply apply;
  uint32_t Options::*number = nullptr;
  bool Options::*flag = nullptr;
  bool Options::*cleared = nullptr;  // a flag every form of a mode option clears first
  std::span<const ModeForm> forms = {};
  const char* error = nullptr;
};

[[noreturn]] void InvalidOption(ConsoleContext& c, const std::string& argument) {
  UsageError(c, "Invalid option '%s'", argument.c_str());
}

void ApplyNumber(ConsoleContext& c, const OptionRow& row, std::string_view value,
                 const std::string&) {
  if (!ParseNumber(value, c.options.*row.number)) UsageError(c, "%s", row.error);
}

// A port is a COM number or the path of a serial line ("/dev/ttyUSB0",
// "\\.\COM12" on Windows); the last -p decides which.
void ApplyPort(ConsoleContext& c, const OptionRow& row, std::string_view value,
               const std::string& argument) {
  if (platform::IsSerialPath(value)) {
    c.options.port_path = std::string(value);
    return;
  }
  ApplyNumber(c, row, value, argument);
  c.options.port_path.reset();
}

void ApplySeconds(ConsoleContext& c, const OptionRow& row, std::string_view value,
                  const std::string&) {
  if (!ParseSeconds(value, c.options.*row.number)) UsageError(c, "%s", row.error);
}

void ApplyFlag(ConsoleContext& c, const OptionRow& row, std::string_view, const std::string&) {
  c.options.*row.flag = true;
}

void ApplyMode(ConsoleContext& c, const OptionRow& row, std::string_view value,
               const std::string& argument) {
  Options& o = c.options;
  o.*row.flag = true;
  o.xmodem = false;
  if (row.cleared != nullptr) o.*row.cleared = false;
  if (value.size() > 1) InvalidOption(c, argument);
  char suffix = value.empty() ? '\0' : value[0];
  auto form = std::find_if(row.forms.begin(), row.forms.end(),
                           [suffix](const ModeForm& f) { return f.suffix == suffix; });
  if (form == row.forms.end()) InvalidOption(c, argument);
  o.xmodem = form->xmodem;
  if (form->detail != nullptr) o.*form->detail = form->value;
}

void ApplyLogFile(ConsoleContext& c, const OptionRow&, std::string_view value,
                  const std::string&) {
  c.options.log_file = std::string(value);
}

void ApplyLogStop(ConsoleContext& c, const OptionRow&, std::string_view value,
                  const std::string&) {
  if (value.size() > kMaxLogStop) {
    UsageError(c, "String too long in -lx option. Max length is %u", kMaxLogStop);
  }
  std::copy(value.begin(), value.end(), c.options.log_stop.begin());
  c.options.log_stop_length = static_cast<uint32_t>(value.size());
}

void ApplyHelp(ConsoleContext& c, const OptionRow&, std::string_view, const std::string&) {
  PrintUsage(c.out, c.options.program_name);
  throw ProcessExit{0};
}

// No name is a prefix of another, so the first row whose name starts the
// option text is the only one.
const OptionRow kOptions[] = {
    {.name = "b", .apply = ApplyNumber, .number = &Options::baud, .error = "Invalid BAUD argument"},
    {.name = "p", .apply = ApplyPort, .number = &Options::port, .error = "Invalid PORT argument"},
    {.name = "t", .apply = ApplySeconds, .number = &Options::timeout_ms,
     .error = "Invalid TIMEOUT argument"},
    {.name = "r", .apply = ApplyMode, .flag = &Options::receive, .cleared = &Options::ymodem_g,
     .forms = kReceiveForms},
    {.name = "s", .apply = ApplyMode, .flag = &Options::send, .forms = kSendForms},
    {.name = "u", .apply = ApplyFlag, .flag = &Options::use_usb},
    {.name = "le", .apply = ApplyFlag, .flag = &Options::log_echo},
    {.name = "lf", .apply = ApplyLogFile},
    {.name = "lt", .apply = ApplySeconds, .number = &Options::log_timeout_ms,
     .error = "Invalid LOGTIMEOUT argument"},
    {.name = "lx", .apply = ApplyLogStop},
    {.name = "h", .apply = ApplyHelp},
};

// A quoted argument that reached us with its quotes still on loses them; a
// lone quote character leaves nothing.
std::string StripQuotes(std::string argument) {
  if (argument.empty() || argument.front() != '"' || argument.back() != '"') return argument;
  if (argument.size() == 1) return {};
  return argument.substr(1, argument.size() - 2);
}

void ApplyOption(ConsoleContext& c, const std::string& argument) {
  std::string_view text = std::string_view(argument).substr(1);
  for (const OptionRow& row : kOptions) {
    if (text.starts_with(row.name)) {
      row.apply(c, row, text.substr(row.name.size()), argument);
      return;
    }
  }
  InvalidOption(c, argument);
}

void AddFile(ConsoleContext& c, const std::string& argument) {
  Options& o = c.options;
  if (o.file2) UsageError(c, "Too many file arguments");
  if (o.file1) {
    o.file2 = argument;
  } else {
    o.file1 = argument;
  }
}

}  // namespace

bool ParseNumber(std::string_view text, uint32_t& value) {
  if (text.empty()) {
    value = 0;
    return true;
  }
  size_t i = 0;
  while (i < text.size() && IsSpace(text[i])) ++i;
  bool negative = false;
  if (i < text.size() && (text[i] == '+' || text[i] == '-')) {
    negative = text[i] == '-';
    ++i;
  }
  if (i == text.size() || !IsDigit(text[i])) return false;
  constexpr uint64_t kMax = std::numeric_limits<uint32_t>::max();
  uint64_t magnitude = 0;
  for (; i < text.size() && IsDigit(text[i]); ++i) {
    magnitude = std::min(magnitude * 10 + static_cast<uint64_t>(text[i] - '0'), kMax + 1);
  }
  if (i != text.size()) return false;
  if (magnitude > kMax) {
    value = static_cast<uint32_t>(kMax);
  } else {
    uint32_t v = static_cast<uint32_t>(magnitude);
    value = negative ? 0u - v : v;
  }
  return true;
}

bool ParseSeconds(std::string_view text, uint32_t& milliseconds) {
  uint32_t seconds = 0;
  if (!ParseNumber(text, seconds)) return false;
  milliseconds = seconds >= kMaxSeconds ? std::numeric_limits<uint32_t>::max()
                                        : seconds * kMsPerSecond;
  return true;
}

void ParseCommandLine(ConsoleContext& c, int argc, const char* const argv[]) {
  c.options.program_name = argc > 0 ? argv[0] : "";
  for (int i = 1; i < argc; ++i) {
    c.out.Print(argv[i]);
    std::string argument = StripQuotes(argv[i]);
    if (!argument.empty() && argument.front() == '-') {
      ApplyOption(c, argument);
    } else {
      AddFile(c, argument);
    }
  }
}

}  // namespace flashkit
