#include "ports/status.h"
#include "protocol/block_frame.h"
#include "protocol/xfer_limits.h"
#include "protocol/xfer_session.h"

namespace flashkit {
namespace {

using namespace xfer::limits;

// Outcomes of reading one frame, besides negative statuses.
enum FrameRead : int32_t {
  kIncomplete = 0,
  kWholeFrame = 1,
  kEndOfFile = 2,
};

}  // namespace

// Reads one frame: an SOH block, an STX block (recognised by its first byte)
// or an EOT. -200 only when not a single byte came.
int32_t XferSession::ReadFrame(uint8_t* frame, uint32_t* block_size, bool use_usb) {
  *block_size = xfer::kSmallBlock;
  uint32_t expected = xfer::FrameLength(xfer::kSmallBlock, use_crc);
  uint32_t have = 0;
  while (have < expected) {
    const int32_t n = port.Read(frame + have, expected - have, kBlockSilenceMs, use_usb);
    if (n < 0) return n;
    if (n == 0) return have == 0 ? status::kTimeout : kIncomplete;
    have += static_cast<uint32_t>(n);
    if (frame[0] == xfer::kEot) return kEndOfFile;
    if (frame[0] == xfer::kStx && *block_size == xfer::kSmallBlock) {
      *block_size = xfer::kLargeBlock;
      expected = xfer::FrameLength(xfer::kLargeBlock, use_crc);
    }
  }
  return kWholeFrame;
}

bool XferSession::FrameAccepted(const uint8_t* frame, uint32_t block_size) const {
  const uint8_t* field = frame + xfer::kFrameHead;
  return frame[0] == xfer::StartByteFor(block_size) &&
         frame[1] == static_cast<uint8_t>(~frame[2]) &&
         frame[1] == static_cast<uint8_t>(block_number) &&
         xfer::CheckMatches(field, block_size, field + block_size, use_crc);
}

bool XferSession::FrameRepeated(const uint8_t* frame, uint32_t block_size) const {
  const uint8_t* field = frame + xfer::kFrameHead;
  return previous_acked && frame[0] == xfer::StartByteFor(block_size) &&
         frame[1] == static_cast<uint8_t>(~frame[2]) &&
         frame[1] == static_cast<uint8_t>(block_number - 1) &&
         xfer::CheckMatches(field, block_size, field + block_size, use_crc);
}

int32_t XferSession::ReceiveBlock(TransferSink& sink, bool use_usb) {
  uint8_t frame[xfer::kMaxFrameLength];
  int32_t repeats_left = kRepeats;
  for (int32_t attempts_left = kAttempts - 1;; --attempts_left) {
    uint32_t block_size = 0;
    const int32_t read = ReadFrame(frame, &block_size, use_usb);
    if (read == kEndOfFile) {
      if (const int32_t acked = WriteByte(xfer::kAck, use_usb); acked < 0) return acked;
      return sink.WriteData(nullptr, 0);
    }
    if (read < 0) return read;
    if (read == kWholeFrame && FrameAccepted(frame, block_size)) {
      const int32_t taken = sink.WriteData(frame + xfer::kFrameHead, block_size);
      if (taken < 0) return taken;
      if (ack_each_block) {
        if (const int32_t acked = WriteByte(xfer::kAck, use_usb); acked < 0) return acked;
      }
      ++block_number;
      previous_acked = ack_each_block;
      previous_was_header = false;
      return static_cast<int32_t>(block_size);
    }
    // Every sender sends a block again when its ACK was lost: it is
    // acknowledged again and its data dropped, with no wait and no attempt
    // spent. The data is not compared: the first copy is the one kept.
    if (read == kWholeFrame && repeats_left > 0 && FrameRepeated(frame, block_size)) {
      --repeats_left;
      ++attempts_left;
      if (const int32_t acked = WriteByte(xfer::kAck, use_usb); acked < 0) return acked;
      if (previous_was_header) {
        if (const int32_t started = WriteByte(mode_char, use_usb); started < 0) return started;
      }
      continue;
    }
    // A streaming sender never sends a block twice: waiting for a resend
    // would only let the following blocks, and then the EOT, fill the gap.
    if (!ack_each_block) return status::kTooManyErrors;
    DiscardUntilSilence(kBlockSilenceMs, use_usb);
    if (const int32_t asked = WriteByte(reply_char, use_usb); asked < 0) return asked;
    if (attempts_left == 0) return status::kTooManyErrors;
  }
}

int32_t XferSession::Solicit(TransferSink& sink, uint32_t timeout_ms, bool use_usb) {
  for (;;) {
    const int32_t asked = WriteByte(mode_char, use_usb);
    if (asked != status::kTimeout) {
      if (asked < 0) return asked;
      const int32_t got = ReceiveBlock(sink, use_usb);
      if (got != status::kTimeout) return got;
    }
    if (timeout_ms < kBlockSilenceMs) return status::kTimeout;
    timeout_ms -= kBlockSilenceMs;
  }
}

int32_t XferSession::ReceiveUntilEnd(TransferSink& sink, int32_t result, bool use_usb) {
  while (result > 0) result = ReceiveBlock(sink, use_usb);
  return result;
}

int32_t XferSession::ReceiveXmodem(TransferSink& sink, uint32_t timeout_ms, bool use_crc16,
                                   bool use_usb) {
  use_crc = use_crc16;
  mode_char = use_crc16 ? xfer::kCrcStart : xfer::kNak;
  reply_char = mode_char;
  ack_each_block = true;
  block_number = 1;
  previous_acked = false;
  previous_was_header = false;
  const int32_t first = Solicit(sink, timeout_ms, use_usb);
  // A sender that never showed up has nothing to cancel.
  if (first == status::kTimeout) return first;
  const int32_t result = ReceiveUntilEnd(sink, first, use_usb);
  if (result < 0) SendCancel(use_usb);
  return result;
}

int32_t XferSession::ReceiveYmodem(TransferSink& sink, uint32_t timeout_ms, bool streaming,
                                   bool use_usb) {
  use_crc = true;
  mode_char = streaming ? xfer::kStreamStart : xfer::kCrcStart;
  reply_char = mode_char;
  ack_each_block = !streaming;
  bool file_received = false;
  HeaderSink header;
  for (;;) {
    header.Clear();
    block_number = 0;
    // After the EOT a data block is no repeat of block 0's predecessor.
    previous_acked = false;
    previous_was_header = false;
    const int32_t got = Solicit(header, timeout_ms, use_usb);
    if (got == status::kTimeout) {
      if (file_received) SendCancel(use_usb);
      return got;
    }
    if (got < 0) {
      SendCancel(use_usb);
      return got;
    }
    // An EOT in place of block 0 ends the batch.
    if (got == 0) return 0;

    const char* name = nullptr;
    uint32_t size = 0;
    if (const int32_t parsed = header.ParseHeader(&name, &size); parsed < 0) {
      SendCancel(use_usb);
      return parsed;
    }
    if (name[0] == '\0') return 0;  // the closing block 0
    if (file_received) return status::kSecondFile;
    if (const int32_t begun = sink.BeginFile(name, size); begun < 0) {
      SendCancel(use_usb);
      return begun;
    }
    reply_char = xfer::kNak;
    previous_was_header = previous_acked;
    const int32_t result = ReceiveUntilEnd(sink, WriteByte(mode_char, use_usb), use_usb);
    if (result < 0) {
      SendCancel(use_usb);
      return result;
    }
    file_received = true;
  }
}

}  // namespace flashkit
