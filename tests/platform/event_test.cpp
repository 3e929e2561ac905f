#include "platform/event.h"

#include <gtest/gtest.h>

#include <chrono>
#include <thread>

#include "platform/device_system.h"

namespace flashkit::platform {
namespace {

TEST(Event, ManualResetStartingClear) {
  std::unique_ptr<Event> event = RealSystem().NewEvent();
  ASSERT_NE(event, nullptr);
  EXPECT_GE(event->Fd(), 0);
  EXPECT_FALSE(event->IsSet());
  event->Set();
  event->Set();
  EXPECT_TRUE(event->IsSet());
  EXPECT_TRUE(event->IsSet());  // looking does not reset it
  event->Reset();               // one reset clears however many sets
  EXPECT_FALSE(event->IsSet());
  event->Reset();
  EXPECT_FALSE(event->IsSet());
}

uint64_t MsSince(std::chrono::steady_clock::time_point start) {
  return static_cast<uint64_t>(std::chrono::duration_cast<std::chrono::milliseconds>(
                                   std::chrono::steady_clock::now() - start)
                                   .count());
}

TEST(Event, WaitEndsAtItsLimitWhenNobodySetsIt) {
  std::unique_ptr<Event> event = RealSystem().NewEvent();
  ASSERT_NE(event, nullptr);
  const auto start = std::chrono::steady_clock::now();
  EXPECT_FALSE(event->Wait(40));
  EXPECT_GE(MsSince(start), 35u);
}

TEST(Event, WaitEndsWhenAnotherThreadSetsIt) {
  std::unique_ptr<Event> event = RealSystem().NewEvent();
  ASSERT_NE(event, nullptr);
  const auto start = std::chrono::steady_clock::now();
  std::thread setter([&] {
    std::this_thread::sleep_for(std::chrono::milliseconds(20));
    event->Set();
  });
  EXPECT_TRUE(event->Wait(5000));
  setter.join();
  EXPECT_LT(MsSince(start), 2000u);
  EXPECT_TRUE(event->IsSet());  // waiting does not reset it
  EXPECT_TRUE(event->Wait(0));
}

}  // namespace
}  // namespace flashkit::platform
