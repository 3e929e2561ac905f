#include "tests/support/fake_device_system.h"

#include <algorithm>

namespace flashkit::testing {
namespace {

using platform::IoResult;
using platform::SysError;
using platform::SysStatus;

SysStatus Failed(SysError error) { return {error, 0}; }

// A serial line or pipe whose far side is a FakeDeviceState.
class FakeDevice : public platform::SerialLine {
 public:
  FakeDevice(FakeDeviceState& state, int id) : state_(state), id_(id) {}

  int Id() const override { return id_; }
  IoResult Read(uint8_t* data, size_t len) override { return state_.Read(data, len); }
  IoResult Write(const uint8_t* data, size_t len) override { return state_.Write(data, len); }
  void PollInput(uint32_t ms) override { state_.PollInput(ms); }
  bool Close() override {
    if (state_.closed) return true;
    state_.closed = true;
    return state_.Call(DeviceOp::kClose, "close").ok();
  }

  SysStatus Flush() override { return state_.Call(DeviceOp::kFlush, "flush"); }
  SysStatus Purge() override { return state_.Call(DeviceOp::kPurge, "purge"); }
  SysStatus GetSettings(platform::LineSettings& settings) override {
    const SysStatus s = state_.Call(DeviceOp::kGetSettings, "get settings");
    if (s.ok()) settings = state_.settings;
    return s;
  }
  SysStatus SetSettings(const platform::LineSettings& settings) override {
    const SysStatus s = state_.Call(DeviceOp::kSetSettings, "set settings");
    if (s.ok()) {
      state_.settings = settings;
      state_.applied.push_back(settings);
    }
    return s;
  }
  SysStatus SetReadsReturnAtOnce() override { return state_.Call(DeviceOp::kReadsAtOnce, "reads at once"); }
  SysStatus SetDtr(bool on) override { return state_.Call(DeviceOp::kDtr, on ? "dtr on" : "dtr off"); }

 private:
  FakeDeviceState& state_;
  int id_;
};

class FakeEvent : public platform::Event {
 public:
  explicit FakeEvent(int& alive) : alive_(alive) { ++alive_; }
  ~FakeEvent() override { --alive_; }
  void Set() override { set_ = true; }
  void Reset() override { set_ = false; }
  bool IsSet() override { return set_; }
  // Nothing else runs while a test waits: the state cannot change meanwhile.
  bool Wait(uint32_t) override { return set_; }
  int Fd() const override { return -1; }

 private:
  int& alive_;
  bool set_ = false;
};

}  // namespace

void LoggingClock::SleepMs(uint32_t ms) {
  log_.push_back("sleep " + std::to_string(ms));
  VirtualClock::SleepMs(ms);
}

void LoggingClock::SleepUntilInput(platform::Device& device, uint32_t ms) {
  log_.push_back("wait " + std::to_string(ms));
  sleeps.push_back(ms);
  device.PollInput(ms);
}

void FakeDeviceState::Arrive(const Bytes& bytes, uint64_t delay_ms) {
  uint64_t at = clock_.NowMs() + delay_ms;
  if (!inbound_.empty()) at = std::max(at, inbound_.back().at);
  ArriveAt(at, bytes);
}

void FakeDeviceState::Arrive(std::string_view text, uint64_t delay_ms) {
  Arrive(Bytes(text.begin(), text.end()), delay_ms);
}

void FakeDeviceState::ArriveAt(uint64_t at_ms, const Bytes& bytes) {
  for (uint8_t b : bytes) inbound_.push_back({at_ms, b});
}

void FakeDeviceState::Fail(DeviceOp op, SysError error, int nth) { failures_.push_back({op, error, nth}); }

SysStatus FakeDeviceState::Call(DeviceOp op, std::string_view entry) {
  log_.push_back(label_.empty() ? std::string(entry) : label_ + " " + std::string(entry));
  const int call = ++calls_[op];
  for (const Failure& f : failures_) {
    if (f.op == op && (f.nth == 0 || f.nth == call)) return Failed(f.error);
  }
  return SysStatus::Ok();
}

IoResult FakeDeviceState::Read(uint8_t* data, size_t len) {
  if (SysStatus s = Call(DeviceOp::kRead, "read"); !s.ok()) return {0, s};
  size_t n = 0;
  while (n < len && !inbound_.empty() && inbound_.front().at <= clock_.NowMs()) {
    data[n++] = inbound_.front().byte;
    inbound_.pop_front();
  }
  return {n, SysStatus::Ok()};
}

IoResult FakeDeviceState::Write(const uint8_t* data, size_t len) {
  if (SysStatus s = Call(DeviceOp::kWrite, "write"); !s.ok()) return {0, s};
  offered.emplace_back(data, data + len);
  size_t taken = len;
  if (auto limit = write_limits_.find(calls_[DeviceOp::kWrite]); limit != write_limits_.end()) {
    taken = std::min(len, limit->second);
  }
  written.insert(written.end(), data, data + taken);
  if (on_write) on_write(offered.back());
  return {taken, SysStatus::Ok()};
}

void FakeDeviceState::PollInput(uint32_t ms) {
  const uint64_t now = clock_.NowMs();
  uint64_t until = now + ms;
  if (!inbound_.empty()) until = std::clamp(inbound_.front().at, now, until);
  clock_.Set(until);
}

FakeDeviceState& FakeDeviceSystem::AddPipe(const std::string& path) {
  auto& state = pipes_[path];
  state = std::make_unique<FakeDeviceState>(time, log, path.substr(path.rfind('\\') + 1));
  return *state;
}

platform::Opened<platform::SerialLine> FakeDeviceSystem::OpenSerial(const std::string& device_name) {
  log.push_back("open " + device_name);
  opened_names.push_back(device_name);
  if (open_error) return {nullptr, Failed(*open_error)};
  line.closed = false;
  return {std::make_unique<FakeDevice>(line, next_id_++), SysStatus::Ok()};
}

platform::Opened<platform::Device> FakeDeviceSystem::OpenPipe(const std::string& path) {
  log.push_back("open " + path);
  auto pipe = pipes_.find(path);
  if (pipe == pipes_.end()) return {nullptr, Failed(SysError::kFileNotFound)};
  pipe->second->closed = false;
  return {std::make_unique<FakeDevice>(*pipe->second, next_id_++), SysStatus::Ok()};
}

platform::Opened<platform::Device> FakeDeviceSystem::OpenInterface(const std::string& path) {
  log.push_back("open interface " + path);
  const bool present =
      interfaces && std::find(interfaces->begin(), interfaces->end(), path) != interfaces->end();
  if (!present) return {nullptr, Failed(SysError::kFileNotFound)};
  if (std::find(unopenable.begin(), unopenable.end(), path) != unopenable.end()) {
    return {nullptr, Failed(SysError::kAccessDenied)};
  }
  return {std::make_unique<FakeDevice>(line, next_id_++), SysStatus::Ok()};
}

std::optional<std::vector<std::string>> FakeDeviceSystem::ListInterfaces(const std::string& class_guid) {
  log.push_back("list " + class_guid);
  return interfaces;
}

std::unique_ptr<platform::Event> FakeDeviceSystem::NewEvent() {
  log.push_back("new event");
  if (++event_calls == fail_event_call) return nullptr;
  return std::make_unique<FakeEvent>(events_alive);
}

}  // namespace flashkit::testing
