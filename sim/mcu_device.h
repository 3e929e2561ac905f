#pragma once

#include <cstdint>
#include <functional>
#include <span>
#include <string_view>

#include "ports/port.h"
#include "sim/event_log.h"
#include "sim/mcu_flash.h"
#include "sim/mcu_memory_map.h"
#include "sim/mcu_settings.h"
#include "sim/request_listener.h"

namespace flashkit::sim {

// Spends the time the part takes to program or erase, in microseconds; the
// line keeps moving meanwhile.
using DeviceBusy = std::function<void(uint64_t microseconds)>;

// A microcontroller in its USART bootloader, from reset: it answers the
// commands Get, Get Version, Get ID, Read Memory, Go, Write Memory and
// Erase, each a byte and its complement, with ACK 0x79 or NACK 0x1F. The
// first 0x7F is the synchronisation and gets ACK, any later one NACK; the
// line is not measured, so commands are answered before it too. Go to the
// start of flash starts the device's loader there, which speaks the same
// commands; Go anywhere else starts an application that ignores the line.
// Every command, write and NACK is reported as an event.
class McuDevice {
 public:
  // A frame that stops this long before it is complete is given up, and the
  // next byte is taken as a command.
  static constexpr uint32_t kFrameGapMs = 1000;

  McuDevice(Port& port, EventLog& events, McuFlash& flash, const McuSettings& settings,
            DeviceBusy busy, StopCheck stopping);

  // Answers commands until `stopping` says so or the port fails.
  void Run();

  // Waits for one command and handles it; false once stopping or the port
  // failed.
  bool ServeOne();

  bool app_running() const { return app_running_; }

 private:
  // Where a command stands after one of its steps.
  enum class Step { kGoOn, kEnded, kPortFailed };
  struct CommandRow {
    uint8_t code;
    bool (McuDevice::*serve)();
  };
  static const CommandRow kCommands[];

  bool WaitForCommand(uint8_t* code);
  // The next bytes of the frame of `command`.
  Step Take(uint8_t command, std::span<uint8_t> out);
  // An address frame: four bytes, most significant first, and their XOR.
  Step TakeAddress(uint8_t command, uint32_t* address);
  bool Reply(std::span<const uint8_t> bytes);
  bool Ack();
  bool Nack(std::string_view reason, uint8_t command);
  Step NackStep(std::string_view reason, uint8_t command);

  bool AnswerSync();
  bool ServeGet();
  bool ServeGetVersion();
  bool ServeGetId();
  bool ServeRead();
  bool ServeGo();
  bool ServeWrite();
  bool ServeErase();
  bool EraseAll();
  bool ErasePages(uint8_t count_code);

  Port& port_;
  EventLog& events_;
  McuFlash& flash_;
  McuMemoryMap memory_;
  McuSettings settings_;
  DeviceBusy busy_;
  StopCheck stopping_;
  bool synced_ = false;
  bool app_running_ = false;
};

}  // namespace flashkit::sim
