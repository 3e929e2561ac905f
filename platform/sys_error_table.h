#pragma once

#include <span>

#include "platform/sys_error.h"

namespace flashkit::platform {

// One system's error code and what it means to the code above.
struct ErrorRow {
  ErrnoContext context;  // kGeneral rows hold everywhere
  int code;
  SysError error;
};

// The first row for `code` that holds in `context`; kOther when none does.
SysStatus StatusFromRows(std::span<const ErrorRow> rows, int code, ErrnoContext context);

// A few words for `error` when the system has no text of its own.
const char* SysErrorDescription(SysError error);

}  // namespace flashkit::platform
