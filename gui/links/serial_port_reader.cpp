// The receiving half of SerialPort: the reader thread that fills the ring and
// the caller's side that empties it.
#include <array>
#include <cstdio>
#include <mutex>
#include <optional>

#include "gui/links/byte_wait.h"
#include "gui/links/serial_port.h"
#include "platform/debug_output.h"
#include "platform/poller.h"

namespace flashkit {

namespace {

// How long the reader stands aside for a caller waiting for input before it
// looks whether the caller still waits.
constexpr uint32_t kAsideMs = 20;

}  // namespace

void SerialPort::StartReader() {
  wake_reader_ = system_.NewEvent();
  if (!wake_reader_) {
    // The port stays open, but nothing fills the ring.
    boxes_.Show("Fail create event for thread", BoxIcon::kWarning);
    return;
  }
  caller_poller_ = std::make_unique<platform::Poller>();
  caller_poller_->Add(m_hCom->Id());
  caller_poller_->Add(m_RDEvent->Fd());
  m_hReaderThread = std::thread(&SerialPort::ReaderThread, this);
}

void SerialPort::StopReader() {
  m_bRunning = 0;
  if (wake_reader_) wake_reader_->Set();
  if (m_hReaderThread.joinable()) m_hReaderThread.join();
  wake_reader_.reset();
  caller_poller_.reset();
  WriteTrace();
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
    // has taken some: nothing is overwritten. While the caller waits for
    // input the line is its own: a second thread woken by the same answer
    // only delays it. Announced before looking, so that of this thread and
    // a caller starting to wait, one sees the other (PauseForInput).
    reader_watching_.store(room > 0, std::memory_order_seq_cst);
    const bool aside = caller_waiting_.load(std::memory_order_seq_cst);
    const bool watch = room > 0 && !aside;
    if (!watch) reader_watching_.store(false, std::memory_order_seq_cst);
    poller.Watch(line, watch, false);
    // Standing aside, it looks again now and then, for a caller that has
    // stopped waiting and left bytes on the line.
    std::optional<uint64_t> deadline;
    if (aside) deadline = platform::MonotonicNs() + uint64_t{kAsideMs} * 1'000'000;
    const int ready = poller.Wait(deadline);
    reader_watching_.store(false, std::memory_order_seq_cst);
    if (trace_pending_) WriteTrace();
    if (ready < 0) return;
    if (!watch || !poller.Ready(line)) continue;
    const int32_t count = Pump(buffer.data(), true);
    if (count > 0) m_RDEvent->Set();
    WriteTrace();
    // A line that hung up or failed has nothing more to give.
    if (count < 0) return;
  }
}

int32_t SerialPort::Pump(uint8_t* buffer, bool wait_for_lock) {
  std::unique_lock<std::mutex> lock(pumping_, std::defer_lock);
  if (wait_for_lock) {
    lock.lock();
  } else if (!lock.try_lock()) {
    return 0;
  }
  // The other producer may have filled the ring since this one looked.
  const int32_t room = m_Ring.Room();
  const int32_t count = room > 0 ? ReadQueued(buffer, room) : 0;
  if (count > 0) {
    char line[64];
    std::snprintf(line, sizeof line, "RECV[%3d][%d][%d]:\n", count, m_Ring.ReadIndex(),
                  m_Ring.WriteIndex());
    m_Ring.Store(buffer, count);
    // Written out later, never on the caller's way to its answer.
    pending_trace_ += line;
    trace_pending_ = true;
  }
  return count;
}

void SerialPort::WriteTrace() {
  // Held while writing, so that lines taken earlier are written earlier.
  std::lock_guard<std::mutex> order(trace_order_);
  std::string lines;
  {
    std::lock_guard<std::mutex> lock(pumping_);
    lines.swap(pending_trace_);
    trace_pending_ = false;
  }
  // One call per read, as the lines were made.
  for (size_t start = 0; start < lines.size();) {
    const size_t end = lines.find('\n', start) + 1;
    platform::OutputDebugText(std::string_view(lines).substr(start, end - start));
    start = end;
  }
}

int32_t SerialPort::ReadQueued(uint8_t* buffer, int32_t room) {
  const platform::IoResult result = m_hCom->Read(buffer, static_cast<size_t>(room));
  if (!result.ok()) return -1;
  return static_cast<int32_t>(result.count);
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
  if (!caller_poller_ || m_bRunning == 0) {
    m_RDEvent->Wait(ms);
    return;
  }
  const uint64_t deadline = platform::MonotonicNs() + uint64_t{ms} * 1'000'000;
  // The answer has yet to cross the line: time to write the last one's trace.
  if (trace_pending_) WriteTrace();
  // This thread waits on the line itself and stores the answer the moment it
  // comes, with one wake-up, as a blocking read would. A reader already
  // waiting on the line is asked to leave it to this thread.
  caller_waiting_.store(true, std::memory_order_seq_cst);
  if (reader_watching_.load(std::memory_order_seq_cst)) wake_reader_->Set();
  const int ready = caller_poller_->Wait(deadline);
  if (ready > 0 && caller_poller_->Ready(0)) {
    std::array<uint8_t, kRingSize> buffer;
    Pump(buffer.data(), false);
  }
  caller_waiting_.store(false, std::memory_order_seq_cst);
  if (ready <= 0 || m_Ring.Unread() > 0 || !caller_poller_->Ready(0)) return;
  // The reader holds the lock and sets the event once it has stored; or the
  // line failed, which is the reader's to find, and the pause lasts its time.
  const uint64_t now = platform::MonotonicNs();
  if (now < deadline) m_RDEvent->Wait(static_cast<uint32_t>((deadline - now + 999'999) / 1'000'000));
}

int32_t SerialPort::WaitForByte(uint8_t expected) {
  return WaitForExpectedByte(
      system_.clock(), [this](uint8_t* byte) { return TakeByte(byte) == 1; }, expected);
}

}  // namespace flashkit
