#pragma once

#include <cstdio>

namespace flashkit::platform {

// True when `stream` is a terminal a person watches, so output may be
// redrawn in place.
bool IsTerminal(std::FILE* stream);

// The terminal's width in characters; `fallback` when it does not say.
int TerminalColumns(std::FILE* stream, int fallback = 80);

}  // namespace flashkit::platform
