#include "platform/sys_error.h"

#include <cerrno>
#include <cstring>

namespace flashkit::platform {
namespace {

struct ErrnoRow {
  ErrnoContext context;  // kGeneral rows hold everywhere
  int err;
  SysError error;
};

constexpr ErrnoRow kErrnoRows[] = {
    {ErrnoContext::kGeneral, ENOENT, SysError::kFileNotFound},
    {ErrnoContext::kGeneral, ENOTDIR, SysError::kFileNotFound},
    {ErrnoContext::kGeneral, EACCES, SysError::kAccessDenied},
    {ErrnoContext::kGeneral, EPERM, SysError::kAccessDenied},
    {ErrnoContext::kGeneral, EBUSY, SysError::kAccessDenied},
    {ErrnoContext::kLock, EWOULDBLOCK, SysError::kAccessDenied},
    {ErrnoContext::kLineSetting, EINVAL, SysError::kInvalidParameter},
};

struct Description {
  SysError error;
  const char* text;
};

constexpr Description kDescriptions[] = {
    {SysError::kNone, "no error"},
    {SysError::kFileNotFound, "no such device"},
    {SysError::kAccessDenied, "access denied"},
    {SysError::kInvalidParameter, "setting refused"},
    {SysError::kOther, "device failure"},
};

}  // namespace

SysStatus SysStatus::FromErrno(int err, ErrnoContext context) {
  for (const ErrnoRow& row : kErrnoRows) {
    if (row.err == err && (row.context == ErrnoContext::kGeneral || row.context == context)) {
      return {row.error, err};
    }
  }
  return {SysError::kOther, err};
}

std::string SysStatus::Text() const {
  if (os_errno != 0) {
    char buffer[256];
    // The GNU strerror_r may return a static string instead of filling the buffer.
    return strerror_r(os_errno, buffer, sizeof buffer);
  }
  for (const Description& d : kDescriptions) {
    if (d.error == error) return d.text;
  }
  return "unknown failure";
}

}  // namespace flashkit::platform
