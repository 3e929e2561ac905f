// The Windows platform's own contracts, as the Linux side keeps them: COM
// names, the reasons of failure, and the waits and the named lock under the
// programs' threads.

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <optional>
#include <string>
#include <thread>

#include "platform/clock.h"
#include "platform/device_namespace.h"
#include "platform/device_system.h"
#include "platform/event.h"
#include "platform/named_lock.h"
#include "platform/poller.h"
#include "platform/win32/win32_status.h"

namespace flashkit::platform {
namespace {

struct NameRow {
  const char* name;
  bool path;                          // IsSerialPath
  std::optional<std::string> opens;   // ResolveSerialName
};

class SerialName : public ::testing::TestWithParam<NameRow> {};

TEST_P(SerialName, ComNamesBecomeDeviceNamesAndDevicePathsStay) {
  EXPECT_EQ(IsSerialPath(GetParam().name), GetParam().path);
  EXPECT_EQ(ResolveSerialName(GetParam().name), GetParam().opens);
}

INSTANTIATE_TEST_SUITE_P(
    Win32, SerialName,
    ::testing::Values(NameRow{"COM3", false, "\\\\.\\COM3"}, NameRow{"com12", false, "\\\\.\\COM12"},
                      NameRow{"\\\\.\\com012", true, "\\\\.\\COM12"}, NameRow{"COM1000", false, "\\\\.\\COM1000"},
                      NameRow{"\\\\.\\CNCA0", true, "\\\\.\\CNCA0"}, NameRow{"/dev/ttyS0", false, std::nullopt},
                      NameRow{"LPT1", false, std::nullopt}),
    [](const auto& info) { return "n" + std::to_string(info.index); });

struct CodeRow {
  DWORD code;
  ErrnoContext context;
  SysError error;
};

class Win32Code : public ::testing::TestWithParam<CodeRow> {};

TEST_P(Win32Code, MapsToTheReasonTheCallersTellApart) {
  const SysStatus status = SysStatus::FromErrno(static_cast<int>(GetParam().code), GetParam().context);
  EXPECT_EQ(status.error, GetParam().error);
  EXPECT_FALSE(status.Text().empty());
}

INSTANTIATE_TEST_SUITE_P(
    Win32, Win32Code,
    ::testing::Values(CodeRow{ERROR_FILE_NOT_FOUND, ErrnoContext::kGeneral, SysError::kFileNotFound},
                      CodeRow{ERROR_PATH_NOT_FOUND, ErrnoContext::kGeneral, SysError::kFileNotFound},
                      CodeRow{ERROR_ACCESS_DENIED, ErrnoContext::kGeneral, SysError::kAccessDenied},
                      CodeRow{ERROR_SHARING_VIOLATION, ErrnoContext::kGeneral, SysError::kAccessDenied},
                      CodeRow{ERROR_INVALID_PARAMETER, ErrnoContext::kLineSetting, SysError::kInvalidParameter},
                      CodeRow{ERROR_INVALID_PARAMETER, ErrnoContext::kGeneral, SysError::kOther},
                      CodeRow{ERROR_GEN_FAILURE, ErrnoContext::kGeneral, SysError::kOther}));

TEST(Win32Serial, MissingPortIsNotFound) {
  const Opened<SerialLine> opened = RealSystem().OpenSerial("COM250");
  EXPECT_EQ(opened.device, nullptr);
  EXPECT_EQ(opened.status.error, SysError::kFileNotFound);
}

TEST(Win32Waits, AnEventEndsTheWaitsOnItAndTheirTimeOutsHold) {
  std::unique_ptr<Event> event = CreateEvent();
  ASSERT_NE(event, nullptr);
  Clock& clock = SystemClock();
  uint64_t start = clock.NowMs();
  EXPECT_FALSE(event->Wait(30));
  EXPECT_GE(clock.NowMs() - start, 30u);

  Poller poller;
  const size_t index = poller.Add(event->Fd());
  std::thread setter([&] {
    clock.SleepMs(20);
    event->Set();
  });
  start = clock.NowMs();
  EXPECT_EQ(poller.Wait(MonotonicNs() + 5'000'000'000ULL), 1);
  EXPECT_TRUE(poller.Ready(index));
  EXPECT_LT(clock.NowMs() - start, 2000u) << "the set ends the wait, not its deadline";
  setter.join();
  event->Reset();
  EXPECT_FALSE(event->IsSet());
}

TEST(Win32Lock, SecondHolderWaitsUntilTheFirstUnlocks) {
  const std::string name = "flashkit-test-" + std::to_string(::GetCurrentProcessId());
  NamedLock first(name);
  NamedLock second(name);
  ASSERT_TRUE(first.Lock());
  std::atomic<bool> got{false};
  std::thread waiter([&] {
    got = second.Lock();
    second.Unlock();
  });
  SystemClock().SleepMs(50);
  EXPECT_FALSE(got) << "held by the first";
  first.Unlock();
  waiter.join();
  EXPECT_TRUE(got);
}

}  // namespace
}  // namespace flashkit::platform
