#include "sim/framed_reader.h"

#include <algorithm>
#include <cstdio>
#include <utility>

namespace flashkit::sim {
namespace {

// Short reads, so a stop is noticed promptly.
constexpr uint32_t kReadSliceMs = 100;

std::string Hex(uint8_t byte) {
  char text[8];
  std::snprintf(text, sizeof text, "0x%02x", byte);
  return text;
}

}  // namespace

FramedReader::FramedReader(Port& port, platform::Clock& clock, const Crc16Table& crc)
    : port_(port), clock_(clock), crc_(crc) {}

ReadEnd FramedReader::Fill(size_t count, const StopCheck& stopping,
                           std::optional<uint32_t> limit_ms) {
  uint64_t deadline = limit_ms ? clock_.NowMs() + *limit_ms : 0;
  while (pending_.size() < count) {
    uint32_t wait = kReadSliceMs;
    if (limit_ms) {
      const uint64_t now = clock_.NowMs();
      if (now >= deadline) return ReadEnd::kIdle;
      wait = static_cast<uint32_t>(std::min<uint64_t>(wait, deadline - now));
    }
    uint8_t buffer[256];
    const int32_t n = port_.Read(buffer, sizeof buffer, wait, false);
    if (n < 0) return ReadEnd::kHostGone;
    // Looked at only when nothing came: what a host sent before it went is read first.
    if (n == 0 && stopping()) return ReadEnd::kStopped;
    pending_.insert(pending_.end(), buffer, buffer + n);
    if (n > 0 && limit_ms) deadline = clock_.NowMs() + *limit_ms;
  }
  return ReadEnd::kMessage;
}

std::vector<uint8_t> FramedReader::Take(size_t count) {
  std::vector<uint8_t> taken(pending_.begin(), pending_.begin() + static_cast<long>(count));
  pending_.erase(pending_.begin(), pending_.begin() + static_cast<long>(count));
  return taken;
}

ReadEnd FramedReader::Malformed(std::string reason, FramedMessage* out) {
  out->kind = FramedMessage::Kind::kMalformed;
  out->reason = std::move(reason);
  out->bytes = std::exchange(pending_, {});
  return ReadEnd::kMessage;
}

std::optional<ReadEnd> FramedReader::FillRest(size_t count, const StopCheck& stopping,
                                              FramedMessage* out) {
  const ReadEnd end = Fill(count, stopping, kFrameGapMs);
  if (end == ReadEnd::kMessage) return std::nullopt;
  if (end != ReadEnd::kIdle) return end;
  return Malformed("frame stopped after " + std::to_string(pending_.size()) + " bytes", out);
}

ReadEnd FramedReader::Next(const StopCheck& stopping, std::optional<uint32_t> idle_limit_ms,
                           FramedMessage* out) {
  *out = FramedMessage{};
  if (const ReadEnd end = Fill(1, stopping, idle_limit_ms); end != ReadEnd::kMessage) return end;
  if (pending_[0] != kFrameStx) return Malformed("no STX: " + Hex(pending_[0]), out);

  // The request packet and the frames both begin with STX; a few bytes on,
  // the packet's fixed body tells them apart.
  for (;;) {
    bool need_more = false;
    const std::optional<ParsedRequest> request = ParseRequest(pending_, crc_, &need_more);
    if (request && request->form == RequestForm::kPacket) {
      out->kind = FramedMessage::Kind::kRequest;
      out->request = *request;
      out->bytes = Take(request->length);
      return ReadEnd::kMessage;
    }
    if (request || !need_more) break;
    if (const auto end = FillRest(pending_.size() + 1, stopping, out)) return *end;
  }

  if (const auto end = FillRest(3, stopping, out)) return *end;
  const uint8_t len = pending_[1];
  const std::optional<FrameType> type = LookUpFrameType(pending_[2]);
  if (!type) return Malformed("unknown frame type " + Hex(pending_[2]), out);
  if (len < type->min_len || len > type->max_len) {
    return Malformed("LEN " + std::to_string(len) + " out of range for frame type " +
                         Hex(type->type),
                     out);
  }
  const size_t length = len + kFrameOverhead;
  if (const auto end = FillRest(length, stopping, out)) return *end;
  if (pending_[length - 1] != kFrameEtx) return Malformed("no ETX: " + Hex(pending_[length - 1]), out);
  out->kind = FramedMessage::Kind::kFrame;
  out->type = *type;
  out->bytes = Take(length);
  return ReadEnd::kMessage;
}

ReadEnd FramedReader::Discard(const StopCheck& stopping) {
  for (;;) {
    pending_.clear();
    uint8_t buffer[256];
    const int32_t n = port_.Read(buffer, sizeof buffer, kReadSliceMs, false);
    if (n < 0) return ReadEnd::kHostGone;
    if (n == 0 && stopping()) return ReadEnd::kStopped;
  }
}

}  // namespace flashkit::sim
