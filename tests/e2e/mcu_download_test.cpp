// flashpanel's bootloader download, McuBootloader::Download on a real
// SerialPort, against devsim mcu on a pseudo-terminal in real time: the
// loader with its erase and marker, an ordinary image started through the
// loader, each followed by the companion image; and an MCU that never
// answers.

#include <gtest/gtest.h>
#include <stdlib.h>

#include <cstdio>
#include <filesystem>
#include <memory>
#include <string>
#include <utility>
#include <vector>

#include "engines/download_progress.h"
#include "gui/links/serial_port.h"
#include "engines/mcu_bootloader.h"
#include "platform/clock.h"
#include "platform/device_system.h"
#include "tests/support/e2e_mcu.h"
#include "tests/support/e2e_sandbox.h"
#include "tests/support/recorded_boxes.h"

namespace flashkit::testing {
namespace {

namespace fs = std::filesystem;

constexpr unsigned kCom = 7;
constexpr char kCompanion[] = "WDN-500S.bin";
constexpr uint32_t kLoaderAt = 0x08000000;
constexpr uint32_t kMarkerAt = 0x08007C00;
constexpr uint32_t kApplicationAt = 0x08008000;
const Bytes kMarker = {0x55, 0xAA, 0x55, 0xAA};

class RecordedProgress : public ProgressWindow {
 public:
  void SendProgress(uint32_t wparam, int32_t lparam) override { sent.emplace_back(wparam, lparam); }
  std::vector<std::pair<uint32_t, int32_t>> sent;
};

// The download opens its files in the current folder and its port in the
// namespace the environment names, as the dialog's process would.
class DownloadHost {
 public:
  explicit DownloadHost(E2eSandbox& sandbox) : previous_(fs::current_path()) {
    setenv("FLASHKIT_DEVROOT", sandbox.dev().c_str(), 1);
    fs::current_path(sandbox.host());
  }
  ~DownloadHost() { fs::current_path(previous_); }

  int32_t Download(const std::string& file_name) {
    McuBootloader boot(std::make_unique<SerialPort>(platform::RealSystem(), boxes), boxes,
                       platform::SystemClock());
    boot.SetOwnerWindow(&progress);
    return boot.Download(file_name, std::to_string(kCom), "115200");
  }

  RecordedBoxes boxes;
  RecordedProgress progress;

