// The receiving half of SerialPort: the reader thread that fills the ring and
// the caller's side that empties it.
#include <array>
#include <cstdio>

#include "gui/links/byte_wait.h"
#include "gui/links/serial_port.h"
#include "platform/debug_output.h"
#include "platform/poller.h"

namespace flashkit {

void SerialPort::StartReader() {
  wake_reader_ = system_.NewEvent();
  if (!wake_reader_) {
    // The port stays open, but nothing fills the ring.
    boxes_.Show("Fail create event for thread", BoxIcon::kWarning);
    return;
  }
  m_hReaderThread = std::thread(&SerialPort::ReaderThread, this);
}

void SerialPort::StopReader() {
  m_bRunning = 0;
  if (wake_reader_) wake_reader_->Set();
  if (m_hReaderThread.joinable()) m_hReaderThread.join();
  wake_reader_.reset();
}

// Blocks on the line and on its own event at once, so Close ends it at once.
// The line and the ring belong to it until Close has joined it; the caller
// only writes to the line meanwhile.
void SerialPort::ReaderThread() {
  platform::Poller poller;
  const size_t line = poller.Add(m_hCom->Id());
  poller.Add(wake_reader_->Fd());
  std::array<uint8_t, kRingSize> buffer;
  for (;;) {
    // Reset before looking: a stop or a take that comes after the look still
    // ends the wait below.
    wake_reader_->Reset();
    if (m_bRunning == 0) return;
    const int32_t room = m_Ring.Room();
    // With a full ring the bytes stay queued in the driver until the caller
    // has taken some: nothing is overwritten.
    poller.Watch(line, room > 0, false);
    if (poller.Wait(std::nullopt) < 0) return;
    if (room == 0 || !poller.Ready(line)) continue;
    const int32_t count = ReadQueued(buffer.data(), room);
    // A line that hung up or failed has nothing more to give.
    if (count < 0) return;
    if (count == 0) continue;
    m_Ring.Store(buffer.data(), count);
    m_RDEvent->Set();
  }
}

int32_t SerialPort::ReadQueued(uint8_t* buffer, int32_t room) {
  const platform::IoResult result = m_hCom->Read(buffer, static_cast<size_t>(room));
  if (!result.ok()) return -1;
  const int32_t count = static_cast<int32_t>(result.count);
  if (count > 0) {
    char line[64];
    std::snprintf(line, sizeof line, "RECV[%3d][%d][%d]:\n", count, m_Ring.ReadIndex(),
                  m_Ring.WriteIndex());
    platform::OutputDebugText(line);
  }
  return count;
}

int32_t SerialPort::TakeByte(uint8_t* byte) {
  bool was_full = false;
  if (!m_Ring.Take(byte, &was_full)) return 0;
  // The reader stopped reading the line when the ring filled up.
  if (was_full && wake_reader_) wake_reader_->Set();
  return 1;
}

int32_t SerialPort::Unread() const { return m_Ring.Unread(); }

void SerialPort::PauseForInput(uint32_t ms) {
  if (!m_RDEvent) {
    system_.clock().SleepMs(ms);
    return;
  }
  // Reset before looking: bytes stored after the look set it again.
  m_RDEvent->Reset();
  if (m_Ring.Unread() > 0) return;
  m_RDEvent->Wait(ms);
}

int32_t SerialPort::WaitForByte(uint8_t expected) {
  return WaitForExpectedByte(
      system_.clock(), [this](uint8_t* byte) { return TakeByte(byte) == 1; }, expected);
}

}  // namespace flashkit
