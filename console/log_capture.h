#pragma once

#include "console/console_context.h"
#include "ports/port.h"

namespace flashkit {

// Records what the device sends into options.log_stream until it stays
// silent for log_timeout_ms or the termination string arrives; closes the
// file on every path. A read or file error ends the run through FatalError.
void CaptureLog(ConsoleContext& console, Port& port, bool use_usb);

}  // namespace flashkit
