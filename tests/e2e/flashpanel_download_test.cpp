// flashpanel's three downloads driven as a user drives the dialog, on real
// devices in a sandbox namespace and in real time: SERIAL + Ymodem starts the
// real linkxfer in a console window against devsim board, SERIAL + None
// writes through the bootloader into devsim mcu, USB sends framed images to
// devsim usb-framed in both flows.

#include <gtest/gtest.h>
#include <stdlib.h>

#include <QAbstractButton>
#include <QComboBox>
#include <QCoreApplication>
#include <QProgressBar>
#include <algorithm>
#include <cstring>
#include <filesystem>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "gui/console_tool.h"
#include "gui/console_window.h"
#include "gui/dialog_template.h"
#include "gui/downloader_dialog.h"
#include "platform/clock.h"
#include "platform/device_system.h"
#include "tests/gui/qt_test_app.h"
#include "tests/support/e2e_devsim.h"
#include "tests/support/e2e_mcu.h"
#include "tests/support/e2e_program.h"
#include "tests/support/e2e_sandbox.h"
#include "tests/support/recorded_boxes.h"

namespace flashkit::testing {
namespace {

namespace fs = std::filesystem;

constexpr uint32_t kRunLimitMs = 60000;
constexpr uint32_t kEventLimitMs = 10000;
constexpr char kEnded[] = "다운로드가 종료 되었습니다..\n\n";

// Waits while the dialog's thread goes on handling its events.
bool PumpUntil(const std::function<bool()>& done, uint32_t timeout_ms) {
  return WaitUntil(
      [&] {
        QCoreApplication::processEvents(QEventLoop::AllEvents, 5);
        return done();
      },
      timeout_ms);
}

// The dialog of a running flashpanel: real devices in the sandbox's
// namespace, the real clock, linkxfer found in the build's program folder.
// The chosen file lives in the sandbox's host folder.
class Panel {
 public:
  explicit Panel(E2eSandbox& sandbox) : previous_(fs::current_path()) {
    TestApp();
    setenv("FLASHKIT_DEVROOT", sandbox.dev().c_str(), 1);
    DownloaderDialog::Services services(platform::RealSystem(), platform::SystemClock());
    services.boxes = &boxes;
    services.choose_file = [this](QWidget*) { return chosen_; };
    services.program_search = ProgramSearch{FLASHKIT_BIN_DIR, sandbox.host().string(), ""};
    services.log_path = (sandbox.root() / "log.txt").string();
    dialog = std::make_unique<DownloaderDialog>(std::move(services));
  }
  ~Panel() {
    for (ConsoleWindow* window : OpenConsoleWindows()) delete window;
    dialog.reset();
    fs::current_path(previous_);
    unsetenv("FLASHKIT_DEVROOT");
  }

  void Choose(const fs::path& file) {
    chosen_ = QString::fromStdString(file.string());
    dialog->OnBinSelect();
  }
  void Click(int32_t id) { static_cast<QAbstractButton*>(dialog->Control(id))->click(); }
  int ProgressValue() const { return static_cast<QProgressBar*>(dialog->Control(ctl::kProgress))->value(); }

  RecordedBoxes boxes;
  std::unique_ptr<DownloaderDialog> dialog;

