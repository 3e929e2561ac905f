#pragma once

#include <cstdint>
#include <memory>

namespace flashkit::platform {

// An unnamed manual-reset event that starts non-signalled; it can be polled
// alongside device descriptors.
class Event {
 public:
  virtual ~Event() = default;
  virtual void Set() = 0;
  virtual void Reset() = 0;
  virtual bool IsSet() = 0;
  // Waits at most `ms` for the event to be set; true when it is. A signal
  // that interrupts the wait ends it early.
  virtual bool Wait(uint32_t ms) = 0;
  virtual int Fd() const = 0;
};

// Null when the OS cannot make one.
std::unique_ptr<Event> CreateEvent();

}  // namespace flashkit::platform
