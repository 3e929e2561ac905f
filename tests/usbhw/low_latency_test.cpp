// Low-latency mode asked of an adapter's driver through the real ioctls, on
// a ttyUSB node whose ioctls the test answers as the tty layer and the
// driver would.
#include <linux/serial.h>
#include <signal.h>
#include <sys/ioctl.h>
#include <umockdev.h>

#include <gtest/gtest.h>

#include <cerrno>
#include <chrono>
#include <condition_variable>
#include <cstdio>
#include <cstring>
#include <mutex>
#include <string>
#include <vector>

#include "platform/device_system.h"
#include "platform/line_termios.h"
#include "tests/platform/temp_namespace.h"
#include "tests/support/child_process.h"
#include "tests/support/e2e_program.h"
#include "tests/usbhw/tty_testbed.h"

namespace flashkit::testing {
namespace {

constexpr char kNode[] = "/dev/ttyUSB0";
constexpr int kSkipTest = ASYNC_SKIP_TEST;
constexpr int kLow = ASYNC_LOW_LATENCY;
constexpr int kFtdiBaudBase = 24000000;
constexpr char kGet[] = "TIOCGSERIAL";

// A TIOCSSERIAL as the driver saw it: the flags asked for.
std::string Set(int flags) {
  char text[32];
  std::snprintf(text, sizeof text, "TIOCSSERIAL %#06x", static_cast<unsigned>(flags));
  return text;
}

// The tty layer and a USB serial driver behind the testbed's node: a termios2
// and a serial_struct kept between calls, exclusive mode, flushes, drains and
// modem lines accepted, anything else unknown; `refused` fails with
// `refusal`. Answers on umockdev's handler thread, for this process and its
// children alike.
class TtyDriver {
 public:
  TtyDriver(UsbTestbed& testbed, int flags, unsigned long refused = 0, int refusal = 0)
      : testbed_(testbed), handler_(umockdev_ioctl_base_new()), refused_(refused), refusal_(refusal) {
    serial_.flags = flags;
    serial_.baud_base = kFtdiBaudBase;
    g_signal_connect(handler_, "handle-ioctl", reinterpret_cast<GCallback>(&TtyDriver::Handle), this);
    EXPECT_TRUE(umockdev_testbed_attach_ioctl(testbed_.get(), kNode, handler_, nullptr));
  }
  ~TtyDriver() {
    umockdev_testbed_detach_ioctl(testbed_.get(), kNode, nullptr);
    g_object_unref(handler_);
  }

  serial_struct Serial() const {
    std::lock_guard<std::mutex> lock(mutex_);
    return serial_;
  }
  std::vector<std::string> Seen() const {
    std::lock_guard<std::mutex> lock(mutex_);
    return seen_;
  }
  // Waits, ten seconds at most, for a TIOCSSERIAL to leave `flags`.
  bool WaitForFlags(int flags) {
    std::unique_lock<std::mutex> lock(mutex_);
    return changed_.wait_for(lock, std::chrono::seconds(10), [&] { return serial_.flags == flags; });
  }

 private:
  static int Handle(UMockdevIoctlBase*, UMockdevIoctlClient* client, void* self) {
    const auto [result, err] = static_cast<TtyDriver*>(self)->Answer(
        umockdev_ioctl_client_get_request(client), umockdev_ioctl_client_get_arg(client));
    umockdev_ioctl_client_complete(client, result, err);
    return TRUE;
  }

  // Copies between what the driver keeps and the caller's memory at `arg`.
  template <typename T>
  static void Exchange(UMockdevIoctlData* arg, T& kept, bool to_caller) {
    UMockdevIoctlData* data = umockdev_ioctl_data_resolve(arg, 0, sizeof kept, nullptr);
    if (to_caller) {
      std::memcpy(data->data, &kept, sizeof kept);
    } else {
      std::memcpy(&kept, data->data, sizeof kept);
    }
    g_object_unref(data);
  }

  std::pair<long, int> Answer(unsigned long request, UMockdevIoctlData* arg) {
    std::lock_guard<std::mutex> lock(mutex_);
    serial_struct asked{};
    if (request == TIOCGSERIAL) seen_.push_back(kGet);
    if (request == TIOCSSERIAL) {
      Exchange(arg, asked, false);
      seen_.push_back(Set(asked.flags));
    }
    if (request == refused_) return {-1, refusal_};
    switch (request) {
      case TCGETS2: Exchange(arg, termios_, true); break;
      case TCSETS2: Exchange(arg, termios_, false); break;
      case TIOCGSERIAL: Exchange(arg, serial_, true); break;
      case TIOCSSERIAL:
        serial_ = asked;
        changed_.notify_all();
        break;
      case TIOCEXCL: case TIOCNXCL: case TCFLSH: case TCSBRK: case TIOCMBIS: case TIOCMBIC: break;
      default: return {-1, ENOTTY};
    }
    return {0, 0};
  }

