// UsbLink against a device in a real namespace: its folder under the class,
// its two pipes listening.
#include <gtest/gtest.h>
#include <unistd.h>

#include <filesystem>

#include "gui/links/usb_link.h"
#include "platform/device_namespace.h"
#include "platform/usb_pipe.h"
#include "platform/usb_pipe_path.h"
#include "tests/gui/links/serial_rig.h"
#include "tests/platform/runtime_dir.h"
#include "tests/platform/temp_namespace.h"

namespace flashkit {
namespace {

using testing::Bytes;

struct BoardRig {
  BoardRig() {
    const std::string folder =
        platform::InterfaceClassDir(platform::kBulkInterfaceClass) + "/board0";
    std::filesystem::create_directories(folder);
    platform::SysStatus status;
    to_host = platform::PipeListener::Listen(folder + "/PIPE00", &status);
    from_host = platform::PipeListener::Listen(folder + "/PIPE01", &status);
    EXPECT_TRUE(to_host && from_host) << status.Text();
  }

  // The board takes the host's two connections.
  void Accept() {
    platform::SysStatus status;
    out = to_host->Accept(&status);
    in = from_host->Accept(&status);
    ASSERT_TRUE(out && in) << status.Text();
  }

  testing::TempNamespace ns;
  testing::RuntimeDir runtime{ns.root().string()};
  std::unique_ptr<platform::PipeListener> to_host;
  std::unique_ptr<platform::PipeListener> from_host;
  std::unique_ptr<platform::Device> out;
  std::unique_ptr<platform::Device> in;
};

TEST(UsbLinkPipes, FrameOutAnswerInAndTheAckAfterTheDownload) {
  BoardRig board;
  testing::CapturedTrace trace;
  UsbLink link(platform::RealSystem());
  ASSERT_EQ(link.Connect(), 1);
  board.Accept();

  const Bytes frame{0x02, 0x00, 0x10, 0x03};
  EXPECT_EQ(link.Write(frame.data(), 4), 4);
  board.in->PollInput(1000);
  Bytes got(16);
  got.resize(board.in->Read(got.data(), got.size()).count);
  EXPECT_EQ(got, frame);

  const uint8_t answer = 'A';
  ASSERT_EQ(board.out->Write(&answer, 1).count, 1u);
  uint8_t buffer[8] = {};
  EXPECT_EQ(link.Read(buffer, sizeof buffer), 1);
  EXPECT_EQ(buffer[0], 'A');

  const uint8_t ack = 0x06;
  ASSERT_EQ(board.out->Write(&ack, 1).count, 1u);
  EXPECT_EQ(link.WaitForByte(0x06), 1);

  link.Close();
  board.in->PollInput(1000);
  EXPECT_FALSE(board.in->Read(got.data(), got.size()).ok()) << "the board still sees a host";
  const std::string path = platform::InterfaceClassDir(platform::kBulkInterfaceClass) + "/board0";
  EXPECT_EQ(trace.Lines(), (std::vector<std::string>{"Attempting to open " + path + "\n",
                                                     "--------- WRITE PIPE Opened successfully.\n",
                                                     "USB Opened successfully.\n",
                                                     "--------- Close USB.\n"}));
}

}  // namespace
}  // namespace flashkit
