#include <cstring>
#include <string>

#include "fuzz/harness/harnesses.h"
#include "fuzz/harness/null_out.h"
#include "fuzz/harness/script_feed.h"
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
  testing::XferMemorySource source(testing::Bytes(length, 0x5A), chunk);
  ScriptedPort wire(input);
  int32_t result = 0;
  if (mode == 2) {
    result = wire.session.SendYmodem("fw.bin", length, source, kStartTimeoutMs, false);
  } else {
    result = wire.session.SendXmodem(source, kStartTimeoutMs, mode == 1, false);
  }
  CheckThat(IsKnownResult(result), "the sender returns a count or a status code");
}

}  // namespace flashkit::fuzz
