#include <cstdio>

#include "common/crc16_table.h"
#include "flashkit/list_command.h"
#include "flashkit/options.h"
#include "flashkit/rack.h"
#include "platform/clock.h"
#include "platform/debug_output.h"
#include "platform/device_system.h"
#include "platform/signals.h"
#include "platform/terminal.h"

#ifndef FLASHKIT_VERSION
#define FLASHKIT_VERSION "0"
#endif

namespace {
const flashkit::Crc16Table kCrcTable;
}  // namespace

int main(int argc, char* argv[]) {
  using flashkit::rack::ParsedLine;
  const ParsedLine parsed = flashkit::rack::ParseRackLine(argc, argv);
  switch (parsed.kind) {
    case ParsedLine::Kind::kHelp:
      std::fputs(parsed.text.c_str(), stdout);
      return 0;
    case ParsedLine::Kind::kVersion:
      std::printf("flashkit %s\n", FLASHKIT_VERSION);
      return 0;
    case ParsedLine::Kind::kUsageError:
      std::fprintf(stderr, "flashkit: %s\nTry 'flashkit --help' for more information.\n",
                   parsed.text.c_str());
      return flashkit::rack::kUsageStatus;
    case ParsedLine::Kind::kRun:
      break;
  }
  const flashkit::rack::RackOptions& options = parsed.options;
  if (options.command == flashkit::rack::Command::kList) {
    flashkit::rack::ListBoards(stdout, flashkit::platform::RealSystem(), options.list_json);
    return 0;
  }
  // Every board stops cleanly on Ctrl-C or SIGTERM: the YMODEM ones cancel,
  // every line gets its settings back, and the table still shows.
  flashkit::platform::InstallStopSignals();
  // The links' trace lines would tear the live lines apart.
  if (!options.debug) flashkit::platform::SetDebugSink([](std::string_view) {});
  const flashkit::rack::RackConsole console{stdout, stderr, flashkit::platform::IsTerminal(stdout),
                                            flashkit::platform::TerminalColumns(stdout)};
  return flashkit::rack::RunRack(options, flashkit::platform::RealSystem(),
                                 flashkit::platform::SystemClock(), kCrcTable, console);
}
