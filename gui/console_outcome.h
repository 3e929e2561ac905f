#pragma once

#include <string>

namespace flashkit {

// How a console tool's run ended: its exit status, or the signal that
// killed it.
struct ConsoleEnd {
  bool killed = false;
  int number = 0;  // the exit status, or the signal's number
};

// The line the dialog shows when a linkxfer it started has ended, read from
// its exit status the way linkxfer's exit-status table reads it (a failure's
// negative code arrives as its low eight bits). Empty for exit status 0: the
// download-ended text says that.
std::string ConsoleOutcomeText(const ConsoleEnd& end);

}  // namespace flashkit
