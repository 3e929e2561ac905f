#include "common/crc16_table.h"
#include "console/options.h"
#include "console/run_flow.h"
#include "console/stdout_text_out.h"
#include "platform/clock.h"
#include "platform/device_system.h"
#include "platform/signals.h"

namespace {
// One table for the whole process, ready before the entry runs.
const flashkit::Crc16Table kCrcTable;
}  // namespace

int main(int argc, char* argv[]) {
  // Ctrl-C and SIGTERM end the run through its own error path, so the far
  // side hears a cancel and the line gets its settings back. Without the
  // handlers they still end the process, only less tidily.
  flashkit::platform::InstallStopSignals();
  flashkit::StdoutTextOut out(stdout);
  flashkit::StdoutTextOut err(stderr);
  flashkit::Options options;
  flashkit::RunContext context{{options, out, err, flashkit::platform::SystemClock()},
                               flashkit::platform::RealSystem(),
                               kCrcTable};
  // The shell sees the low 8 bits of a negative status.
  return flashkit::RunLinkxfer(context, argc, argv);
}
