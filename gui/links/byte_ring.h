#pragma once

#include <array>
#include <atomic>
#include <cstdint>

namespace flashkit {

// A receive ring of `Size` bytes for one producer and one consumer, without a
// lock: the producer alone writes the bytes and m_WriteIndex, the consumer
// alone m_ReadIndex. Each side publishes its index after it has finished with
// the bytes and reads the other's with acquire. Empty when the indices are
// equal, so it holds at most Size - 1 unread bytes; the producer stores no
// more than there is room for, so nothing is ever overwritten.
//
// A producer that found no room may sleep until a take makes some. The two
// index stores and the two looks that follow them (Room, the full check of
// Take) are sequentially consistent, so of a producer that stores the last
// free byte and a consumer that takes at the same time, at least one sees the
// other: the producer finds room, or the take reports the ring was full.
template <int Size>
class ByteRing {
 public:
  // Producer side: how many bytes can be stored now.
  int32_t Room() const {
    const int32_t read = m_ReadIndex.load(std::memory_order_seq_cst);
    const int32_t write = m_WriteIndex.load(std::memory_order_relaxed);
    return Size - 1 - Distance(read, write);
  }

  // Producer side: stores `count` bytes, at most Room().
  void Store(const uint8_t* data, int32_t count) {
    int32_t write = m_WriteIndex.load(std::memory_order_relaxed);
    for (int32_t i = 0; i < count; ++i) {
      m_Ring[static_cast<size_t>(write)] = data[i];
      write = (write + 1) % Size;
    }
    m_WriteIndex.store(write, std::memory_order_seq_cst);
  }

  // Consumer side: the oldest byte into `byte`; false, `byte` untouched, when
  // the ring is empty. `was_full` tells whether the ring had no room just
  // before this take, as the producer last left it: a producer waiting for
  // room needs waking.
  bool Take(uint8_t* byte, bool* was_full = nullptr) {
    const int32_t read = m_ReadIndex.load(std::memory_order_relaxed);
    const int32_t write = m_WriteIndex.load(std::memory_order_acquire);
    if (read == write) return false;
    *byte = m_Ring[static_cast<size_t>(read)];
    m_ReadIndex.store((read + 1) % Size, std::memory_order_seq_cst);
    if (was_full != nullptr) {
      *was_full = Distance(read, m_WriteIndex.load(std::memory_order_seq_cst)) == Size - 1;
    }
    return true;
  }

  // Consumer side: bytes waiting.
  int32_t Unread() const {
    const int32_t read = m_ReadIndex.load(std::memory_order_relaxed);
    const int32_t write = m_WriteIndex.load(std::memory_order_acquire);
    return Distance(read, write);
  }

  // Both indices to 0 and the bytes to zero; only while no producer runs.
  void Reset() {
    m_Ring.fill(0);
    m_ReadIndex.store(0, std::memory_order_relaxed);
    m_WriteIndex.store(0, std::memory_order_release);
  }

  // For display only: either side may be moving them meanwhile.
  int32_t ReadIndex() const { return m_ReadIndex.load(std::memory_order_relaxed); }
  int32_t WriteIndex() const { return m_WriteIndex.load(std::memory_order_relaxed); }

 private:
  static int32_t Distance(int32_t read, int32_t write) { return (write - read + Size) % Size; }

  std::atomic<int32_t> m_WriteIndex{0};
  std::atomic<int32_t> m_ReadIndex{0};
  std::array<uint8_t, Size> m_Ring{};
};

}  // namespace flashkit
