// Ctrl-C (and SIGTERM) while linkxfer waits: in the download request's
// prompts, in the middle of a YMODEM send or receive, and in a log capture.
// The test holds the far end of a simulated cable and plays the device byte
// by byte, so it sees exactly what linkxfer leaves on the line: the cancel,
// then nothing. Afterwards the line has the settings it had before the run,
// and what was received or captured is on disk.

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <termios.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "tests/support/child_process.h"
#include "tests/support/e2e_cable_end.h"
#include "tests/support/e2e_devsim.h"
#include "tests/support/e2e_program.h"
#include "tests/support/e2e_sandbox.h"
#include "tests/support/xfer_row_name.h"
#include "tests/support/xfer_wire.h"

namespace flashkit::testing {
namespace {

using testing::PrintTo;

constexpr uint32_t kStepMs = 10000;
constexpr uint32_t kExitLimitMs = 10000;
constexpr uint8_t kSoh = kSohByte;
constexpr uint8_t kStx = kStxByte;
constexpr uint8_t kAck = kAckByte;
constexpr uint8_t kStart = 'C';
const Bytes kFiveCans(5, kCanByte);

// The line settings a user's terminal program might have left: cooked, echo,
// 9600 baud. linkxfer makes the line raw; it must give these back.
bool LeaveCookedLine(const std::string& path) {
  const int fd = open(path.c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC);
  if (fd < 0) return false;
  termios t{};
  bool ok = tcgetattr(fd, &t) == 0;
  t.c_iflag |= ICRNL | IXON;
  t.c_oflag |= OPOST | ONLCR;
  t.c_lflag |= ICANON | ECHO | ECHOE | ISIG | IEXTEN;
  t.c_cc[VMIN] = 1;
  t.c_cc[VTIME] = 0;
  ok = ok && cfsetspeed(&t, B9600) == 0 && tcsetattr(fd, TCSANOW, &t) == 0;
  close(fd);
  return ok;
}

std::string LineSettingsText(const std::string& path) {
  const int fd = open(path.c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC);
  if (fd < 0) return "cannot open " + path;
  termios t{};
  const bool ok = tcgetattr(fd, &t) == 0;
  close(fd);
  if (!ok) return "not a terminal";
  char text[160];
  std::snprintf(text, sizeof text, "iflag %o oflag %o cflag %o lflag %o speed %u/%u cc",
                t.c_iflag, t.c_oflag, t.c_cflag, t.c_lflag, cfgetispeed(&t), cfgetospeed(&t));
  std::string all = text;
  for (cc_t c : t.c_cc) all.append(" ").append(std::to_string(c));
  return all;
}

// One run: linkxfer on COM1, the test on COM2.
struct Scene {
  E2eSandbox& sandbox;
  CableEnd& cable;
  const std::string& out_path;
};

// Plays the device up to the moment of the signal; false (with the reason in
// `why`) when linkxfer did not get there.
using Drive = bool (*)(Scene&, std::string& why);

bool Fail(std::string& why, const std::string& text) {
  why = text;
  return false;
}

bool PromptsUnanswered(Scene& s, std::string& why) { return PromptsUnanswered(s.cable, why); }

bool FirstDataBlockUnanswered(Scene& s, std::string& why) {
  return FirstDataBlockUnanswered(s.cable, why);
}

constexpr size_t kAnnouncedSize = 4096;
const Bytes kFirstBlock = RandomBytes(1024, 61);

// Offers fw.bin of 4096 bytes, sends its first kilobyte and then nothing.
bool SenderFallsSilent(Scene& s, std::string& why) {
  CableEnd& c = s.cable;
  if (!c.WaitFor([](const Bytes& got) { return Find(got, {kStart}).has_value(); }, kStepMs)) {
    return Fail(why, "no start character");
  }
  size_t mark = c.got().size();
  c.Write(DataFrame(kSoh, 0, HeaderField("fw.bin", std::to_string(kAnnouncedSize)), Check::kCrc));
  if (!c.WaitFor([&](const Bytes& got) { return Find(got, {kAck, kStart}, mark).has_value(); },
                 kStepMs)) {
    return Fail(why, "block 0 not acknowledged");
  }
  mark = c.got().size();
  c.Write(DataFrame(kStx, 1, kFirstBlock, Check::kCrc));
  const bool acked =
      c.WaitFor([&](const Bytes& got) { return Find(got, {kAck}, mark).has_value(); }, kStepMs);
  return acked || Fail(why, "data block not acknowledged");
}

// Sends two lines of boot log once linkxfer listens, and waits until they are
// in the log file.
constexpr char kBootLog[] = "boot line 1\r\nboot line 2\r\n";

bool BootLogCaptured(Scene& s, std::string& why) {
  if (!WaitUntil([&] { return ReadText(s.out_path).find("Capturing log to") != std::string::npos; },
                 kStepMs)) {
    return Fail(why, "no capture");
  }
  s.cable.Write(Bytes(kBootLog, kBootLog + sizeof kBootLog - 1));
  const bool logged = WaitUntil(
      [&] { return ReadText(s.sandbox.host() / "capture.log") == kBootLog; }, kStepMs);
  return logged || Fail(why, "log not captured");
}

struct InterruptRow {
  const char* name;
  std::vector<std::string> args;  // besides -p1
  Drive drive;
  int signal;
  const char* err_text;
  bool cancels;                      // five CAN bytes follow the signal on the line
  const char* file;                  // left in host/ (nullptr: nothing to look at)
  std::string (*file_text)();        // what it holds
};

std::string FirstBlockText() { return std::string(kFirstBlock.begin(), kFirstBlock.end()); }
std::string BootLogText() { return kBootLog; }

const InterruptRow kRows[] = {
    {"Ctrl-C in the download request's prompts", {"-sy", "image.bin"}, PromptsUnanswered, SIGINT,
     "Error during file transfer. Stopped by SIGINT\n\n", true, nullptr, nullptr},
    {"SIGTERM in the download request's prompts", {"-sy", "image.bin"}, PromptsUnanswered, SIGTERM,
     "Error during file transfer. Stopped by SIGTERM\n\n", true, nullptr, nullptr},
    {"Ctrl-C in a YMODEM send, waiting for the answer to a data block", {"-sy", "-t5", "image.bin"},
     FirstDataBlockUnanswered, SIGINT, "Error during file transfer. Stopped by SIGINT\n\n", true,
     nullptr, nullptr},
    {"Ctrl-C in a YMODEM receive, waiting for the second block", {"-r", "-t30"},
     SenderFallsSilent, SIGINT, "Error during file transfer. Stopped by SIGINT\n\n", true,
     "fw.bin", FirstBlockText},
    {"Ctrl-C in a log capture", {"-lfcapture.log", "-lt30"}, BootLogCaptured, SIGINT,
     "Error during log capture. Stopped by SIGINT\n\n", false, "capture.log", BootLogText},
};

class Interrupt : public ::testing::TestWithParam<InterruptRow> {};

TEST_P(Interrupt, CancelsRestoresTheLineAndKeepsWhatCame) {
  const InterruptRow& row = GetParam();
  E2eSandbox sandbox;
  ASSERT_TRUE(sandbox.ok());
  ASSERT_TRUE(WriteBytes(sandbox.host() / "image.bin", RandomBytes(8000, 62)));
  E2eDevsim wire(sandbox, {"wire", "--com", "1", "--com", "2", "--baud", "115200"});
  ASSERT_TRUE(wire.WaitReady()) << wire.Diagnostics();
  const std::string com1 = sandbox.ComPath(1);
  ASSERT_TRUE(LeaveCookedLine(com1));
  const std::string before = LineSettingsText(com1);
  CableEnd cable(sandbox.ComPath(2));
  ASSERT_TRUE(cable.ok());

  ChildLaunch launch;
  launch.argv = {ProgramPath("linkxfer"), "-p1"};
  launch.argv.insert(launch.argv.end(), row.args.begin(), row.args.end());
  launch.work_dir = sandbox.host().string();
  launch.stdout_path = sandbox.LogPath("linkxfer.out");
  launch.stderr_path = sandbox.LogPath("linkxfer.err");
  launch.env = sandbox.ChildEnv();
  ChildProcess linkxfer(launch);
  ASSERT_TRUE(linkxfer.started()) << linkxfer.error();
  const auto why = [&] {
    return "stdout: " + Printable(ReadText(launch.stdout_path)) +
           "\nstderr: " + Printable(ReadText(launch.stderr_path)) + "\n" + wire.Diagnostics();
  };

  Scene scene{sandbox, cable, launch.stdout_path};
  std::string failure;
  ASSERT_TRUE(row.drive(scene, failure)) << failure << "\n" << why();
  const size_t signalled_at = cable.got().size();
  ASSERT_EQ(kill(linkxfer.pid(), row.signal), 0);
  const std::optional<ExitStatus> status = linkxfer.Wait(kExitLimitMs);
  ASSERT_TRUE(status) << "still running after the signal\n" << why();
  cable.WaitFor([](const Bytes&) { return false; }, 200);

  EXPECT_EQ(status->Describe(), "exit status " + std::to_string(128 + row.signal)) << why();
  EXPECT_NE(ReadText(launch.stderr_path).find(row.err_text), std::string::npos) << why();
  const std::string out = ReadText(launch.stdout_path);
  EXPECT_EQ(out.find("OK\n"), std::string::npos) << why();
  EXPECT_EQ(Find(cable.got(), kFiveCans, signalled_at).has_value(), row.cancels) << why();
  EXPECT_EQ(LineSettingsText(com1), before);
  if (row.file) {
    EXPECT_EQ(ReadText(sandbox.host() / row.file), row.file_text()) << why();
  }
}

INSTANTIATE_TEST_SUITE_P(E2e, Interrupt, ::testing::ValuesIn(kRows), XferRowName<InterruptRow>);

}  // namespace
}  // namespace flashkit::testing
