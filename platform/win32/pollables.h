#pragma once

#include "platform/win32/windows_api.h"

namespace flashkit::platform {

// Windows handles are no descriptors, but the interfaces above hand numbers
// around (Device::Id, Event::Fd) and the Poller waits on them. Each pollable
// object registers itself and is known by the number it gets.
class Pollable {
 public:
  virtual ~Pollable() = default;
  // Input is waiting, or the object has failed so the next read reports it.
  virtual bool InputReady() = 0;
  // A handle that is signalled when InputReady turns true, if there is one;
  // objects without one are looked at every millisecond.
  virtual HANDLE Signal() const { return nullptr; }
};

// Numbers start at 3, above the standard streams', and are not reused.
int RegisterPollable(Pollable& pollable);
void UnregisterPollable(int id);
// False for a number nobody holds.
bool PollableReady(int id);
HANDLE PollableSignal(int id);

}  // namespace flashkit::platform
