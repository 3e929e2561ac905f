#include "platform/sys_error.h"

#include <gtest/gtest.h>

#include <cerrno>

namespace flashkit::platform {
namespace {

struct ErrnoRow {
  int err;
  ErrnoContext context;
  SysError error;
};

class ErrnoMapping : public ::testing::TestWithParam<ErrnoRow> {};

TEST_P(ErrnoMapping, MapsOnceKeepingTheOsText) {
  const SysStatus s = SysStatus::FromErrno(GetParam().err, GetParam().context);
  EXPECT_EQ(s.error, GetParam().error);
  EXPECT_EQ(s.os_errno, GetParam().err);
  EXPECT_FALSE(s.ok());
  EXPECT_FALSE(s.Text().empty());
}

INSTANTIATE_TEST_SUITE_P(
    Errnos, ErrnoMapping,
    ::testing::Values(ErrnoRow{ENOENT, ErrnoContext::kGeneral, SysError::kFileNotFound},
                      ErrnoRow{ENOTDIR, ErrnoContext::kGeneral, SysError::kFileNotFound},
                      ErrnoRow{EACCES, ErrnoContext::kGeneral, SysError::kAccessDenied},
                      ErrnoRow{EPERM, ErrnoContext::kGeneral, SysError::kAccessDenied},
                      ErrnoRow{EBUSY, ErrnoContext::kGeneral, SysError::kAccessDenied},
                      ErrnoRow{EBUSY, ErrnoContext::kLineSetting, SysError::kAccessDenied},
                      ErrnoRow{EWOULDBLOCK, ErrnoContext::kLock, SysError::kAccessDenied},
                      ErrnoRow{EWOULDBLOCK, ErrnoContext::kGeneral, SysError::kOther},
                      ErrnoRow{EINVAL, ErrnoContext::kLineSetting, SysError::kInvalidParameter},
                      ErrnoRow{EINVAL, ErrnoContext::kGeneral, SysError::kOther},
                      ErrnoRow{EINVAL, ErrnoContext::kLock, SysError::kOther},
                      ErrnoRow{EIO, ErrnoContext::kGeneral, SysError::kOther},
                      ErrnoRow{ENOTTY, ErrnoContext::kGeneral, SysError::kOther}));

TEST(SysStatus, TextOfTheOsError) {
  EXPECT_EQ(SysStatus::FromErrno(ENOENT).Text(), "No such file or directory");
  EXPECT_TRUE(SysStatus::Ok().ok());
}

}  // namespace
}  // namespace flashkit::platform
