#include "gui/console_outcome.h"

#include "ports/status_text.h"

namespace flashkit {
namespace {

constexpr int kUsageError = 1;
constexpr int kStoppedByInterrupt = 130;  // 128 + SIGINT
constexpr int kStoppedByTerminate = 143;  // 128 + SIGTERM, what closing its console sends

std::string Status(int exit_status) { return "exit status " + std::to_string(exit_status); }

}  // namespace

std::string ConsoleOutcomeText(const ConsoleEnd& end) {
  const int code = end.number;
  if (end.killed) {
    return "The download was stopped: linkxfer was killed by signal " + std::to_string(code) + ".";
  }
  if (code == 0) return {};
  if (code == kStoppedByInterrupt) return "The download was stopped: linkxfer was interrupted (Ctrl-C).";
  if (code == kStoppedByTerminate) return "The download was stopped: linkxfer was ended (SIGTERM).";
  if (code == kUsageError) {
    return "The download failed: linkxfer refused its command line (" + Status(code) + ").";
  }
  const int status = code - 256;
  if (code < 0 || code > 255 || !HasMeaning(status)) {
    return "The download failed: linkxfer ended with " + Status(code) + ".";
  }
  return "The download failed: linkxfer ended with error " + std::to_string(status) + " (" + Status(code) +
         "): " + StatusMeaning(status) + ".";
}

}  // namespace flashkit
