#include "platform/event.h"

#include <gtest/gtest.h>

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

}  // namespace
}  // namespace flashkit::platform
