#pragma once

#include "platform/device.h"
#include "platform/sys_error.h"

// Terminal settings of a serial line descriptor, through termios2 so that any
// baud rate passes. Kept apart because the kernel's termios2 header cannot
// share a file with <termios.h>.
namespace flashkit::platform::line_control {

// kOther for a node that is not a terminal.
SysStatus CheckTerminal(int fd);
// No echo, no translation, no signals, no software flow control, modem lines
// ignored, reads that return at once. Hardware flow control stays as it is.
SysStatus MakeRaw(int fd);
SysStatus ReadSettings(int fd, LineSettings& settings);
// kInvalidParameter for settings the line cannot have or the driver refuses.
SysStatus ApplySettings(int fd, const LineSettings& settings);
SysStatus ReturnReadsAtOnce(int fd);
// Reads wait up to `deciseconds` for their first byte (0: they return at
// once), for programs that keep the line as they find it.
SysStatus SetReadWait(int fd, uint8_t deciseconds);
// Waits until the output queue has gone out on the line.
SysStatus Drain(int fd);
// Discards both queues.
SysStatus DiscardQueues(int fd);
SysStatus SetDtr(int fd, bool on);
// Keeps further opens out (except root's; the caller also locks).
SysStatus SetExclusive(int fd, bool on);

}  // namespace flashkit::platform::line_control
