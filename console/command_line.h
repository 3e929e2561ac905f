#pragma once

#include <cstdint>
#include <string_view>

#include "console/console_context.h"

namespace flashkit {

// Fills console.options from the arguments; returns only when the whole line
// is valid (otherwise UsageError ends the run, and -h ends it after the
// usage summary).
void ParseCommandLine(ConsoleContext& console, int argc, const char* const argv[]);

// An unsigned decimal number with optional leading white space and one sign;
// a minus negates modulo 2^32, a magnitude past 32 bits saturates, empty text
// is 0. Leaves `value` alone on failure.
bool ParseNumber(std::string_view text, uint32_t& value);

// ParseNumber in seconds, converted to milliseconds and saturated at 32 bits.
bool ParseSeconds(std::string_view text, uint32_t& milliseconds);

}  // namespace flashkit
