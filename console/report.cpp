#include "console/report.h"

#include <cstdarg>

#include "console/process_exit.h"
#include "console/text_format.h"
#include "platform/signals.h"
#include "ports/status.h"

namespace flashkit {

namespace {
constexpr int32_t kUsageStatus = 1;
// What a shell shows for a program the signal ended: 130 for Ctrl-C.
constexpr int32_t kSignalStatusBase = 128;
}  // namespace

void UsageError(const ConsoleContext& console, const char* format, ...) {
  std::va_list args;
  va_start(args, format);
  console.err.Print(FormatV(format, args));
  va_end(args);
  Printf(console.err, "\nTry '%s -h' for more information.\n",
         console.options.program_name.c_str());
  throw ProcessExit{kUsageStatus};
}

void FatalError(const ConsoleContext& console, int32_t status, const char* format, ...) {
  std::va_list args;
  va_start(args, format);
  std::string message = FormatV(format, args);
  va_end(args);
  int32_t exit_status = status;
  if (const int signal = platform::StopSignal(); status == status::kInterrupted && signal != 0) {
    message += Format(". Stopped by %s", platform::StopSignalName(signal));
    exit_status = kSignalStatusBase + signal;
  } else if (status < 0) {
    message += Format(". Error %d", status);
  }
  message += "\n\n";
  console.err.Print(message);
  console.out.Print("Plz....wait....\nClose the Command Window automatically!!\n");
  console.clock.SleepMs(kClosingPauseMs);
  throw ProcessExit{exit_status};
}

}  // namespace flashkit
