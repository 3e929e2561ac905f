#include <gtest/gtest.h>

#include <unistd.h>

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <memory>
#include <string>
#include <vector>

#include "gui/links/usb_link.h"
#include "engines/usb_download.h"
#include "tests/engines/fake_usb_view.h"
#include "tests/support/virtual_clock.h"
#include "tests/support/xfer_wire.h"
#include "tests/usbhw/usb_hw_rig.h"

namespace flashkit::testing {
namespace {

const Bytes kRequest = {0x02, 0x01, 0x0B, 0x01, 0x0E, 0x01, 0xFF, 0x00, 0x00, 0x79, 0x6A, 0x03};
const Bytes kEndRun = {0x02, 0x01, 0xFC, 0x03};
constexpr uint8_t kAnswer = 0x06;

// A board taking framed downloads: after `skip` bytes (a request packet)
// it cuts frames by their length byte and answers each with 0x06, or only
// the end frame.
class FramedBoard {
 public:
  FramedBoard(size_t skip, bool answer_each) : skip_(skip), answer_each_(answer_each) {}

  Bytes operator()(const Bytes& arrived) {
    Bytes answer;
    for (uint8_t byte : arrived) {
      if (skip_ > 0) {
        --skip_;
        continue;
      }
      frame_.push_back(byte);
      if (frame_.size() < 2 || frame_.size() < static_cast<size_t>(frame_[1]) + 3) continue;
      if (answer_each_ || frame_ == kEndRun) answer.push_back(kAnswer);
      frame_.clear();
    }
    return answer;
  }

 private:
  size_t skip_;
  bool answer_each_;
  Bytes frame_;
};

Bytes Text(const std::string& text) { return Bytes(text.begin(), text.end()); }

// Every data frame of `image`, `payload` bytes each, the last filled out with 0xFF.
Bytes DataFrames(const Bytes& image, size_t payload) {
  Bytes frames;
  for (size_t at = 0; at < image.size(); at += payload) {
    frames.insert(frames.end(), {0x02, static_cast<uint8_t>(payload + 1), 0xFE});
    for (size_t i = at; i < at + payload; ++i) frames.push_back(i < image.size() ? image[i] : 0xFF);
    frames.push_back(0x03);
  }
  return frames;
}

// flashpanel's USB download of an image file through its link, with the
// image in a folder of its own made the current one; its pauses cost no time.
struct FramedScene {
  FramedScene(const std::string& file, size_t size, FramedBoard board)
      : folder(std::filesystem::temp_directory_path() /
               ("flashkit-usbhw-" + std::to_string(::getpid()))),
        previous(std::filesystem::current_path()) {
    rig.device->Respond([board](const Bytes& arrived) mutable { return board(arrived); });
    std::filesystem::create_directories(folder);
    std::filesystem::current_path(folder);
    for (size_t i = 0; i < size; ++i) image.push_back(static_cast<uint8_t>(i % 251));
    std::ofstream(file, std::ios::binary)
        .write(reinterpret_cast<const char*>(image.data()), static_cast<long>(image.size()));
  }

  ~FramedScene() {
    std::filesystem::current_path(previous);
    std::filesystem::remove_all(folder);
  }

  void Run(const std::string& file) {
    UsbFramedDownload download(link, view, pauses);
    download.UsbDownload(file, "RUN");
    download.WaitForSender();
  }

  std::vector<std::string> Messages() const {
    std::vector<std::string> messages;
    for (const auto& calls : {view.OnThisThread(), view.OnOtherThreads()}) {
      for (const std::string& call : calls) {
        if (call.rfind("message", 0) == 0) messages.push_back(call);
      }
    }
    return messages;
  }

  UsbHwRig rig;
  UsbLink link{platform::RealSystem()};
  RecordingUsbView view;
  VirtualClock pauses;
  std::filesystem::path folder;
  std::filesystem::path previous;
  Bytes image;
};

// A named image: header frame, data frames of 60 bytes back to back, the
// end frame, and the board's 0x06 as the one sign that it has the image.
TEST(UsbBoardFramed, NamedImageByteForByteConfirmedByTheBoard) {
  FramedScene scene("vivi.bin", 121, FramedBoard(0, false));
  scene.Run("vivi.bin");
  const Bytes header = Join({{0x02, 13, 0x81}, Text("vivi"), {0x00}, Text("0000121"), {0x03}});
  EXPECT_EQ(scene.rig.device->Received(0x02), Join({header, DataFrames(scene.image, 60), kEndRun}));
  EXPECT_EQ(scene.Messages(), std::vector<std::string>{});
  EXPECT_EQ(scene.rig.device->Events(), (std::vector<std::string>{"claim 0", "release 0"}));
}

// Any other image: the request packet, a reconnect (the board would
// re-enumerate), the size frame and each data frame answered, sent by the
// download's own thread, then the end frame.
TEST(UsbBoardFramed, SizeAnnouncedImageAcrossTheReconnectOnTheSenderThread) {
  FramedScene scene("fw.bin", 100, FramedBoard(kRequest.size(), true));
  scene.Run("fw.bin");
  const Bytes size = Join({{0x02, 0x09, 0xFF}, Text("00000100"), {0x03}});
  EXPECT_EQ(scene.rig.device->Received(0x02),
            Join({kRequest, size, DataFrames(scene.image, 32), kEndRun}));
  EXPECT_EQ(scene.Messages(), std::vector<std::string>{});
  const std::vector<std::string> sender = scene.view.OnOtherThreads();
  EXPECT_NE(std::find(sender.begin(), sender.end(), "settings 1"), sender.end());
  EXPECT_EQ(scene.rig.device->Events(),
            (std::vector<std::string>{"claim 0", "release 0", "claim 0", "release 0"}));
}

}  // namespace
}  // namespace flashkit::testing
