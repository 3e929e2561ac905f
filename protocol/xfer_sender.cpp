#include <algorithm>

#include "ports/status.h"
#include "protocol/block_frame.h"
#include "protocol/xfer_limits.h"
#include "protocol/xfer_session.h"

namespace flashkit {
namespace {

using namespace xfer::limits;

// What each start character asks of the sender.
struct StartChar {
  uint8_t byte;
  bool use_crc;
  bool ack_each_block;
};

constexpr StartChar kStartChars[] = {
    {xfer::kStreamStart, true, false},
    {xfer::kCrcStart, true, true},
    {xfer::kNak, false, true},
};

const StartChar* FindStartChar(int32_t byte) {
  for (const StartChar& start : kStartChars) {
    if (start.byte == byte) return &start;
  }
  return nullptr;
}

// Outcomes of one transmission of a frame, besides negative statuses.
enum Answer : int32_t {
  kResend = 0,
  kAccepted = 1,
  kRebuildWithCrc = 2,
};

}  // namespace

int32_t XferSession::WaitForStart(uint32_t timeout_ms, bool use_usb) {
  uint32_t budget = std::max(timeout_ms, kMinStartBudgetMs);
  // Whatever is already waiting predates our request and is not an answer.
  while (ReadByte(0, use_usb) >= 0) {
  }
  cancel_count = 0;
  for (;;) {
    const int32_t got = ReadByte(kStartPollMs, use_usb);
    out.Print(".");
    if (const StartChar* start = FindStartChar(got)) {
      use_crc = start->use_crc;
      ack_each_block = start->ack_each_block;
      reply_char = start->byte;
      out.Print("\n");
      return 0;
    }
    if (got < 0 && got != status::kTimeout) return got;
    // The budget counts polls, not elapsed time.
    if (budget < kStartPollMs) return status::kTimeout;
    budget -= kStartPollMs;
  }
}

// Writes a whole frame. A write that moves only part of it is continued after
// a short look at the line, unless the receiver already complained. Returns
// kAccepted when all of it went out, kResend when it must be purged and sent
// again, or a negative status.
int32_t XferSession::TransmitFrame(const uint8_t* frame, uint32_t length, bool use_usb) {
  uint32_t sent = 0;
  for (;;) {
    const int32_t n = port.Write(frame + sent, length - sent, kWriteMs, use_usb);
    if (n < 0) return n;
    if (n == 0) return status::kTimeout;
    sent += static_cast<uint32_t>(n);
    if (sent >= length) return kAccepted;
    const int32_t got = ReadByte(kPartialWriteAnswerMs, use_usb);
    if (got == status::kTimeout) continue;
    const int32_t kind = ClassifyReply(got);
    if (kind < 0) return kind;
    if (kind == 0) return kResend;
  }
}

// The receiver's verdict on a frame that went out whole.
int32_t XferSession::AwaitAnswer(bool wait_for_answer, bool use_usb) {
  if (!wait_for_answer) {
    // Streaming: only a cancel stops us; anything else is not waited for.
    const int32_t got = ReadByte(0, use_usb);
    if (got == status::kTimeout) return kAccepted;
    const int32_t kind = ClassifyReply(got);
    return kind < 0 ? kind : kAccepted;
  }
  const int32_t got = ReadByte(kAnswerMs, use_usb);
  const int32_t kind = ClassifyReply(got);
  if (kind < 0) return kind;
  if (kind == 1) return kAccepted;
  if (got == xfer::kCrcStart && !use_crc) {
    use_crc = true;
    return kRebuildWithCrc;
  }
  return kResend;
}

int32_t XferSession::SendBlock(const uint8_t* data, uint32_t length, bool use_usb) {
  bool wait_for_answer = ack_each_block;
  int32_t transmissions_left = kTransmissions;
  const uint32_t block_size =
      (mode_char != 0 && length >= xfer::kLargeBlock) ? xfer::kLargeBlock : xfer::kSmallBlock;
  uint8_t frame[xfer::kMaxFrameLength];
  for (;;) {
    uint32_t taken = 0;
    const uint32_t frame_length = xfer::BuildFrame(frame, static_cast<uint8_t>(block_number), data,
                                                   length, block_size, use_crc, &taken);
    // The EOT is always answered, in streaming mode too.
    if (taken == 0) wait_for_answer = true;
    int32_t answer = kResend;
    while (answer == kResend) {
      if (transmissions_left == 0) return status::kTooManyRetries;
      --transmissions_left;
      answer = TransmitFrame(frame, frame_length, use_usb);
      if (answer == kAccepted) answer = AwaitAnswer(wait_for_answer, use_usb);
      if (answer < 0) return answer;
      if (answer == kResend) DiscardUntilSilence(kPurgeQuietMs, use_usb);
    }
    if (answer == kAccepted) {
      ++block_number;
      return static_cast<int32_t>(taken);
    }
  }
}

int32_t XferSession::SendBuffer(const uint8_t* data, uint32_t length, bool use_usb) {
  uint32_t done = 0;
  do {
    const int32_t n = SendBlock(data + done, length - done, use_usb);
    if (n < 0) return n;
    done += static_cast<uint32_t>(n);
  } while (done < length);
  return 0;
}

int32_t XferSession::SendStream(TransferSource& source, bool use_usb) {
  block_number = 1;
  uint8_t chunk[xfer::kLargeBlock];
  for (;;) {
    const int32_t n = source.ReadChunk(chunk, sizeof chunk);
    // A source that claims more than it was given room for is broken too.
    if (n < 0 || n > static_cast<int32_t>(sizeof chunk)) return status::kSourceFailed;
    const int32_t sent = SendBuffer(chunk, static_cast<uint32_t>(n), use_usb);
    if (sent < 0) return sent;
    if (n == 0) return 0;
  }
}

int32_t XferSession::CancelIfInterrupted(int32_t result, bool use_usb) {
  if (result == status::kInterrupted) SendCancel(use_usb);
  return result;
}

int32_t XferSession::SendXmodem(TransferSource& source, uint32_t timeout_ms, bool use_1k,
                                bool use_usb) {
  return CancelIfInterrupted(SendXmodemSteps(source, timeout_ms, use_1k, use_usb), use_usb);
}

int32_t XferSession::SendYmodem(const char* name, uint32_t size, TransferSource& source,
                                uint32_t timeout_ms, bool use_usb) {
  return CancelIfInterrupted(SendYmodemSteps(name, size, source, timeout_ms, use_usb), use_usb);
}

int32_t XferSession::SendXmodemSteps(TransferSource& source, uint32_t timeout_ms, bool use_1k,
                                     bool use_usb) {
  mode_char = use_1k ? 1 : 0;
  const int32_t started = WaitForStart(timeout_ms, use_usb);
  if (started < 0) return started;
  return SendStream(source, use_usb);
}

// After block 0 and after the EOT a YMODEM receiver repeats its start character.
int32_t XferSession::ExpectStartAgain(bool use_usb) {
  const int32_t got = ReadByte(kRestartMs, use_usb);
  if (got < 0) return got;
  return got == reply_char ? 0 : status::kUnexpectedReply;
}

int32_t XferSession::SendYmodemSteps(const char* name, uint32_t size, TransferSource& source,
                                     uint32_t timeout_ms, bool use_usb) {
  // The device reports its own readiness through the start character below;
  // only the user's stop, or a limit the caller set on the prompting, ends
  // the run here.
  if (const int32_t r = port.SendRequest(name, use_usb);
      r == status::kInterrupted || r == status::kTimeout) {
    return r;
  }
  mode_char = 1;
  uint8_t header[xfer::kSmallBlock];
  if (const int32_t built = BuildHeaderBlock(header, name, size); built < 0) return built;
  if (const int32_t started = WaitForStart(timeout_ms, use_usb); started < 0) return started;

  block_number = 0;
  if (const int32_t sent = SendBlock(header, sizeof header, use_usb); sent < 0) return sent;
  if (const int32_t again = ExpectStartAgain(use_usb); again < 0) return again;
  if (const int32_t sent = SendStream(source, use_usb); sent < 0) return sent;
  if (const int32_t again = ExpectStartAgain(use_usb); again < 0) return again;

  // An empty block 0 closes the batch.
  std::fill(std::begin(header), std::end(header), 0);
  block_number = 0;
  const int32_t closed = SendBlock(header, sizeof header, use_usb);
  return closed < 0 ? closed : 0;
}

}  // namespace flashkit