 private:
  fs::path previous_;
};

std::vector<std::string> Blocks(const std::string& kind, uint32_t address, size_t size) {
  std::vector<std::string> trail;
  for (size_t offset = 0; offset < size; offset += 256) {
    char text[32];
    std::snprintf(text, sizeof text, "%s 0x%08zx", kind.c_str(), address + offset);
    trail.push_back(text);
  }
  return trail;
}

std::vector<std::string> Cat(std::initializer_list<std::vector<std::string>> parts) {
  std::vector<std::string> all;
  for (const auto& part : parts) all.insert(all.end(), part.begin(), part.end());
  return all;
}

// Each image with a companion in the folder, against a fresh MCU.
struct DownloadRow {
  const char* name;
  const char* file_name;
  size_t image_size;
  size_t companion_size;
  // The write, go, sync and erase events, in order.
  std::vector<std::string> (*trail)(size_t image_size, size_t companion_size);
  Bytes (*flash)(const Bytes& image, const Bytes& companion);
  size_t dirty_writes;
};

// The loader: sync, global erase and marker once, then the loader and the
// companion, and the device started at the loader.
std::vector<std::string> LoaderTrail(size_t image_size, size_t companion_size) {
  return Cat({{"sync", "erase", "write 0x08007c00"}, Blocks("write", kLoaderAt, image_size),
              Blocks("write", kApplicationAt, companion_size), {"go 0x08000000"}});
}
Bytes LoaderFlash(const Bytes& image, const Bytes& companion) {
  return FlashWith({{kLoaderAt, image}, {kMarkerAt, kMarker}, {kApplicationAt, companion}});
}

// An ordinary image: no erase; the image, Go, then the companion over it.
std::vector<std::string> ImageTrail(size_t image_size, size_t companion_size) {
  return Cat({Blocks("write", kApplicationAt, image_size), {"go 0x08000000"},
              Blocks("write", kApplicationAt, companion_size), {"go 0x08000000"}});
}
Bytes ImageFlash(const Bytes&, const Bytes& companion) {
  return FlashWith({{kApplicationAt, companion}});
}

class McuDownload : public ::testing::TestWithParam<DownloadRow> {};

TEST_P(McuDownload, WritesTheImageAndTheCompanion) {
  const DownloadRow& row = GetParam();
  E2eSandbox sandbox;
  ASSERT_TRUE(sandbox.ok());
  const Bytes image = RandomBytes(row.image_size, 21);
  const Bytes companion = RandomBytes(row.companion_size, 22);
  ASSERT_TRUE(WriteBytes(sandbox.host() / row.file_name, image));
  ASSERT_TRUE(WriteBytes(sandbox.host() / kCompanion, companion));
  E2eMcu mcu(sandbox, kCom);
  ASSERT_TRUE(mcu.WaitReady()) << mcu.Diagnostics();

  DownloadHost host(sandbox);
  EXPECT_EQ(host.Download(row.file_name), 1) << mcu.Diagnostics();
  EXPECT_TRUE(host.boxes.texts.empty());

  const Bytes flash = mcu.StopAndDump();
  const Bytes want = row.flash(image, companion);
  EXPECT_TRUE(flash == want) << FirstDifference(flash, want);
  const auto events = mcu.Events();
  EXPECT_EQ(McuTrail(events, {"sync", "erase", "write", "go"}),
            row.trail(image.size(), companion.size()))
      << mcu.Diagnostics();
  EXPECT_EQ(CountEvents(events, "dirty-write"), row.dirty_writes) << mcu.Diagnostics();
}

INSTANTIATE_TEST_SUITE_P(
    Images, McuDownload,
    ::testing::Values(
        DownloadRow{"Loader", "iap_cortex.bin", 3000, 5000, LoaderTrail, LoaderFlash, 0},
        // The companion's first blocks land on the image's: 16 dirty writes.
        DownloadRow{"OrdinaryImage", "app.bin", 4000, 6000, ImageTrail, ImageFlash, 16}),
    [](const auto& info) { return std::string(info.param.name); });

TEST(McuSilent, EndsInFailAfterFiveGetIdsAndTenTriesOfTheFirstBlock) {
  E2eSandbox sandbox;
  ASSERT_TRUE(sandbox.ok());
  ASSERT_TRUE(WriteBytes(sandbox.host() / "app.bin", RandomBytes(4000, 41)));
  ASSERT_TRUE(WriteBytes(sandbox.host() / kCompanion, RandomBytes(100, 42)));
  E2eMcu mcu(sandbox, kCom, {"--drop", "1"});
  ASSERT_TRUE(mcu.WaitReady()) << mcu.Diagnostics();

  DownloadHost host(sandbox);
  EXPECT_EQ(host.Download("app.bin"), 0);
  EXPECT_EQ(host.boxes.texts, std::vector<std::string>{"Fail"});
  using Sent = std::vector<std::pair<uint32_t, int32_t>>;
  EXPECT_EQ(host.progress.sent, (Sent{{16, kProgressStart}, {1, kProgressPosition}, {2, kProgressEnd}}));

  mcu.StopAndDump();
  const auto events = mcu.Events();
  std::optional<std::string> stats;
  for (const std::string& line : events) {
    if (EventField(line, "event") == "line-stats") stats = line;
  }
  ASSERT_TRUE(stats) << mcu.Diagnostics();
  // Get ID (2 bytes) five times, then the Write Memory command (2 bytes) ten
  // times, all lost on the way; the first direction is the host's.
  EXPECT_EQ(EventField(*stats, "dropped"), "30") << *stats;
  EXPECT_EQ(EventField(*stats, "delivered"), "0") << *stats;
}

}  // namespace
}  // namespace flashkit::testing