  UsbTestbed& testbed_;
  UMockdevIoctlBase* handler_;
  const unsigned long refused_;
  const int refusal_;
  mutable std::mutex mutex_;
  std::condition_variable changed_;
  termios2 termios_{};
  serial_struct serial_{};
  std::vector<std::string> seen_;
};

struct LatencyRow {
  const char* name;
  int flags;  // the driver's before the line opens
  unsigned long refused;
  int refusal;
  std::vector<std::string> seen_at_open;
  int flags_open;
  std::vector<std::string> seen_at_close;  // what Close adds
};

void PrintTo(const LatencyRow& row, std::ostream* out) { *out << row.name; }

class LowLatencyDriver : public ::testing::TestWithParam<LatencyRow> {};

TEST_P(LowLatencyDriver, AskedWhileOpenOldFlagsBackOnClose) {
  const LatencyRow& row = GetParam();
  ASSERT_TRUE(UsbTestbed::Preloaded()) << "run under umockdev's preload library (ctest sets it)";
  UsbTestbed testbed;
  TtyTestbed(testbed).AddUsbAdapter(Ftdi());
  TtyDriver driver(testbed, row.flags, row.refused, row.refusal);

  platform::Opened<platform::SerialLine> line = platform::RealSystem().OpenSerial(kNode);
  ASSERT_NE(line.device, nullptr) << line.status.Text();
  EXPECT_EQ(driver.Seen(), row.seen_at_open);
  EXPECT_EQ(driver.Serial().flags, row.flags_open);
  line.device->Close();
  std::vector<std::string> all = row.seen_at_open;
  all.insert(all.end(), row.seen_at_close.begin(), row.seen_at_close.end());
  EXPECT_EQ(driver.Seen(), all);
  EXPECT_EQ(driver.Serial().flags, row.flags);
  EXPECT_EQ(driver.Serial().baud_base, kFtdiBaudBase) << "the driver's other settings left alone";
}

INSTANTIATE_TEST_SUITE_P(
    Rows, LowLatencyDriver,
    ::testing::Values(
        LatencyRow{"Granted", kSkipTest, 0, 0, {kGet, kGet, Set(kSkipTest | kLow)}, kSkipTest | kLow,
                   {kGet, Set(kSkipTest)}},
        // Set by the user (setserial) or by the driver itself: left so.
        LatencyRow{"AlreadyLow", kLow, 0, 0, {kGet}, kLow, {}},
        LatencyRow{"Refused", kSkipTest, TIOCSSERIAL, EPERM, {kGet, kGet, Set(kSkipTest | kLow)},
                   kSkipTest, {}},
        // No serial settings at all, as on a pseudo-terminal.
        LatencyRow{"NoSuchMode", kSkipTest, TIOCGSERIAL, ENOTTY, {kGet}, kSkipTest, {}}),
    [](const auto& info) { return std::string(info.param.name); });

// Ctrl-C in linkxfer's log capture: a program ending early gives the
// driver its flags back.
TEST(LowLatencyDriver, LinkxferStoppedByCtrlCGivesTheFlagsBack) {
  ASSERT_TRUE(UsbTestbed::Preloaded()) << "run under umockdev's preload library (ctest sets it)";
  TempNamespace folder;
  UsbTestbed testbed;
  TtyTestbed(testbed).AddUsbAdapter(Ftdi());
  TtyDriver driver(testbed, kSkipTest);

  ChildLaunch launch;
  launch.argv = {ProgramPath("linkxfer"), std::string("-p") + kNode, "-lfcap.log", "-lt30"};
  launch.work_dir = folder.root().string();
  ChildProcess linkxfer(launch);
  ASSERT_TRUE(linkxfer.started()) << linkxfer.error();
  ASSERT_TRUE(driver.WaitForFlags(kSkipTest | kLow)) << "linkxfer's ioctls reach the test's driver";
  ASSERT_EQ(kill(linkxfer.pid(), SIGINT), 0);
  const std::optional<ExitStatus> status = linkxfer.Wait(10000);
  ASSERT_TRUE(status) << "still running after Ctrl-C";
  EXPECT_EQ(status->Describe(), "exit status 130");
  EXPECT_EQ(driver.Serial().flags, kSkipTest);
}

}  // namespace
}  // namespace flashkit::testing
