#include <gtest/gtest.h>

#include <atomic>
#include <cerrno>
#include <chrono>
#include <future>
#include <memory>
#include <string>
#include <thread>
#include <vector>

#include "ports/device_port.h"
#include "ports/status.h"
#include "protocol/xfer_session.h"
#include "tests/support/captured_out.h"
#include "tests/support/xfer_memory_source.h"
#include "tests/support/xfer_wire.h"
#include "tests/usbhw/usb_hw_rig.h"

namespace flashkit::testing {
namespace {

// The request packet of an image of another kind, as the board knows it.
const Bytes kRequest = {0x02, 0x01, 0x0B, 0x01, 0x0E, 0x01, 0xFF, 0x00, 0x00, 0x79, 0x6A, 0x03};
constexpr size_t kPrompts = 10;

// A board in download mode behind the OUT endpoint: it takes the request
// and the ten "1" prompts unanswered, asks for YMODEM with 'C' (see
// SendScene) and accepts every frame, asking again after block 0 and after
// the EOT. Frames are cut from the byte stream, whatever the transfers were.
// `answer_frames` limits how many it answers.
class YmodemBoard {
 public:
  explicit YmodemBoard(size_t answer_frames) : answer_frames_(answer_frames) {}

  Bytes operator()(const Bytes& arrived) {
    Bytes answer;
    for (uint8_t byte : arrived) {
      if (preamble.size() < kRequest.size() + kPrompts) {
        preamble.push_back(byte);
        ready = preamble.size() == kRequest.size() + kPrompts;
        continue;
      }
      started = true;
      pending_.push_back(byte);
      const size_t length = FrameLength(pending_.front());
      if (pending_.size() < length) continue;
      frames.push_back(pending_);
      pending_.clear();
      if (frames.size() > answer_frames_) continue;
      answer.push_back(kAckByte);
      const bool eot = frames.back() == Bytes{kEotByte};
      if (frames.size() == 1 || eot) answer.push_back('C');
    }
    return answer;
  }

  Bytes preamble;
  std::vector<Bytes> frames;
  std::atomic<bool> ready{false};    // the prompts are in
  std::atomic<bool> started{false};  // the sender has begun block 0

 private:
  static size_t FrameLength(uint8_t start) {
    return start == kStxByte ? 1029 : start == kSohByte ? 133 : 1;
  }

  size_t answer_frames_;
  Bytes pending_;
};

// linkxfer's USB send on the board. The host drops what came before it
// starts waiting for the receiver, so, like a YMODEM receiver, the board
// asks with 'C' a little after the prompts, and again each second until
// block 0 begins.
struct SendScene {
  UsbHwRig rig;
  CapturedOut out;
  Crc16Table crc;
  DevicePort port{platform::RealSystem(), out, crc};
  std::shared_ptr<YmodemBoard> board;
  std::atomic<bool> done{false};
  std::thread asking;

  explicit SendScene(size_t answer_frames = SIZE_MAX)
      : board(std::make_shared<YmodemBoard>(answer_frames)) {
    rig.device->Respond([board = board](const Bytes& arrived) { return (*board)(arrived); });
    asking = std::thread([this] {
      uint32_t wait_ms = 300;
      while (!done && !board->ready) std::this_thread::sleep_for(std::chrono::milliseconds(5));
      while (!done && !board->started) {
        for (uint32_t slept = 0; slept < wait_ms && !done; slept += 5) {
          std::this_thread::sleep_for(std::chrono::milliseconds(5));
        }
        if (!done && !board->started) rig.device->Send({'C'});
        wait_ms = 1000;
      }
    });
    EXPECT_EQ(port.UsbConnect(), 1);
    EXPECT_EQ(port.OpenUSBHandler(), 1);
    EXPECT_EQ(port.CreateComInfo(), 1);
  }

  ~SendScene() {
    done = true;
    asking.join();
  }

  int32_t Send(const Bytes& file) {
    XferSession session(port, out);
    XferMemorySource source(file);
    return session.SendYmodem("fw.bin", static_cast<uint32_t>(file.size()), source, 10000, true);
  }
};

TEST(UsbBoardYmodem, ARequestThePromptsAndEveryFrameByteForByte) {
  SendScene scene;
  const Bytes file = Pattern(2100);
  EXPECT_EQ(scene.Send(file), 0);
  scene.port.CloseUsbPipes();
  Bytes prompts(kPrompts, '1');
  EXPECT_EQ(scene.board->preamble, Join({kRequest, prompts}));
  Bytes tail = Slice(file, 2048, 52);
  EXPECT_TRUE(SameFrames(scene.board->frames,
                         {DataFrame(kSohByte, 0, HeaderField("fw.bin", "2100"), Check::kCrc),
                          DataFrame(kStxByte, 1, Slice(file, 0, 1024), Check::kCrc),
                          DataFrame(kStxByte, 2, Slice(file, 1024, 1024), Check::kCrc),
                          DataFrame(kSohByte, 3, tail, Check::kCrc), Bytes{kEotByte},
                          DataFrame(kSohByte, 0, Bytes(128, 0), Check::kCrc)}));
  EXPECT_EQ(scene.rig.device->Events(), (std::vector<std::string>{"claim 0", "release 0"}));
}

TEST(UsbBoardYmodem, ABoardPulledMidwayEndsTheSendWithAPortFailure) {
  SendScene scene(2);
  auto send = std::async(std::launch::async, [&] { return scene.Send(Pattern(8000)); });
  // Block 2 is left unanswered; the board goes while the sender waits.
  const auto start = std::chrono::steady_clock::now();
  while (scene.rig.device->Received(0x02).size() < kRequest.size() + kPrompts + 133 + 2 * 1029 &&
         MsSince(start) < 5000) {
    std::this_thread::sleep_for(std::chrono::milliseconds(10));
  }
  scene.rig.device->Unplug(-ESHUTDOWN);
  ASSERT_EQ(send.wait_for(std::chrono::seconds(5)), std::future_status::ready) << "hangs";
  const int32_t result = send.get();
  EXPECT_TRUE(result == status::kPortReadFailed || result == status::kPortWriteFailed) << result;
  scene.port.CloseUsbPipes();
}

}  // namespace
}  // namespace flashkit::testing
