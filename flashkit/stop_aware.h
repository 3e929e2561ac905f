#pragma once

#include <cstdint>
#include <memory>
#include <string>

#include "gui/links/ring_port.h"
#include "platform/clock.h"

namespace flashkit::rack {

// True once Ctrl-C or SIGTERM has asked the run to stop.
bool StopAsked();

// The bootloader's line, cut off once a stop is asked: nothing more goes out
// or comes in, and waits end at once, so the client runs through its
// remaining tries in no time and closes the line.
class StopAwareRingPort : public RingPort {
 public:
  explicit StopAwareRingPort(std::unique_ptr<RingPort> inner) : inner_(std::move(inner)) {}

  void SetParams(int32_t port_index, uint32_t baud, uint8_t byte_size, uint8_t stop_bits,
                 uint8_t parity) override {
    inner_->SetParams(port_index, baud, byte_size, stop_bits, parity);
  }
  void SetPath(const std::string& path) override { inner_->SetPath(path); }
  int32_t Open() override { return StopAsked() ? 0 : inner_->Open(); }
  std::string OpenFailureText() const override {
    return StopAsked() ? "stopped" : inner_->OpenFailureText();
  }
  int32_t Write(const uint8_t* data, uint32_t length) override {
    return StopAsked() ? 0 : inner_->Write(data, length);
  }
  int32_t TakeByte(uint8_t* byte) override { return StopAsked() ? 0 : inner_->TakeByte(byte); }
  void PauseForInput(uint32_t ms) override {
    if (!StopAsked()) inner_->PauseForInput(ms);
  }
  int32_t Close() override { return inner_->Close(); }

 private:
  std::unique_ptr<RingPort> inner_;
};

// The USB download's pauses (its connect retries, the re-enumeration wait)
// end early once a stop is asked.
class StopAwareClock : public platform::Clock {
 public:
  explicit StopAwareClock(platform::Clock& inner) : inner_(inner) {}
  uint64_t NowMs() override { return inner_.NowMs(); }
  void SleepMs(uint32_t ms) override;
  void SleepUntilInput(platform::Device& device, uint32_t ms) override {
    if (!StopAsked()) inner_.SleepUntilInput(device, ms);
  }

 private:
  platform::Clock& inner_;
};

}  // namespace flashkit::rack
