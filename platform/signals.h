#pragma once

namespace flashkit::platform {

// SIGINT and SIGTERM no longer end the process: they raise a flag and make a
// descriptor readable, so a program can end its waits and clean up after
// itself. SIGPIPE is ignored, so a reader of its output that goes away makes
// writes fail instead of ending the program before it has cleaned up. Returns false when the handlers could not be installed. Calling it
// again changes nothing.
bool InstallStopSignals();

// The signal that asked the program to stop, or 0 while none has.
int StopSignal();

// Readable once a stop signal has arrived; -1 before InstallStopSignals.
int StopSignalFd();

// "SIGINT", "SIGTERM", or "" for 0.
const char* StopSignalName(int signal_number);

}  // namespace flashkit::platform
