#pragma once

#include "console/console_context.h"
#include "ports/port.h"

namespace flashkit {

// Sends file1 (announced as file2) over the port; returns only after a
// successful transfer, otherwise ends the run through UsageError or
// FatalError.
void RunSendJob(ConsoleContext& console, Port& port);

}  // namespace flashkit
