#include "platform/sys_error_table.h"

namespace flashkit::platform {
namespace {

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

SysStatus StatusFromRows(std::span<const ErrorRow> rows, int code, ErrnoContext context) {
  for (const ErrorRow& row : rows) {
    if (row.code == code && (row.context == ErrnoContext::kGeneral || row.context == context)) {
      return {row.error, code};
    }
  }
  return {SysError::kOther, code};
}

const char* SysErrorDescription(SysError error) {
  for (const Description& d : kDescriptions) {
    if (d.error == error) return d.text;
  }
  return "unknown failure";
}

}  // namespace flashkit::platform
