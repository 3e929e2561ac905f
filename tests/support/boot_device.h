#pragma once

#include <cstdint>
#include <map>
#include <span>
#include <string>
#include <vector>

#include "tests/support/fake_ring_port.h"

namespace flashkit::testing {

// A microcontroller sitting in its USART bootloader, as far as McuBootloader
// uses it: sync, Get ID, erase, Write Memory and Go, one frame per Write. It
// checks every complement and checksum, keeps what it was told to write, and
// notes each command it understood. Faults turn the answer to chosen
// occurrences of a command into something else.
class BootDevice {
 public:
  enum class Answer { kSilent, kNack, kGarbage, kDoubleAck };
  static constexpr int kAnyCommand = -1;
  struct Fault {
    int command;  // command code, 0x7F for the sync byte, or kAnyCommand
    int first;    // occurrences of that command, counted from 1
    int last;
    Answer answer;
  };

  explicit BootDevice(std::vector<Fault> faults = {}, uint64_t reply_delay_ms = 0)
      : faults_(std::move(faults)), delay_ms_(reply_delay_ms) {}
  void Attach(FakeRingPort& port);

  // "sync", "get id", "erase all", "erase 2 from 5", "write 08008000 +256",
  // "go 08000000", and "?" for a frame it could not make sense of.
  std::vector<std::string> commands;
  std::map<uint32_t, uint8_t> flash;
  std::vector<uint8_t> FlashAt(uint32_t address, size_t length) const;

 private:
  enum class Expect { kCommand, kGoAddress, kWriteAddress, kWriteData, kEraseParams };
  void OnFrame(FakeRingPort& port, std::span<const uint8_t> frame);
  void OnCommand(FakeRingPort& port, uint8_t code);
  // False (after a NACK) when the frame is not four bytes and their XOR.
  bool TakeAddress(FakeRingPort& port, std::span<const uint8_t> frame, uint32_t& address);
  void Reply(FakeRingPort& port, std::vector<uint8_t> bytes);

  std::vector<Fault> faults_;
  uint64_t delay_ms_;
  std::map<int, int> seen_;
  Expect expect_ = Expect::kCommand;
  uint32_t write_address_ = 0;
};

}  // namespace flashkit::testing
