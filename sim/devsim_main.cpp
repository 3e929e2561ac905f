#include <iostream>
#include <string>
#include <vector>

#include "platform/poller.h"
#include "sim/devsim_commands.h"
#include "sim/devsim_options.h"
#include "sim/event_log.h"

int main(int argc, char** argv) {
  using namespace flashkit::sim;
  const std::vector<std::string> args(argv + 1, argv + argc);
  const ParsedCommandLine parsed = ParseCommandLine(args);
  if (!parsed.options) {
    std::cerr << "devsim: " << parsed.error << "\n" << kDevsimUsage;
    return 2;
  }
  const DevsimOptions& options = *parsed.options;
  if (options.command == DevsimCommand::kHelp) {
    std::cout << kDevsimUsage;
    return 0;
  }
  EventLog events(std::cout, flashkit::platform::MonotonicNs);
  switch (options.command) {
    case DevsimCommand::kBoard: return RunBoard(options, events);
    case DevsimCommand::kMcu: return RunMcu(options, events);
    case DevsimCommand::kUsbFramed: return RunUsbFramed(options, events);
    default: return RunWire(options, events);
  }
}
