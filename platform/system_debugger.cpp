#include "platform/system_debugger.h"

namespace flashkit::platform {

// Linux has no system debugger output: standard error is where a line goes.
void ToSystemDebugger(const std::string&) {}

}  // namespace flashkit::platform
