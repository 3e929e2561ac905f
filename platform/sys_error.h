#pragma once

#include <string>

namespace flashkit::platform {

// The few reasons for failure the code above the platform tells apart. The
// values are the Win32 codes those callers were written against.
enum class SysError : int {
  kNone = 0,
  kFileNotFound = 2,        // ENOENT, ENOTDIR
  kAccessDenied = 5,        // EACCES, EPERM, EBUSY, a line another program holds
  kInvalidParameter = 87,   // a line setting the driver refuses
  kOther = 31,              // anything else (ERROR_GEN_FAILURE)
};

// Some errno values mean more in one place than in general: EWOULDBLOCK from
// a lock is another program holding the line, EINVAL from a line setting is
// the driver refusing it.
enum class ErrnoContext { kGeneral, kLock, kLineSetting };

// A failure as the platform saw it: the mapped reason and the OS text.
struct SysStatus {
  SysError error = SysError::kNone;
  int os_errno = 0;

  bool ok() const { return error == SysError::kNone; }
  std::string Text() const;  // strerror of os_errno, or a description

  static SysStatus Ok() { return {}; }
  // Maps errno once, here.
  static SysStatus FromErrno(int err, ErrnoContext context = ErrnoContext::kGeneral);
};

}  // namespace flashkit::platform