 private:
  fs::path previous_;
  QString chosen_;
};

TEST(FlashpanelYmodem, LinkxferInItsConsoleSendsTheFileToTheBoard) {
  E2eSandbox sandbox;
  ASSERT_TRUE(sandbox.ok());
  const fs::path file = sandbox.host() / "fw image.bin";
  const Bytes image = RandomBytes(20000, 51);
  ASSERT_TRUE(WriteBytes(file, image));
  const fs::path store = sandbox.root() / "store";
  E2eDevsim board(sandbox, {"board", "--com", "4", "--baud", "115200", "--store", store.string(), "--once"});
  ASSERT_TRUE(board.WaitReady()) << board.Diagnostics();

  Panel panel(sandbox);
  panel.Choose(file);
  panel.dialog->OnSelchangePort(3);  // COM4
  panel.Click(ctl::kDownload);
  EXPECT_EQ(panel.dialog->m_CommandLine, "linkxfer.exe \"fw image.bin\" -sy -p4 -b115200");
  ASSERT_EQ(OpenConsoleWindows().size(), 1u) << ::testing::PrintToString(panel.boxes.texts);
  ConsoleWindow* console = OpenConsoleWindows().front();

  ASSERT_TRUE(PumpUntil([&] { return !console->Running(); }, kRunLimitMs)) << console->Text().toStdString();
  const std::string shown = console->Text().toStdString();
  EXPECT_NE(shown.find("Sent OK"), std::string::npos) << shown;
  EXPECT_NE(shown.find("exit status 0"), std::string::npos) << shown;
  // The console stays open with how the child ended, and the dialog says it.
  EXPECT_EQ(OpenConsoleWindows().size(), 1u);
  EXPECT_EQ(panel.dialog->m_Info, file.string() + "\n\n" + kEnded);
  EXPECT_TRUE(panel.boxes.texts.empty());

  const std::optional<std::string> stored = board.WaitForEvent("stored", kEventLimitMs);
  ASSERT_TRUE(stored) << board.Diagnostics();
  EXPECT_EQ(ReadBytes(store / "fw image.bin"), image) << board.Diagnostics();
}

TEST(FlashpanelYmodem, TwoPressesStartTwoConsoles) {
  E2eSandbox sandbox;
  ASSERT_TRUE(sandbox.ok());
  const fs::path file = sandbox.host() / "fw.bin";
  ASSERT_TRUE(WriteBytes(file, RandomBytes(100, 52)));
  Panel panel(sandbox);
  panel.Choose(file);
  // No board on COM9: each linkxfer fails on its own, in its own window.
  panel.dialog->OnSelchangePort(8);
  panel.Click(ctl::kDownload);
  panel.Click(ctl::kDownload);
  const QList<ConsoleWindow*> consoles = OpenConsoleWindows();
  ASSERT_EQ(consoles.size(), 2);
  EXPECT_NE(consoles[0]->ChildId(), consoles[1]->ChildId());
  ASSERT_TRUE(PumpUntil([&] { return !consoles[0]->Running() && !consoles[1]->Running(); }, kRunLimitMs));
  for (ConsoleWindow* console : consoles) {
    const std::string shown = console->Text().toStdString();
    EXPECT_EQ(shown.find("Sent OK"), std::string::npos) << shown;
    EXPECT_EQ(shown.find("exit status 0"), std::string::npos) << shown;
  }
  EXPECT_NE(panel.dialog->m_Info.find("error -101 (exit status 155): no such port"), std::string::npos)
      << panel.dialog->m_Info;
}

// The board on COM5, picked as COM5; or on a port no COM entry reaches, which
// the Port list shows after COM15 and the download opens by its path.
struct BootloaderRow {
  const char* name;
  unsigned com;
  const char* entry;
};

class FlashpanelBootloader : public ::testing::TestWithParam<BootloaderRow> {};

TEST_P(FlashpanelBootloader, SerialAndNoneWritesTheImageThroughTheMcuBootloader) {
  const BootloaderRow& row = GetParam();
  E2eSandbox sandbox;
  ASSERT_TRUE(sandbox.ok());
  const Bytes image = RandomBytes(3000, 53);
  const Bytes companion = RandomBytes(5000, 54);
  ASSERT_TRUE(WriteBytes(sandbox.host() / "iap_cortex.bin", image));
  ASSERT_TRUE(WriteBytes(sandbox.host() / "WDN-500S.bin", companion));
  E2eMcu mcu(sandbox, row.com);
  ASSERT_TRUE(mcu.WaitReady()) << mcu.Diagnostics();

  Panel panel(sandbox);
  panel.Choose(sandbox.host() / "iap_cortex.bin");
  const int entry = panel.dialog->m_PortList->findText(QString::fromUtf8(row.entry));
  ASSERT_GE(entry, 0) << row.entry;
  panel.dialog->OnSelchangePort(entry);
  panel.Click(ctl::kModemNone);
  ASSERT_EQ(panel.dialog->m_ModemName, "Serial");
  panel.Click(ctl::kDownload);  // returns when the download is over

  EXPECT_TRUE(panel.boxes.texts.empty()) << ::testing::PrintToString(panel.boxes.texts);
  EXPECT_NE(panel.dialog->m_Info.find(kEnded), std::string::npos);
  const Bytes flash = mcu.StopAndDump();
  const Bytes want = FlashWith({{0x08000000, image}, {0x08007C00, {0x55, 0xAA, 0x55, 0xAA}}, {0x08008000, companion}});
  EXPECT_TRUE(flash == want) << FirstDifference(flash, want);
}

INSTANTIATE_TEST_SUITE_P(Ports, FlashpanelBootloader,
                         ::testing::Values(BootloaderRow{"Com5", 5, "COM5"},
                                           BootloaderRow{"EntryAfterCom15", 20, "com20"}),
                         [](const auto& info) { return std::string(info.param.name); });

// USB: the size-announced flow returns to the dialog while the sender thread
// goes on; the named-image flow holds the dialog to the end.
struct UsbRow {
  const char* name;
  const char* file_name;
  size_t size;
  const char* stored_as;  // nullptr: the device names it image-<n>.bin
  const char* info_ends;  // what the information text shows at the end
};

class FlashpanelUsb : public ::testing::TestWithParam<UsbRow> {};

TEST_P(FlashpanelUsb, TheDeviceStoresTheImageByteForByte) {
  const UsbRow& row = GetParam();
  E2eSandbox sandbox;
  ASSERT_TRUE(sandbox.ok());
  const fs::path file = sandbox.host() / row.file_name;
  const Bytes image = RandomBytes(row.size, 55);
  ASSERT_TRUE(WriteBytes(file, image));
  const std::string sha = Sha256Sum(sandbox, file.string());
  const fs::path store = sandbox.root() / "store";
  E2eDevsim device(sandbox, {"usb-framed", "--usb", "board0", "--store", store.string()});
  ASSERT_TRUE(device.WaitReady()) << device.Diagnostics();

  Panel panel(sandbox);
  panel.Choose(file);
  panel.Click(ctl::kUsb);
  panel.Click(ctl::kDownload);
  ASSERT_TRUE(PumpUntil([&] { return !panel.dialog->usb_download().SenderRunning(); }, kRunLimitMs))
      << device.Diagnostics();
  QCoreApplication::processEvents();

  const std::optional<std::string> stored = device.WaitForEvent("stored", kEventLimitMs);
  ASSERT_TRUE(stored) << device.Diagnostics();
  EXPECT_EQ(EventField(*stored, "sha256"), sha) << *stored;
  if (row.stored_as) {
    EXPECT_EQ(EventField(*stored, "name"), row.stored_as) << *stored;
  }
  const std::optional<std::string> path = EventField(*stored, "path");
  ASSERT_TRUE(path) << *stored;
  EXPECT_EQ(ReadBytes(*path), image);
  EXPECT_TRUE(panel.boxes.texts.empty()) << ::testing::PrintToString(panel.boxes.texts);
  const std::string& info = panel.dialog->m_Info;
  EXPECT_EQ(info.substr(info.size() - std::min(info.size(), std::strlen(row.info_ends))), row.info_ends) << info;
}

INSTANTIATE_TEST_SUITE_P(
    Flows, FlashpanelUsb,
    ::testing::Values(UsbRow{"SizeAnnounced", "iap_cortex.bin", 10007, nullptr, kEnded},
                      UsbRow{"SizeAnnouncedPayload60", "ZQT410_TAXI.bin", 6001, nullptr, kEnded},
                      // The device's 0x06 after the end frame ends it as the others end.
                      UsbRow{"NamedImage", "zImage", 12345, "kernel", kEnded}),
    [](const auto& info) { return std::string(info.param.name); });

// 70,000 frames: more than a 16-bit range holds. The bar must cover them
// all, not fill up after the first 4,465.
TEST(FlashpanelUsbProgress, TheBarCoversAnImageOfMoreThan65535Frames) {
  constexpr size_t kFrames = 70000;
  E2eSandbox sandbox;
  ASSERT_TRUE(sandbox.ok());
  const fs::path file = sandbox.host() / "rootfs.img";
  const Bytes image = RandomBytes(kFrames * 60, 56);
  ASSERT_TRUE(WriteBytes(file, image));
  const fs::path store = sandbox.root() / "store";
  E2eDevsim device(sandbox, {"usb-framed", "--usb", "board0", "--store", store.string()});
  ASSERT_TRUE(device.WaitReady()) << device.Diagnostics();

  Panel panel(sandbox);
  panel.Choose(file);
  panel.Click(ctl::kUsb);
  // The bar as each frame moves it, read back on the dialog's thread.
  std::vector<std::pair<int, int>> seen;  // value, maximum
  QProgressBar* bar = panel.dialog->m_Progress;
  QObject::connect(bar, &QProgressBar::valueChanged, [&](int value) { seen.emplace_back(value, bar->maximum()); });
  panel.Click(ctl::kDownload);  // the named-image flow holds the dialog to its end

  ASSERT_GE(seen.size(), kFrames);
  for (size_t frame = 1; frame <= kFrames; ++frame) {
    ASSERT_EQ(seen[frame - 1], std::make_pair(static_cast<int>(frame), static_cast<int>(kFrames + 1))) << frame;
  }
  EXPECT_EQ(bar->value(), bar->maximum());
  const std::optional<std::string> stored = device.WaitForEvent("stored", kEventLimitMs);
  ASSERT_TRUE(stored) << device.Diagnostics();
  const std::optional<std::string> path = EventField(*stored, "path");
  ASSERT_TRUE(path) << *stored;
  EXPECT_EQ(ReadBytes(*path), image);
}

}  // namespace
}  // namespace flashkit::testing
