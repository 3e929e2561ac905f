#include <memory>
#include <string>

#include "fuzz/harness/harnesses.h"
#include "fuzz/harness/scratch_folder.h"
#include "fuzz/harness/script_feed.h"
#include "engines/mcu_bootloader.h"
#include "tests/support/fake_ring_port.h"
#include "tests/support/recorded_boxes.h"

namespace flashkit::fuzz {
namespace {

using testing::FakeRingPort;

// The images a download may be asked for: the application, the loader
// (which erases first), the companion itself, an empty one and none.
constexpr const char* kImageNames[] = {"fw.bin", "iap_cortex.bin", "WDN-500S.bin", "empty.bin",
                                       "missing.bin"};
constexpr size_t kMaxFieldText = 12;

// The dialog's progress bar, checking the phases it is sent.
class CheckedProgress : public ProgressWindow {
 public:
  void SendProgress(uint32_t, int32_t lparam) override {
    CheckThat(lparam >= kProgressPosition && lparam <= kProgressEnd, "a known progress phase");
  }
};

// Every frame written is the sync byte, a command with its complement, an
// address with its XOR, or a length-prefixed block with its XOR.
void CheckFrames(const FakeRingPort& port) {
  for (const FakeRingPort::Bytes& frame : port.writes) {
    if (frame.size() == 1) {
      CheckThat(frame[0] == mcu::kSyncByte, "a lone byte is the sync byte");
    } else if (frame.size() == 2) {
      CheckThat(frame[1] == static_cast<uint8_t>(~frame[0]), "a command with its complement");
    } else if (frame.size() == 5) {
      CheckThat(McuBootloader::XorChecksum(4, frame.data()) == frame[4], "an address with its XOR");
    } else {
      CheckThat(frame.size() == frame[0] + 3u, "a block with its length");
      const int32_t covered = static_cast<int32_t>(frame.size() - 1);
      CheckThat(McuBootloader::XorChecksum(covered, frame.data()) == frame.back(),
                "a block with its XOR");
    }
  }
}

}  // namespace

// First byte: the image. Then the port and baud texts (each a length byte
// and its characters), then the bootloader's replies.
void RunMcuBootloader(const uint8_t* data, size_t size) {
  FuzzInput input(data, size);
  const std::string image = kImageNames[input.Byte() % std::size(kImageNames)];
  const std::string port_text = input.TakeText(input.Byte() % (kMaxFieldText + 1));
  const std::string baud_text = input.TakeText(input.Byte() % (kMaxFieldText + 1));

  ScratchFolder::Inside inside;
  testing::VirtualClock clock;
  testing::RecordedBoxes boxes;
  CheckedProgress progress;
  auto owned = std::make_unique<FakeRingPort>(clock);
  FakeRingPort& port = *owned;
  ScriptFeed<FakeRingPort> feed(input, port);
  port.on_write = [&feed](FakeRingPort&, std::span<const uint8_t>) { feed.OnWrite(); };
  McuBootloader boot(std::move(owned), boxes, clock, "/dev/null");
  boot.SetOwnerWindow(&progress);

  const int32_t result = boot.Download(image, port_text, baud_text);
  CheckThat(result == 0 || result == 1, "the download ends with 0 or 1");
  CheckThat(port.calls.empty() || port.calls.back() == "Close", "the port is closed at the end");
  CheckFrames(port);
}

}  // namespace flashkit::fuzz
