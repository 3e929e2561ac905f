#pragma once

namespace flashkit {

// One formatted text to the debugger output (printf conventions).
void Trace(const char* format, ...) __attribute__((format(printf, 1, 2)));

}  // namespace flashkit
