#pragma once

#include <cstdint>
#include <deque>
#include <functional>
#include <map>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "platform/device_system.h"
#include "tests/support/virtual_clock.h"

namespace flashkit::testing {

using Bytes = std::vector<uint8_t>;

// The calls a fake device can be told to fail.
enum class DeviceOp { kRead, kWrite, kFlush, kPurge, kGetSettings, kSetSettings, kReadsAtOnce, kDtr, kClose };

// A virtual clock that also notes each sleep ("sleep 10") and each wait for
// input ("wait 10") in the call log. A wait ends early when scripted input
// arrives, as a wait on a descriptor does.
class LoggingClock : public VirtualClock {
 public:
  explicit LoggingClock(std::vector<std::string>& log) : log_(log) {}
  void SleepMs(uint32_t ms) override;
  void SleepUntilInput(platform::Device& device, uint32_t ms) override;

 private:
  std::vector<std::string>& log_;
};

// The far side of one fake serial line or pipe: bytes that arrive at set
// virtual times, what was written, the line settings, injected failures.
// Every call on the device goes into the shared log, prefixed by the device's
// label ("" for the COM line, so its entries read "read", "write", "purge").
class FakeDeviceState {
 public:
  FakeDeviceState(LoggingClock& clock, std::vector<std::string>& log, std::string label)
      : clock_(clock), log_(log), label_(std::move(label)) {}

  // Queues bytes that arrive `delay_ms` after now (never before earlier ones).
  void Arrive(const Bytes& bytes, uint64_t delay_ms = 0);
  void Arrive(std::string_view text, uint64_t delay_ms = 0);
  // Queues bytes at an absolute virtual time.
  void ArriveAt(uint64_t at_ms, const Bytes& bytes);
  size_t Pending() const { return inbound_.size(); }

  // Call `nth` (1-based) of `op` fails with `error`; nth 0: every call.
  void Fail(DeviceOp op, platform::SysError error, int nth = 0);
  // Write call `nth` (1-based) accepts at most `bytes`.
  void LimitWrite(int nth, size_t bytes) { write_limits_[nth] = bytes; }

  platform::LineSettings settings{};  // what GetSettings reports; SetSettings stores here
  std::vector<platform::LineSettings> applied;
  std::vector<Bytes> offered;  // the bytes of each write call
  Bytes written;               // the bytes the device took, in order
  bool closed = false;
  // Called with the bytes of each write the device took, on the writer's
  // thread: a test's window into a transfer another thread makes.
  std::function<void(const Bytes&)> on_write;

  // Used by the fake device.
  platform::SysStatus Call(DeviceOp op, std::string_view entry);
  platform::IoResult Read(uint8_t* data, size_t len);
  platform::IoResult Write(const uint8_t* data, size_t len);
  void PollInput(uint32_t ms);

 private:
  struct Timed {
    uint64_t at;
    uint8_t byte;
  };
  struct Failure {
    DeviceOp op;
    platform::SysError error;
    int nth;
  };

  LoggingClock& clock_;
  std::vector<std::string>& log_;
  std::string label_;
  std::deque<Timed> inbound_;
  std::vector<Failure> failures_;
  std::map<DeviceOp, int> calls_;
  std::map<int, size_t> write_limits_;
};

// A DeviceSystem with one fake COM line, fake pipes, scripted interface lists
// and events that can run out, all on a virtual clock.
class FakeDeviceSystem : public platform::DeviceSystem {
 public:
  // Every call in order: "open \\.\com7", "flush", "read", "sleep 10", ...
  std::vector<std::string> log;
  LoggingClock time{log};

  // The COM line any OpenSerial opens, unless open_error is set.
  FakeDeviceState line{time, log, ""};
  std::optional<platform::SysError> open_error;
  std::vector<std::string> opened_names;

  // Pipes that exist, by full path; others fail with kFileNotFound.
  FakeDeviceState& AddPipe(const std::string& path);
  FakeDeviceState& Pipe(const std::string& path) { return *pipes_.at(path); }

  // What ListInterfaces reports for any class.
  std::optional<std::vector<std::string>> interfaces = std::vector<std::string>{};
  // Listed interfaces that refuse to open (kAccessDenied), as one held by
  // another program does.
  std::vector<std::string> unopenable;

  // NewEvent call `nth` (1-based) gives nothing.
  std::optional<int> fail_event_call;
  int event_calls = 0;
  int events_alive = 0;

  platform::Opened<platform::SerialLine> OpenSerial(const std::string& device_name) override;
  platform::Opened<platform::Device> OpenPipe(const std::string& path) override;
  // An interface path opens when it is among `interfaces` and not `unopenable`.
  platform::Opened<platform::Device> OpenInterface(const std::string& path) override;
  std::optional<std::vector<std::string>> ListInterfaces(const std::string& class_guid) override;
  std::unique_ptr<platform::Event> NewEvent() override;
  platform::Clock& clock() override { return time; }

 private:
  std::map<std::string, std::unique_ptr<FakeDeviceState>> pipes_;
  int next_id_ = 3;
};

}  // namespace flashkit::testing
