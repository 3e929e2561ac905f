#pragma once

#include <asm/termbits.h>

#include <optional>

#include "platform/device.h"

// The terminal settings a serial line is given, built apart from the ioctl so
// they can be checked field by field: pseudo-terminals drop parity, so no line
// a test can open would show it. Includes the kernel's termios2, which cannot
// share a file with <termios.h>.
namespace flashkit::platform::line_control {

// `current` with the speed, character format and flow control of `settings`:
// any baud rate (BOTHER, input rate as output), no hardware or software flow
// control, receiver on and modem lines ignored, reads that return at once.
// Parity errors are not checked: a byte is passed on as it was received.
// Nothing when the line cannot have the settings (baud 0, a byte size outside
// 5 to 8, one and a half stop bits).
std::optional<termios2> BuildLineTermios(const termios2& current, const LineSettings& settings);

// The terminal settings as they are, and back as they were, at once (output
// still queued is not waited for).
SysStatus ReadTermios(int fd, termios2& t);
SysStatus WriteTermios(int fd, const termios2& t);

}  // namespace flashkit::platform::line_control
