#pragma once

#include <array>
#include <atomic>
#include <cstdint>
#include <memory>
#include <string>
#include <thread>

#include "gui/links/message_boxes.h"
#include "gui/links/ring_port.h"
#include "platform/device_system.h"

namespace flashkit {

// flashpanel's COM port: a reader thread moves every received byte into a
// 4096-byte ring, which the caller empties a byte at a time. The ring is a
// single-producer single-consumer queue: the reader thread alone advances
// m_WriteIndex, the caller alone m_ReadIndex. When the ring is full the reader
// stops taking bytes from the line until the caller has taken some, so no
// byte is ever overwritten. Open, Close, SetParams and Write belong to the
// caller's thread.
class SerialPort : public RingPort {
 public:
  static constexpr int kRingSize = 4096;

  SerialPort(platform::DeviceSystem& system, MessageBoxes& boxes);
  ~SerialPort() override;  // stops the reader if the owner forgot to Close

  void SetParams(int32_t port_index, uint32_t baud, uint8_t byte_size, uint8_t stop_bits,
                 uint8_t parity) override;
  int32_t Open() override;
  int32_t Write(const uint8_t* data, uint32_t length) override;
  int32_t TakeByte(uint8_t* byte) override;
  void PauseForInput(uint32_t ms) override;
  int32_t Close() override;

  // 1 when `expected` is taken within 101 takes 1 ms apart, else -1; other
  // bytes taken meanwhile are dropped.
  int32_t WaitForByte(uint8_t expected);

  // 115200 for exactly "115200", 38400 for anything else.
  static uint32_t BaudFromText(const std::string& text);
  // The number in the text minus 1; 0 when it does not start with a digit.
  static int16_t PortIndexFromText(const std::string& text);

 private:
  bool ApplyLineSettings();
  void ReaderThread();
  int32_t ReadQueued(uint8_t* buffer);

  platform::DeviceSystem& system_;
  MessageBoxes& boxes_;

  std::unique_ptr<platform::Event> m_RDEvent;
  std::unique_ptr<platform::Event> m_WREvent;
  std::unique_ptr<platform::SerialLine> m_hCom;
  std::atomic<int32_t> m_bRunning{0};
  int16_t m_PortNumber = 0;
  uint32_t m_Baud = 0;
  uint8_t m_Parity = 0;
  uint8_t m_StopBits = 0;
  uint8_t m_ByteSize = 8;
  std::atomic<int32_t> m_WriteIndex{0};
  std::atomic<int32_t> m_ReadIndex{0};
  std::array<uint8_t, kRingSize> m_Ring{};
  std::thread m_hReaderThread;
  // Wakes the reader out of its wait on the line (Close) and out of a full
  // ring (a byte taken); wakes the caller's pause when bytes arrive.
  std::unique_ptr<platform::Event> wake_reader_;
  std::unique_ptr<platform::Event> bytes_arrived_;
};

}  // namespace flashkit
