#pragma once

#include <functional>
#include <string_view>

namespace flashkit::platform {

// Where the debugger output goes: by default one line on standard error per
// call. Thread-safe.
void OutputDebugText(std::string_view text);

// Replaces the sink (tests capture the lines); returns the previous one. An
// empty sink restores standard error.
using DebugSink = std::function<void(std::string_view)>;
DebugSink SetDebugSink(DebugSink sink);

}  // namespace flashkit::platform
