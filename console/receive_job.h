#pragma once

#include "console/console_context.h"
#include "ports/port.h"

namespace flashkit {

// Receives one file over the port, into file1 or under the name the YMODEM
// sender gives; returns only after a successful reception, otherwise ends
// the run through UsageError or FatalError.
void RunReceiveJob(ConsoleContext& console, Port& port);

}  // namespace flashkit
