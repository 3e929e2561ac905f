#include "platform/debug_output.h"
#include "platform/system_debugger.h"

#include <cstdio>
#include <mutex>
#include <string>

namespace flashkit::platform {
namespace {

std::mutex& SinkMutex() {
  static std::mutex mutex;
  return mutex;
}

DebugSink& Sink() {
  static DebugSink sink;
  return sink;
}

// One line per call: a text without its own line break gets one. A debugger
// the system has attached sees it too.
void ToStandardError(std::string_view text) {
  std::string line(text);
  if (line.empty() || line.back() != '\n') line += '\n';
  ToSystemDebugger(line);
  std::fwrite(line.data(), 1, line.size(), stderr);
  std::fflush(stderr);
}

}  // namespace

void OutputDebugText(std::string_view text) {
  std::lock_guard<std::mutex> lock(SinkMutex());
  if (Sink()) {
    Sink()(text);
  } else {
    ToStandardError(text);
  }
}

DebugSink SetDebugSink(DebugSink sink) {
  std::lock_guard<std::mutex> lock(SinkMutex());
  DebugSink previous = std::move(Sink());
  Sink() = std::move(sink);
  return previous;
}

}  // namespace flashkit::platform
