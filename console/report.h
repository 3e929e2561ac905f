#pragma once

#include <cstdint>

#include "console/console_context.h"

namespace flashkit {

// Lets a console window opened just for this run show the closing text
// before it goes.
inline constexpr uint32_t kClosingPauseMs = 10;

// A command-line mistake: the message and a hint on standard error, exit
// status 1.
[[noreturn]] void UsageError(const ConsoleContext& console, const char* format, ...)
    __attribute__((format(printf, 2, 3)));

// A run-time failure: the message with its status on standard error, the
// closing text on standard output, and `status` as the exit status. A run a
// stop signal ended (status::kInterrupted) names the signal instead and exits
// with 128 + its number, as a shell shows a program that signal ended.
[[noreturn]] void FatalError(const ConsoleContext& console, int32_t status, const char* format,
                             ...) __attribute__((format(printf, 3, 4)));

}  // namespace flashkit
