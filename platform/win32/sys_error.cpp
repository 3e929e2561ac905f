// Win32 error codes mapped to the few reasons the code above tells apart.
#include <string>

#include "platform/sys_error_table.h"
#include "platform/win32/win32_status.h"

namespace flashkit::platform {
namespace {

constexpr ErrorRow kCodeRows[] = {
    {ErrnoContext::kGeneral, ERROR_FILE_NOT_FOUND, SysError::kFileNotFound},
    {ErrnoContext::kGeneral, ERROR_PATH_NOT_FOUND, SysError::kFileNotFound},
    {ErrnoContext::kGeneral, ERROR_INVALID_NAME, SysError::kFileNotFound},
    {ErrnoContext::kGeneral, ERROR_BAD_PATHNAME, SysError::kFileNotFound},
    {ErrnoContext::kGeneral, ERROR_ACCESS_DENIED, SysError::kAccessDenied},
    // Another program holds the port: what share mode 0 gives the second opener.
    {ErrnoContext::kGeneral, ERROR_SHARING_VIOLATION, SysError::kAccessDenied},
    {ErrnoContext::kGeneral, ERROR_BUSY, SysError::kAccessDenied},
    {ErrnoContext::kLineSetting, ERROR_INVALID_PARAMETER, SysError::kInvalidParameter},
    {ErrnoContext::kLineSetting, ERROR_NOT_SUPPORTED, SysError::kInvalidParameter},
};

}  // namespace

SysStatus SysStatus::FromErrno(int err, ErrnoContext context) {
  return StatusFromRows(kCodeRows, err, context);
}

std::string SysStatus::Text() const {
  if (os_errno != 0) {
    char buffer[256];
    const DWORD n = ::FormatMessageA(FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS, nullptr,
                                     static_cast<DWORD>(os_errno), 0, buffer, sizeof buffer, nullptr);
    std::string text(buffer, n);
    // The system's messages end in a full stop and a line break.
    while (!text.empty() && (text.back() == '\n' || text.back() == '\r' || text.back() == '.')) {
      text.pop_back();
    }
    if (!text.empty()) return text;
    return "system error " + std::to_string(os_errno);
  }
  return SysErrorDescription(error);
}

}  // namespace flashkit::platform
