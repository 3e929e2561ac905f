#pragma once

#include <atomic>
#include <cstdint>
#include <memory>
#include <string>
#include <thread>

#include "gui/links/byte_ring.h"
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
  SerialPort(const SerialPort&) = delete;
  SerialPort& operator=(const SerialPort&) = delete;

  void SetParams(int32_t port_index, uint32_t baud, uint8_t byte_size, uint8_t stop_bits,
                 uint8_t parity) override;
  void SetPath(const std::string& path) override;
  int32_t Open() override;
  std::string OpenFailureText() const override;
  int32_t Write(const uint8_t* data, uint32_t length) override;
  int32_t TakeByte(uint8_t* byte) override;
  void PauseForInput(uint32_t ms) override;
  // The result of closing the line: 1 when it closed cleanly, 0 otherwise
  // (also when the port was not open). The reader has ended when it returns.
  int32_t Close() override;

  // 1 when `expected` is taken within 101 takes 1 ms apart, else -1; other
  // bytes taken meanwhile are dropped.
  int32_t WaitForByte(uint8_t expected);

  // Bytes received and not yet taken (at most kRingSize - 1).
  int32_t Unread() const;

  // 115200 for exactly "115200", 38400 for anything else.
  static uint32_t BaudFromText(const std::string& text);
  // The number in the text minus 1; 0 when it does not start with a digit.
  static int16_t PortIndexFromText(const std::string& text);

 private:
  bool ApplyLineSettings();
  // Open's failure: nothing is held afterwards.
  int32_t OpenFailed(std::string why);
  void StartReader();
  void StopReader();
  void ReaderThread();
  // Bytes read into `buffer`, at most `room`; -1 when the line failed.
  int32_t ReadQueued(uint8_t* buffer, int32_t room);

  platform::DeviceSystem& system_;
  MessageBoxes& boxes_;

  // Set by the reader each time it has stored bytes; PauseForInput waits on it.
  std::unique_ptr<platform::Event> m_RDEvent;
  std::unique_ptr<platform::SerialLine> m_hCom;
  std::atomic<int32_t> m_bRunning{0};
  int16_t m_PortNumber = 0;
  std::string path_;  // names the line instead of m_PortNumber when set
  std::string open_failure_;
  uint32_t m_Baud = 0;
  uint8_t m_Parity = 0;
  uint8_t m_StopBits = 0;
  uint8_t m_ByteSize = 8;
  ByteRing<kRingSize> m_Ring;
  std::thread m_hReaderThread;
  // The reader's own event: wakes it out of its wait on the line (Close) and
  // out of a full ring (a byte taken).
  std::unique_ptr<platform::Event> wake_reader_;
};

}  // namespace flashkit
