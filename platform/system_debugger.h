#pragma once

#include <string>

namespace flashkit::platform {

// Hands a line to the debugger the system keeps for programs (Windows shows
// it in a debugger or DebugView); where there is none, it goes nowhere.
void ToSystemDebugger(const std::string& line);

}  // namespace flashkit::platform
