#pragma once

#include <cstdint>

namespace flashkit {

// Ends the run: thrown by the reporting routines and turned into the exit
// status by the entry, so that everything on the way up is destroyed in
// order (the serial line gets its settings back, open files are closed).
struct ProcessExit {
  int32_t status;
};

}  // namespace flashkit
