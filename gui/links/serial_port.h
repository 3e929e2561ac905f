#pragma once

#include <atomic>
#include <cstdint>
#include <memory>
#include <mutex>
#include <string>
#include <thread>

#include "gui/links/byte_ring.h"
#include "gui/links/message_boxes.h"
#include "gui/links/ring_port.h"
#include "platform/device_system.h"
#include "platform/poller.h"

namespace flashkit {

// flashpanel's COM port: a reader thread moves every received byte into a
// 4096-byte ring, which the caller empties a byte at a time. The ring is a
// single-producer single-consumer queue: only the holder of the producer lock
// advances m_WriteIndex, the caller alone m_ReadIndex. When the ring is full
// the reader stops taking bytes from the line until the caller has taken
// some, so no byte is ever overwritten. Open, Close, SetParams and Write
// belong to the caller's thread.
//
// The producer is the reader thread, except while the caller waits for input
// on an empty ring: then the reader stands aside, and the caller waits on the
// line itself and moves what comes into the ring. An answer then reaches it
// after one wake-up, as a blocking read would, instead of two (the reader's,
// then the caller's through the event).
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
  // Moves what the line has queued into the ring, as much as there is room
  // for, under the producer lock, and notes a trace line for the read. The
  // count moved; 0 also when the lock was taken and not `wait_for_lock`; -1
  // when the line failed.
  int32_t Pump(uint8_t* buffer, bool wait_for_lock);
  // Writes out the trace lines noted so far, in the order of the reads:
  // after the reader's reads, before the caller's next wait and at Close.
  void WriteTrace();
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
  // Held while bytes go from the line into the ring, by the reader or by a
  // waiting caller: for a read and a store.
  std::mutex pumping_;
  std::string pending_trace_;  // under pumping_
  std::atomic<bool> trace_pending_{false};
  std::mutex trace_order_;
  // The caller waits on the line; the reader waits on it. Each is announced
  // before the other's is looked at.
  std::atomic<bool> caller_waiting_{false};
  std::atomic<bool> reader_watching_{false};
  // The caller's wait on the line and on m_RDEvent together.
  std::unique_ptr<platform::Poller> caller_poller_;
};

}  // namespace flashkit
