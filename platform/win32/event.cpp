#include "platform/event.h"

#include "platform/poller.h"
#include "platform/win32/pollables.h"
#include "platform/win32/waits.h"

namespace flashkit::platform {
namespace {

// A Win32 manual-reset event, known to the Poller by its number.
class Win32Event : public Event, public Pollable {
 public:
  explicit Win32Event(HANDLE handle) : handle_(handle), id_(RegisterPollable(*this)) {}
  ~Win32Event() override {
    UnregisterPollable(id_);
    ::CloseHandle(handle_);
  }
  Win32Event(const Win32Event&) = delete;
  Win32Event& operator=(const Win32Event&) = delete;

  void Set() override { ::SetEvent(handle_); }
  void Reset() override { ::ResetEvent(handle_); }
  bool IsSet() override { return InputReady(); }

  // Alertable like a poll on Linux: a stop that comes during the wait ends it.
  bool Wait(uint32_t ms) override {
    return WaitUntilReady([this] { return InputReady(); }, {handle_}, true,
                          MonotonicNs() + uint64_t{ms} * 1'000'000);
  }

  int Fd() const override { return id_; }

  bool InputReady() override { return ::WaitForSingleObject(handle_, 0) == WAIT_OBJECT_0; }
  HANDLE Signal() const override { return handle_; }

 private:
  HANDLE handle_;
  int id_;
};

}  // namespace

std::unique_ptr<Event> CreateEvent() {
  HANDLE handle = ::CreateEventA(nullptr, TRUE, FALSE, nullptr);
  if (handle == nullptr) return nullptr;
  return std::make_unique<Win32Event>(handle);
}

}  // namespace flashkit::platform
