#include "flashkit/options.h"

#include "platform/device_namespace.h"

#include <algorithm>
#include <cctype>
#include <charconv>
#include <initializer_list>
#include <string_view>

namespace flashkit::rack {
namespace {

// Which subcommands an option belongs to.
enum : unsigned { kList = 1, kYmodem = 2, kMcu = 4, kUsb = 8, kDownloads = kYmodem | kMcu | kUsb };

unsigned Bit(Command command) {
  switch (command) {
    case Command::kList: return kList;
    case Command::kYmodem: return kYmodem;
    case Command::kMcu: return kMcu;
    case Command::kUsb: return kUsb;
  }
  return 0;
}

struct OptionRow {
  std::string_view long_name;
  char short_name;  // 0: long form only
  bool takes_value;
  unsigned commands;
  // False when the value is not acceptable; `error` then says why.
  bool (*set)(RackOptions& o, std::string_view value, std::string& error);
};

bool Seconds(std::string_view text, uint32_t& into, std::string& error) {
  uint32_t value = 0;
  const auto [end, ec] = std::from_chars(text.data(), text.data() + text.size(), value);
  if (ec != std::errc() || end != text.data() + text.size() || value == 0 || value > 86400) {
    error = "a whole number of seconds from 1 to 86400";
    return false;
  }
  into = value;
  return true;
}

const OptionRow kRows[] = {
    {"port", 'p', true, kYmodem | kMcu,
     [](RackOptions& o, std::string_view v, std::string& error) {
       if (!platform::IsSerialPath(v) && !ComNumberOf(v)) {
         error = "a COM number from 1 to 999 (3, COM3) or a path (/dev/ttyUSB0)";
         return false;
       }
       o.ports.emplace_back(v);
       return true;
     }},
    {"device", 'd', true, kUsb,
     [](RackOptions& o, std::string_view v, std::string& error) {
       if (v.empty() || v.find('/') != std::string_view::npos) {
         error = "the name of a USB board entry, as flashkit list shows it";
         return false;
       }
       o.devices.emplace_back(v);
       return true;
     }},
    {"all", 0, false, kDownloads, [](RackOptions& o, std::string_view, std::string&) {
       o.all = true;
       return true;
     }},
    {"baud", 'b', true, kYmodem | kMcu,
     [](RackOptions& o, std::string_view v, std::string& error) {
       uint32_t baud = 0;
       const auto [end, ec] = std::from_chars(v.data(), v.data() + v.size(), baud);
       if (ec != std::errc() || end != v.data() + v.size() || baud == 0) {
         error = "a baud rate, such as 115200";
         return false;
       }
       o.baud = baud;
       return true;
     }},
    {"timeout", 't', true, kYmodem,
     [](RackOptions& o, std::string_view v, std::string& error) {
       return Seconds(v, o.timeout_s, error);
     }},
    {"as", 0, true, kYmodem,
     [](RackOptions& o, std::string_view v, std::string& error) {
       if (v.empty()) {
         error = "the file name to announce";
         return false;
       }
       o.announce_as = std::string(v);
       return true;
     }},
    {"expect", 0, true, kYmodem,
     [](RackOptions& o, std::string_view v, std::string& error) {
       if (v.empty()) {
         error = "the text the board prints once it has started";
         return false;
       }
       o.expect = std::string(v);
       return true;
     }},
    {"within", 0, true, kYmodem,
     [](RackOptions& o, std::string_view v, std::string& error) {
       uint32_t seconds = 0;
       if (!Seconds(v, seconds, error)) return false;
       o.within_s = seconds;
       return true;
     }},
    {"verify", 0, false, kMcu, [](RackOptions& o, std::string_view, std::string&) {
       o.verify = true;
       return true;
     }},
    {"companion", 0, true, kMcu,
     [](RackOptions& o, std::string_view v, std::string& error) {
       if (v.empty()) {
         error = "the companion image's file";
         return false;
       }
       o.companion = Companion::kFile;
       o.companion_file = std::string(v);
       return true;
     }},
    {"no-companion", 0, false, kMcu, [](RackOptions& o, std::string_view, std::string&) {
       o.companion = Companion::kNone;
       return true;
     }},
    {"condition", 0, true, kUsb,
     [](RackOptions& o, std::string_view v, std::string& error) {
       if (v != "run" && v != "finish") {
         error = "run or finish";
         return false;
       }
       o.run = v == "run";
       return true;
     }},
    {"json", 0, true, kDownloads,
     [](RackOptions& o, std::string_view v, std::string& error) {
       if (v.empty()) {
         error = "the file to write the records into";
         return false;
       }
       o.json_file = std::string(v);
       return true;
     }},
    {"log-dir", 0, true, kDownloads,
     [](RackOptions& o, std::string_view v, std::string& error) {
       if (v.empty()) {
         error = "a folder";
         return false;
       }
       o.log_dir = std::string(v);
       return true;
     }},
    {"debug", 0, false, kDownloads, [](RackOptions& o, std::string_view, std::string&) {
       o.debug = true;
       return true;
     }},
};

// list's --json is a switch; the downloads' takes a file.
const OptionRow kListJson = {"json", 0, false, kList,
                             [](RackOptions& o, std::string_view, std::string&) {
                               o.list_json = true;
                               return true;
                             }};

const char* CommandName(Command command) {
  switch (command) {
    case Command::kList: return "list";
    case Command::kYmodem: return "ymodem";
    case Command::kMcu: return "mcu";
    case Command::kUsb: return "usb";
  }
  return "";
}

ParsedLine Usage(std::string message) {
  ParsedLine parsed;
  parsed.kind = ParsedLine::Kind::kUsageError;
  parsed.text = std::move(message);
  return parsed;
}

const OptionRow* FindLong(Command command, std::string_view name) {
  if (command == Command::kList && name == kListJson.long_name) return &kListJson;
  for (const OptionRow& row : kRows) {
    if (row.long_name == name) return &row;
  }
  return nullptr;
}

const OptionRow* FindShort(char name) {
  for (const OptionRow& row : kRows) {
    if (row.short_name != 0 && row.short_name == name) return &row;
  }
  return nullptr;
}

}  // namespace

std::optional<uint32_t> ComNumberOf(std::string_view text) {
  // Bare digits, or a COM name as linkxfer's device names read it.
  const std::optional<std::string> digits =
      !text.empty() && std::isdigit(static_cast<unsigned char>(text[0]))
          ? std::optional<std::string>(text)
          : platform::ComDigits(text);
  uint32_t number = 0;
  if (!digits || digits->empty() || (*digits)[0] == '0') return std::nullopt;
  const auto [end, ec] = std::from_chars(digits->data(), digits->data() + digits->size(), number);
  if (ec != std::errc() || end != digits->data() + digits->size() || number > 999) return std::nullopt;
  return number;
}

ParsedLine ParseRackLine(int argc, char* const argv[]) {
  std::vector<std::string_view> args(argv + std::min(argc, 1), argv + argc);
  ParsedLine parsed;
  if (args.empty()) return Usage("a command is missing (list, ymodem, mcu or usb)");
  const std::string_view first = args.front();
  if (first == "--help" || first == "-h" || first == "help") {
    parsed.kind = ParsedLine::Kind::kHelp;
    parsed.text = kRackUsage;
    return parsed;
  }
  if (first == "--version" || first == "-V") {
    parsed.kind = ParsedLine::Kind::kVersion;
    return parsed;
  }
  RackOptions& o = parsed.options;
  if (first == "list") {
    o.command = Command::kList;
  } else if (first == "ymodem") {
    o.command = Command::kYmodem;
  } else if (first == "mcu") {
    o.command = Command::kMcu;
  } else if (first == "usb") {
    o.command = Command::kUsb;
  } else {
    return Usage("unknown command '" + std::string(first) + "' (list, ymodem, mcu or usb)");
  }
  const std::string command = CommandName(o.command);

  std::vector<std::string_view> operands;
  bool options_end = false;
  for (size_t i = 1; i < args.size(); ++i) {
    const std::string_view arg = args[i];
    if (options_end || arg.size() < 2 || arg[0] != '-') {
      operands.push_back(arg);
      continue;
    }
    if (arg == "--") {
      options_end = true;
      continue;
    }
    if (arg == "--help" || arg == "-h") {
      parsed.kind = ParsedLine::Kind::kHelp;
      parsed.text = kRackUsage;
      return parsed;
    }
    if (arg == "--version" || arg == "-V") {
      parsed.kind = ParsedLine::Kind::kVersion;
      return parsed;
    }
    const OptionRow* row = nullptr;
    std::string shown;
    std::optional<std::string_view> value;
    if (arg.starts_with("--")) {
      const std::string_view body = arg.substr(2);
      const size_t equals = body.find('=');
      shown = "--" + std::string(body.substr(0, equals));
      row = FindLong(o.command, body.substr(0, equals));
      if (equals != std::string_view::npos) value = body.substr(equals + 1);
    } else {
      shown = std::string(arg.substr(0, 2));
      row = FindShort(arg[1]);
      if (arg.size() > 2) value = arg.substr(2);
    }
    if (row == nullptr) return Usage("unknown option " + shown);
    if ((row->commands & Bit(o.command)) == 0) {
      return Usage(shown + " is not an option of " + command);
    }
    if (row->takes_value && !value) {
      if (i + 1 >= args.size()) return Usage(shown + " needs a value");
      value = args[++i];
    } else if (!row->takes_value && value) {
      return Usage(shown + " takes no value");
    }
    std::string error;
    if (!row->set(o, value.value_or(std::string_view()), error)) {
      return Usage("bad value '" + std::string(*value) + "' for " + shown + ": " + error);
    }
  }

  if (o.command == Command::kList) {
    if (!operands.empty()) return Usage("list takes no file");
    return parsed;
  }
  if (operands.empty()) return Usage("the image file is missing");
  if (operands.size() > 1) {
    return Usage("one image file only; '" + std::string(operands[1]) + "' is one too many");
  }
  o.file = std::string(operands[0]);
  const bool named = o.command == Command::kUsb ? !o.devices.empty() : !o.ports.empty();
  if (!named && !o.all) {
    return Usage(o.command == Command::kUsb ? "name the boards with -d NAME, or --all"
                                            : "name the ports with -p PORT, or --all");
  }
  if (named && o.all) return Usage("--all takes every board present; name none beside it");
  if (o.within_s && !o.expect) return Usage("--within bounds the wait for --expect's text; give both");
  return parsed;
}

const char kRackUsage[] =
    "usage: flashkit list [--json]\n"
    "       flashkit ymodem (-p PORT... | --all) [-b BAUD] [-t SECONDS] [--as NAME]\n"
    "                       [--expect TEXT [--within SECONDS]] [COMMON] FILE\n"
    "       flashkit mcu (-p PORT... | --all) [-b BAUD] [--verify]\n"
    "                    [--companion FILE | --no-companion] [COMMON] FILE\n"
    "       flashkit usb (-d NAME... | --all) [--condition run|finish] [COMMON] FILE\n"
    "       flashkit --help | --version\n"
    "Every download runs on each board named, all at once, one thread per board.\n"
    "  -p, --port PORT    a serial port: a COM number (3, COM3) or a path\n"
    "                     (/dev/ttyUSB0, /dev/serial/by-id/...); may repeat\n"
    "  -d, --device NAME  a USB board entry, as flashkit list shows it; may repeat\n"
    "      --all          every USB serial adapter, ACM port and simulated port\n"
    "                     present (ymodem, mcu), or every USB board entry (usb);\n"
    "                     built-in serial ports only when named\n"
    "  -b, --baud BAUD    line rate (default 115200)\n"
    "ymodem: linkxfer -sy's download: the request packet chosen by the announced\n"
    "name, the prompts, then YMODEM.\n"
    "  -t, --timeout S    how long the board may keep the transfer waiting (default 30)\n"
    "      --as NAME      the name announced to the board (default: the file's name)\n"
    "      --expect TEXT  after the send, read the board's output until TEXT arrives;\n"
    "                     without it within --within seconds (default 10) the board\n"
    "                     fails: did not boot. The output is kept in the board's log\n"
    "mcu: flashpanel's SERIAL + None download through the STM32 USART bootloader\n"
    "(8E1): the image, then the companion image beside it (WDN-500S.bin,\n"
    "ZQT410_TAXI.bin, ZQT410_STB.bin), then Go. Reply limits: 0.5 s for the sync\n"
    "byte, 1 s for a command, 2 s for a block's data and its read-back, 40 s for\n"
    "the global erase.\n"
    "      --verify       read every written range back; fail at the first byte\n"
    "                     that differs\n"
    "      --companion F  the companion image is F\n"
    "      --no-companion write the image alone, then start it\n"
    "usb: flashpanel's framed USB download.\n"
    "      --condition C  run (default) or finish\n"
    "COMMON:\n"
    "      --json FILE    one record per board: board, image, sha256, bytes, seconds,\n"
    "                     outcome, message (mcu: product_id, verified)\n"
    "      --log-dir DIR  where each board's log goes, flashkit-<board>.log\n"
    "                     (default: the current folder)\n"
    "      --debug        the links' trace lines on standard error\n"
    "Exit status: 0 every board succeeded, 2 one or more failed, 1 usage error,\n"
    "130/143 stopped by SIGINT/SIGTERM.\n";

}  // namespace flashkit::rack
