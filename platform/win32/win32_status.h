#pragma once

#include "platform/sys_error.h"
#include "platform/win32/windows_api.h"

namespace flashkit::platform {

// On Windows a SysStatus keeps the Win32 error code where Linux keeps errno;
// FromErrno maps those codes, once, in win32/sys_error.cpp.
inline SysStatus FromLastError(ErrnoContext context = ErrnoContext::kGeneral) {
  return SysStatus::FromErrno(static_cast<int>(::GetLastError()), context);
}

}  // namespace flashkit::platform
