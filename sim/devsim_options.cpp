#include "sim/devsim_options.h"

#include <algorithm>
#include <charconv>
#include <cstdio>
#include <string_view>

#include "sim/latency_timer.h"
#include "sim/usb_entry.h"

namespace flashkit::sim {

const char kDevsimUsage[] =
    "usage: devsim board (--com N [--com N]... | --usb NAME) [--baud B] [--bits 10] [--store DIR]\n"
    "                    [--once] [--no-request] [--boot-lines N] [--latency-timer MS]\n"
    "                    [--corrupt RATE] [--drop RATE] [--seed S]\n"
    "       devsim wire --com A --com B [--baud B] [--bits 10] [--latency-timer MS]\n"
    "                   [--corrupt RATE] [--drop RATE] [--faults-to N] [--seed S]\n"
    "       devsim mcu --com N [--com N]... [--baud B] [--bits 11] [--flash-kib 128]\n"
    "                  [--page-bytes 1024] [--product-id 0x410] [--program-us 52]\n"
    "                  [--page-erase-ms 20] [--mass-erase-ms 40] [--stuck-bit ADDR[:BIT]]...\n"
    "                  [--dump FILE] [--latency-timer MS] [--corrupt RATE] [--drop RATE] [--seed S]\n"
    "       devsim usb-framed --usb NAME [--store DIR] [--reenumerate-ms 200] [--silent-after N]\n"
    "                         [--baud B] [--bits 10] [--corrupt RATE] [--drop RATE] [--seed S]\n"
    "       devsim --help\n"
    "A simulated device on <root>/comN, root = $FLASHKIT_DEVROOT or /dev.\n"
    "  --com N         the COM port the device is attached to. A COM board and mcu take it\n"
    "                  again for more devices: a rack, one independent device per port, each\n"
    "                  with its own line; see \"Several --com\" below\n"
    "  --usb NAME      board, usb-framed: a USB bulk device, present as long as devsim runs\n"
    "                  (<root>/usb/{00873FDF-61A8-11D1-AA5E-00C04FB1728B}/NAME/PIPE00|PIPE01).\n"
    "                  A board takes the request and ten \"1\" bytes without answering them, waits\n"
    "                  for 30 ms of quiet, then receives YMODEM; a host that sends nothing\n"
    "                  within 300 ms of opening the pipes gets an XMODEM-CRC receive, stored\n"
    "                  as xmodem-<n>.bin, fill included. No boot log. Unpaced unless --baud.\n"
    "  --baud B        line rate in baud, 0 for unpaced (default 115200; 0 with --usb)\n"
    "  --bits N        bits per character on the wire, 10 for 8N1, 11 for 8E1 (default 10;\n"
    "                  11 for mcu)\n"
    "  --corrupt RATE  chance, 0 to 1, that a byte arrives damaged (default 0)\n"
    "  --drop RATE     chance, 0 to 1, that a byte is lost (default 0)\n"
    "  --burst RATE    chance, 0 to 1, that a burst of damage starts at a byte (default 0)\n"
    "  --burst-bytes N bytes one burst damages (default 16)\n"
    "  --insert RATE   chance, 0 to 1, that a stray byte arrives after a byte (default 0)\n"
    "  --seed S        seed of the fault decisions (default 1)\n"
    "  --faults-to N   wire: the faults hit only what travels toward COM N, one of its two\n"
    "                  ports (a program's answers, say); the other way stays clean\n"
    "  --latency-timer MS  COM board, wire, mcu: the host receives through a modelled USB\n"
    "                  serial adapter of the FTDI kind, which holds what comes off the line\n"
    "                  until 62 bytes have gathered or MS ms (1 to 255) have passed since the\n"
    "                  first came in, then passes all on at once: 16 as its driver leaves it,\n"
    "                  1 in low-latency mode. wire: both ends. Default: no adapter\n"
    "  --store DIR     folder for received images (default .)\n"
    "  --no-request    COM board: receive at once, without waiting for a request and prompts\n"
    "  --once          exit after the first complete download (and its boot log); with several\n"
    "                  --com, once every board has completed one\n"
    "  --boot-lines N  COM board: lines of boot log before the last one (default 5)\n"
    "usb-framed: the USB device of flashpanel's framed download. A request packet makes it\n"
    "reset: its entry goes and comes back. Then it takes a size frame and answered data\n"
    "frames, or a header and unanswered data frames, up to an end frame, and stores the\n"
    "image as image-<n>.bin or under the header's name. Unpaced unless --baud.\n"
    "  --reenumerate-ms N  how long a reset keeps the device away (default 200)\n"
    "  --silent-after N    answer only the size frame and N data frames, then nothing\n"
    "mcu: an STM32 in its USART bootloader (flash at 0x08000000, erased at start). Opening\n"
    "the port resets it; Go to the start of flash starts the loader there, which answers\n"
    "the same commands, Go elsewhere an application that ignores the line.\n"
    "  --flash-kib N      flash size in KiB (default 128)\n"
    "  --page-bytes N     erase page size (default 1024)\n"
    "  --product-id ID    what Get ID answers, 0x hex or decimal (default 0x410)\n"
    "  --program-us N     programming time per half-word in microseconds (default 52)\n"
    "  --page-erase-ms N  erase time per page (default 20)\n"
    "  --mass-erase-ms N  erase time of the whole flash (default 40)\n"
    "  --stuck-bit ADDR[:BIT]  bit BIT (0 to 7, default 0) of the flash byte at ADDR (0x hex\n"
    "                     or decimal) reads 0 whatever is written or erased; Write Memory is\n"
    "                     still acknowledged. May be repeated. Applies to the MCU of every\n"
    "                     --com given (for one faulty MCU among good ones, run a second devsim)\n"
    "  --dump FILE        write the whole flash to FILE at exit\n"
    "Several --com (board, mcu): the devices start together, one \"ready\" lists all their\n"
    "ports, and every other event about one of them carries \"com\":N after its name. The\n"
    "k-th --com (k from 0) takes seed S + k. A board stores in DIR/comN (made when needed),\n"
    "an MCU dumps to FILE.comN. Each device ends as a lone one would: with --once after its\n"
    "download, or when its line fails; it then reports its \"line-stats\" and\n"
    "{\"event\":\"device-end\",\"com\":N,\"reason\":\"done\"|\"failure\"|\"SIGINT\"|\"SIGTERM\"}\n"
    "(with \"error\":\"...\" after a failure) while the others go on. devsim exits once every\n"
    "device has ended or on a stop signal, with status 1 when any device failed. A setup\n"
    "failure of any device stops devsim before \"ready\".\n"
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

// Decimal, or hexadecimal after "0x".
template <typename T>
bool ParseCode(std::string_view text, T* out) {
  const bool hex = text.starts_with("0x") || text.starts_with("0X");
  if (hex) text.remove_prefix(2);
  T value = 0;
  const char* end = text.data() + text.size();
  const auto [ptr, ec] = std::from_chars(text.data(), end, value, hex ? 16 : 10);
  if (ec != std::errc() || ptr != end || text.empty()) return false;
  *out = value;
  return true;
}

// ADDRESS[:BIT], BIT 0 to 7 and 0 when left out.
bool ParseStuckBit(std::string_view text, McuStuckBit* out) {
  const size_t colon = text.find(':');
  uint8_t bit = 0;
  if (colon != std::string_view::npos && !ParseNumber(text.substr(colon + 1), uint8_t{0}, uint8_t{7}, &bit)) {
    return false;
  }
  uint32_t address = 0;
  if (!ParseCode(text.substr(0, colon), &address)) return false;
  *out = {address, bit};
  return true;
}

using Setter = bool (*)(std::string_view value, DevsimOptions& o);

// Which devices an option is for.
enum Applies : uint8_t {
  kComBoard = 1,
  kUsbBoard = 2,
  kWire = 4,
  kMcu = 8,
  kUsbFramed = 16,
  kBoards = kComBoard | kUsbBoard,
  kUsbDevices = kUsbBoard | kUsbFramed,
  kAll = kBoards | kWire | kMcu | kUsbFramed,
};

struct OptionRow {
  std::string_view name;
  bool takes_value;
  uint8_t applies;
  Setter set;
};

// Limits keep the pacing arithmetic in 64 bits and the boot log in reason.
constexpr OptionRow kOptions[] = {
    {"--com", true, kComBoard | kWire | kMcu,
     [](std::string_view v, DevsimOptions& o) {
       unsigned n = 0;
       if (!ParseNumber(v, 1u, 999u, &n)) return false;
       o.coms.push_back(n);
       return true;
     }},
    {"--usb", true, kUsbDevices,
     [](std::string_view v, DevsimOptions& o) {
       o.usb_name = std::string(v);
       return IsUsbDeviceName(v);
     }},
    {"--baud", true, kAll,
     [](std::string_view v, DevsimOptions& o) {
       return ParseNumber(v, 0u, 100'000'000u, &o.rate.baud);
     }},
    {"--bits", true, kAll,
     [](std::string_view v, DevsimOptions& o) {
       return ParseNumber(v, 1u, 32u, &o.rate.bits_per_char);
     }},
    {"--corrupt", true, kAll,
     [](std::string_view v, DevsimOptions& o) { return ParseNumber(v, 0.0, 1.0, &o.faults.corrupt); }},
    {"--drop", true, kAll,
     [](std::string_view v, DevsimOptions& o) { return ParseNumber(v, 0.0, 1.0, &o.faults.drop); }},
    {"--burst", true, kAll,
     [](std::string_view v, DevsimOptions& o) { return ParseNumber(v, 0.0, 1.0, &o.faults.burst); }},
    {"--burst-bytes", true, kAll,
     [](std::string_view v, DevsimOptions& o) {
       return ParseNumber(v, 1u, 65536u, &o.faults.burst_bytes);
     }},
    {"--insert", true, kAll,
     [](std::string_view v, DevsimOptions& o) { return ParseNumber(v, 0.0, 1.0, &o.faults.insert); }},
    {"--seed", true, kAll,
     [](std::string_view v, DevsimOptions& o) {
       return ParseNumber(v, uint64_t{0}, UINT64_MAX, &o.seed);
     }},
    // Every device takes it so that a USB one can say why it refuses it.
    {"--faults-to", true, kWire,
     [](std::string_view v, DevsimOptions& o) {
       unsigned com = 0;
       if (!ParseNumber(v, 1u, 999u, &com)) return false;
       o.faults_to = com;
       return true;
     }},
    {"--latency-timer", true, kAll,
     [](std::string_view v, DevsimOptions& o) {
       uint32_t ms = 0;
       if (!ParseNumber(v, LatencyTimer::kMinMs, LatencyTimer::kMaxMs, &ms)) return false;
       o.latency_timer_ms = ms;
       return true;
     }},
    {"--store", true, kBoards | kUsbFramed,
     [](std::string_view v, DevsimOptions& o) {
       o.store_dir = std::string(v);
       return !v.empty();
     }},
    {"--no-request", false, kComBoard,
     [](std::string_view, DevsimOptions& o) { return o.no_request = true; }},
    {"--once", false, kBoards, [](std::string_view, DevsimOptions& o) { return o.once = true; }},
    {"--boot-lines", true, kComBoard,
     [](std::string_view v, DevsimOptions& o) { return ParseNumber(v, 0u, 10000u, &o.boot_lines); }},
    {"--reenumerate-ms", true, kUsbFramed,
     [](std::string_view v, DevsimOptions& o) {
       return ParseNumber(v, 0u, 60'000u, &o.reenumerate_ms);
     }},
    {"--silent-after", true, kUsbFramed,
     [](std::string_view v, DevsimOptions& o) {
       uint32_t frames = 0;
       if (!ParseNumber(v, 0u, UINT32_MAX, &frames)) return false;
       o.silent_after = frames;
       return true;
     }},
    {"--flash-kib", true, kMcu,
     [](std::string_view v, DevsimOptions& o) {
       uint32_t kib = 0;
       if (!ParseNumber(v, 1u, 16u * 1024, &kib)) return false;
       o.mcu.flash_bytes = kib * 1024;
       return true;
     }},
    {"--page-bytes", true, kMcu,
     [](std::string_view v, DevsimOptions& o) {
       return ParseNumber(v, 4u, 64u * 1024, &o.mcu.page_bytes);
     }},
    {"--product-id", true, kMcu,
     [](std::string_view v, DevsimOptions& o) { return ParseCode(v, &o.mcu.product_id); }},
    {"--program-us", true, kMcu,
     [](std::string_view v, DevsimOptions& o) {
       return ParseNumber(v, 0u, 1'000'000u, &o.mcu.program_us);
     }},
    {"--page-erase-ms", true, kMcu,
     [](std::string_view v, DevsimOptions& o) {
       return ParseNumber(v, 0u, 60'000u, &o.mcu.page_erase_ms);
     }},
    {"--mass-erase-ms", true, kMcu,
     [](std::string_view v, DevsimOptions& o) {
       return ParseNumber(v, 0u, 600'000u, &o.mcu.mass_erase_ms);
     }},
    {"--stuck-bit", true, kMcu,
     [](std::string_view v, DevsimOptions& o) {
       McuStuckBit stuck;
       if (!ParseStuckBit(v, &stuck)) return false;
       o.mcu.stuck_bits.push_back(stuck);
       return true;
     }},
    {"--dump", true, kMcu,
     [](std::string_view v, DevsimOptions& o) {
       o.dump_path = std::string(v);
       return !v.empty();
     }},
};

struct CommandRow {
  std::string_view name;
  DevsimCommand command;
  uint8_t applies;  // the options it may be given
};

constexpr CommandRow kCommands[] = {
    {"board", DevsimCommand::kBoard, kBoards},
    {"wire", DevsimCommand::kWire, kWire},
    {"mcu", DevsimCommand::kMcu, kMcu},
    {"usb-framed", DevsimCommand::kUsbFramed, kUsbFramed},
};

constexpr std::string_view KindName(uint8_t kind) {
  return kind == kWire ? "wire" : kind == kUsbBoard ? "a USB board" : "a COM board";
}

ParsedCommandLine Fail(std::string error) { return {std::nullopt, std::move(error)}; }

// The adapter model sits on a serial line; a USB device has none.
ParsedCommandLine NoSerialLine(std::string_view device) {
  return Fail("--latency-timer needs a serial line, and " + std::string(device) + " has none");
}

}  // namespace

ParsedCommandLine ParseCommandLine(std::span<const std::string> args) {
  if (args.empty()) return Fail("no command given");
  DevsimOptions options;
  if (args[0] == "--help" || args[0] == "-h") {
    if (args.size() > 1) return Fail("--help takes nothing more");
    return {options, ""};
  }
  const auto command = std::find_if(std::begin(kCommands), std::end(kCommands),
                                    [&](const CommandRow& c) { return c.name == args[0]; });
  if (command == std::end(kCommands)) return Fail("unknown command '" + args[0] + "'");
  options.command = command->command;
  const bool board = options.command == DevsimCommand::kBoard;

  std::vector<const OptionRow*> used;
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
    if (row == std::end(kOptions) || (row->applies & command->applies) == 0) {
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
    used.push_back(&*row);
  }
  const auto times = [&used](std::string_view name) {
    return std::count_if(used.begin(), used.end(), [&](const OptionRow* r) { return r->name == name; });
  };

  std::vector<unsigned> sorted = options.coms;
  std::sort(sorted.begin(), sorted.end());
  const bool com_twice = std::adjacent_find(sorted.begin(), sorted.end()) != sorted.end();

  if (options.command == DevsimCommand::kMcu) {
    if (options.coms.empty()) return Fail("mcu needs at least one --com");
    if (com_twice) return Fail("mcu needs a different port for each --com");
    const McuSettings& mcu = options.mcu;
    if (mcu.flash_bytes % mcu.page_bytes != 0) {
      return Fail("--page-bytes must divide the flash size");
    }
    for (const McuStuckBit& stuck : mcu.stuck_bits) {
      if (stuck.address < mcu.flash_base || stuck.address - mcu.flash_base >= mcu.flash_bytes) {
        char address[16];
        std::snprintf(address, sizeof address, "0x%08x", stuck.address);
        return Fail("--stuck-bit " + std::string(address) + " is outside the flash");
      }
    }
    // The bootloader's line has even parity.
    if (times("--bits") == 0) options.rate.bits_per_char = 11;
    return {options, ""};
  }
  if (options.command == DevsimCommand::kUsbFramed) {
    if (times("--usb") != 1) return Fail("usb-framed needs one --usb");
    if (times("--latency-timer") != 0) return NoSerialLine("usb-framed");
    // A USB link has no baud rate of its own.
    if (times("--baud") == 0) options.rate.baud = 0;
    return {options, ""};
  }
  if (!board) {
    if (options.coms.size() != 2) return Fail("wire needs two --com");
    if (com_twice) return Fail("wire needs two different ports");
    if (options.faults_to && *options.faults_to != options.coms[0] &&
        *options.faults_to != options.coms[1]) {
      return Fail("--faults-to must name one of the wire's two ports");
    }
    return {options, ""};
  }
  const bool one_usb = times("--usb") == 1 && options.coms.empty();
  if (!one_usb && (times("--usb") != 0 || options.coms.empty())) {
    return Fail("board needs one --usb, or one or more --com");
  }
  if (com_twice) return Fail("board needs a different port for each --com");
  const uint8_t kind = options.usb_name.empty() ? kComBoard : kUsbBoard;
  if (kind == kUsbBoard && times("--latency-timer") != 0) return NoSerialLine(KindName(kind));
  for (const OptionRow* row : used) {
    if ((row->applies & kind) == 0) {
      return Fail(std::string(row->name) + " is not for " + std::string(KindName(kind)));
    }
  }
  // A USB link has no baud rate of its own.
  if (kind == kUsbBoard && times("--baud") == 0) options.rate.baud = 0;
  return {options, ""};
}

}  // namespace flashkit::sim
