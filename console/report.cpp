#include "console/report.h"

#include <cstdarg>

#include "console/process_exit.h"
#include "console/text_format.h"

namespace flashkit {

namespace {
constexpr int32_t kUsageStatus = 1;
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
  if (status < 0) message += Format(". Error %d", status);
  message += "\n\n";
  console.err.Print(message);
  console.out.Print("Plz....wait....\nClose the Command Window automatically!!\n");
  console.clock.SleepMs(kClosingPauseMs);
  throw ProcessExit{status};
}

}  // namespace flashkit
