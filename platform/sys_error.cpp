#include "platform/sys_error.h"
#include "platform/sys_error_table.h"

#include <cerrno>
#include <cstring>

namespace flashkit::platform {
namespace {

constexpr ErrorRow kErrnoRows[] = {
    {ErrnoContext::kGeneral, ENOENT, SysError::kFileNotFound},
    {ErrnoContext::kGeneral, ENOTDIR, SysError::kFileNotFound},
    {ErrnoContext::kGeneral, EACCES, SysError::kAccessDenied},
    {ErrnoContext::kGeneral, EPERM, SysError::kAccessDenied},
    {ErrnoContext::kGeneral, EBUSY, SysError::kAccessDenied},
    {ErrnoContext::kLock, EWOULDBLOCK, SysError::kAccessDenied},
    {ErrnoContext::kLineSetting, EINVAL, SysError::kInvalidParameter},
};

}  // namespace

SysStatus SysStatus::FromErrno(int err, ErrnoContext context) {
  return StatusFromRows(kErrnoRows, err, context);
}

std::string SysStatus::Text() const {
  if (os_errno != 0) {
    char buffer[256];
    // The GNU strerror_r may return a static string instead of filling the buffer.
    return strerror_r(os_errno, buffer, sizeof buffer);
  }
  return SysErrorDescription(error);
}

}  // namespace flashkit::platform
