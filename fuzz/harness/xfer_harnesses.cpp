#include <algorithm>
#include <cstring>
#include <string>

#include "fuzz/harness/harnesses.h"
#include "fuzz/harness/null_out.h"
#include "fuzz/harness/script_feed.h"
#include "protocol/block_frame.h"
#include "protocol/xfer_session.h"
#include "tests/support/fake_port.h"
#include "tests/support/xfer_memory_source.h"
#include "tests/support/xfer_recording_sink.h"

namespace flashkit::fuzz {
namespace {

using testing::FakePort;
using testing::VirtualClock;

// The sender's and the receiver's wait for the other side to start.
constexpr uint32_t kStartTimeoutMs = 3000;
// Source sizes come in steps of this many bytes.
constexpr uint32_t kSourceStep = 37;
// The source hands out its data in chunks of a multiple of this, up to 1024.
constexpr uint32_t kChunkStep = 4;

// A FakePort whose far side plays the rest of the input.
struct ScriptedPort {
  explicit ScriptedPort(FuzzInput& input) : feed(input, port) {
    port.on_write = [this](FakePort& p, std::span<const uint8_t>) {
      feed.OnWrite();
      // A run that has outlived its script ends on a failed write.
      p.fail_write_call = feed.FailingWrite();
    };
    port.fail_write_call = feed.FailingWrite();
  }
  VirtualClock clock;
  FakePort port{clock};
  ScriptFeed<FakePort> feed;
  NullOut out;
  XferSession session{port, out};
};

enum class ReceiveMode { kXmodemCrc, kXmodemChecksum, kYmodem, kYmodemG };

constexpr uint8_t kSourceByte = 0x5A;

// Block 0 of the sender's YMODEM header pass, or the closing empty one.
bool IsHeaderField(const uint8_t* field, uint32_t length, uint32_t size) {
  const std::string fields = std::string("fw.bin") + '\0' + std::to_string(size);
  const bool closing = std::all_of(field, field + length, [](uint8_t b) { return b == 0; });
  const bool named = std::equal(fields.begin(), fields.end(), field) &&
                     std::all_of(field + fields.size(), field + length, [](uint8_t b) { return b == 0; });
  return closing || named;
}

// A data field: source bytes, then nothing but the fill byte.
bool IsDataField(const uint8_t* field, uint32_t length) {
  const uint8_t* fill = std::find_if(field, field + length, [](uint8_t b) { return b != kSourceByte; });
  return std::all_of(fill, field + length, [](uint8_t b) { return b == xfer::kFill; });
}

// Every write of the sender is a lone EOT or a whole, well-checked frame
// that carries the source's bytes (or block 0's name and size).
void CheckSenderFrames(const FakePort& port, uint32_t size) {
  for (const testing::Bytes& frame : port.writes) {
    if (frame.size() == 1 && frame[0] == xfer::kEot) continue;
    CheckThat(frame.size() >= xfer::kFrameHead, "the sender writes whole frames");
    const uint32_t block = xfer::BlockSizeFor(frame[0]);
    CheckThat(block != 0, "a frame starts with SOH or STX");
    const bool crc = frame.size() == xfer::FrameLength(block, true);
    CheckThat(crc || frame.size() == xfer::FrameLength(block, false), "a frame has its length");
    CheckThat(frame[1] == static_cast<uint8_t>(~frame[2]), "a block number with its complement");
    const uint8_t* field = frame.data() + xfer::kFrameHead;
    CheckThat(xfer::CheckMatches(field, block, field + block, crc), "a frame's check matches");
    const bool header = frame[1] == 0 && IsHeaderField(field, block, size);
    CheckThat(header || IsDataField(field, block), "a frame carries the source's bytes");
  }
}

}  // namespace

void RunReceiver(const uint8_t* data, size_t size) {
  FuzzInput input(data, size);
  const auto mode = static_cast<ReceiveMode>(input.Byte() % 4);
  ScriptedPort wire(input);
  testing::XferRecordingSink sink;
  int32_t result = 0;
  switch (mode) {
    case ReceiveMode::kXmodemCrc:
    case ReceiveMode::kXmodemChecksum:
      result = wire.session.ReceiveXmodem(sink, kStartTimeoutMs, mode == ReceiveMode::kXmodemCrc,
                                          false);
      break;
    case ReceiveMode::kYmodem:
    case ReceiveMode::kYmodemG:
      result = wire.session.ReceiveYmodem(sink, kStartTimeoutMs, mode == ReceiveMode::kYmodemG,
                                          false);
      break;
  }
  CheckThat(IsKnownResult(result), "the receiver returns a count or a status code");
  CheckThat(sink.begun.size() <= 1, "the receiver takes one file");
  CheckThat(sink.ends <= 1, "the receiver ends a file once");
  for (const testing::Bytes& block : sink.blocks) {
    CheckThat(block.size() == 128 || block.size() == 1024, "blocks arrive whole");
  }
}

void RunHeader(const uint8_t* data, size_t size) {
  HeaderSink header;
  header.WriteData(data, static_cast<uint32_t>(size));
  const char* name = nullptr;
  uint32_t announced = 0;
  if (header.ParseHeader(&name, &announced) < 0) return;
  // The name must end inside what was received.
  const size_t kept = static_cast<size_t>(header.Length());
  CheckThat(name != nullptr && std::memchr(name, 0, kept) != nullptr, "the name ends in the block");
}

void RunSender(const uint8_t* data, size_t size) {
  FuzzInput input(data, size);
  const uint8_t mode = input.Byte() % 3;
  const uint32_t length = input.Byte() * kSourceStep;
  const uint32_t chunk = (input.Byte() + 1u) * kChunkStep;
  testing::XferMemorySource source(testing::Bytes(length, kSourceByte), chunk);
  ScriptedPort wire(input);
  int32_t result = 0;
  if (mode == 2) {
    result = wire.session.SendYmodem("fw.bin", length, source, kStartTimeoutMs, false);
  } else {
    result = wire.session.SendXmodem(source, kStartTimeoutMs, mode == 1, false);
  }
  CheckThat(IsKnownResult(result), "the sender returns a count or a status code");
  CheckSenderFrames(wire.port, length);
}

}  // namespace flashkit::fuzz
