#pragma once

#include "console/options.h"
#include "platform/clock.h"
#include "ports/text_out.h"

namespace flashkit {

// What the front end's parts share instead of process-wide globals.
struct ConsoleContext {
  Options& options;
  TextOut& out;  // standard output
  TextOut& err;  // standard error
  platform::Clock& clock;
};

}  // namespace flashkit
