// The names of the stop signals, the same on every system.
#include <csignal>

#include "platform/signals.h"

namespace flashkit::platform {

const char* StopSignalName(int signal_number) {
  struct Name {
    int number;
    const char* text;
  };
  static constexpr Name kNames[] = {{SIGINT, "SIGINT"}, {SIGTERM, "SIGTERM"}};
  for (const Name& n : kNames) {
    if (n.number == signal_number) return n.text;
  }
  return "";
}

}  // namespace flashkit::platform
