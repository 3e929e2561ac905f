#include <gtest/gtest.h>

#include <algorithm>
#include <string>

#include "tests/engines/download_rig.h"

namespace flashkit::testing {
namespace {

using Answer = BootDevice::Answer;
using Fault = BootDevice::Fault;
constexpr int kAny = BootDevice::kAnyCommand;
constexpr int kSync = 0x7F;
constexpr int kGetId = 0x02;
constexpr int kGo = 0x21;
constexpr int kWrite = 0x31;
constexpr int kAlways = 1000;

// A 256-byte image counting 00..FF, and one of 0x11 closed by 0x22: whole
// blocks with checksums FF and CC.
const Frame kCounting = Pattern(256);
Frame Companion() {
  Frame bytes(256, 0x11);
  bytes.back() = 0x22;
  return bytes;
}
Frame DataFrame(const Frame& block, uint8_t checksum) {
  Frame frame = {0xFF};
  frame.insert(frame.end(), block.begin(), block.end());
  frame.push_back(checksum);
  return frame;
}

const Frame kGetIdCmd = {0x02, 0xFD};
const Frame kWriteCmd = {0x31, 0xCE};
const Frame kGoCmd = {0x21, 0xDE};
const Frame kAtFlashStart = {0x08, 0x00, 0x00, 0x00, 0x08};
const Frame kAtApplication = {0x08, 0x00, 0x80, 0x00, 0x88};

struct SequenceRow {
  const char* name;
  std::string chosen;
  Frames frames;
};

class WireSequence : public ::testing::TestWithParam<SequenceRow> {};

TEST_P(WireSequence, ByteForByte) {
  DownloadRig rig;
  BootDevice device;
  device.Attach(*rig.port);
  rig.WriteFile(GetParam().chosen, kCounting);
  rig.WriteFile("WDN-500S.bin", Companion());

  EXPECT_EQ(rig.Download(GetParam().chosen), 1);
  EXPECT_EQ(rig.port->writes, GetParam().frames);
  EXPECT_TRUE(rig.boxes.texts.empty());
}

INSTANTIATE_TEST_SUITE_P(
    Images, WireSequence,
    ::testing::Values(
        SequenceRow{"Loader",
                    "iap_cortex.bin",
                    {{0x7F},
                     {0x43, 0xBC}, {0xFF, 0x00},
                     kWriteCmd, {0x08, 0x00, 0x7C, 0x00, 0x74},
                     {0x03, 0x55, 0xAA, 0x55, 0xAA, 0x03},
                     kGetIdCmd,
                     kWriteCmd, kAtFlashStart, DataFrame(kCounting, 0xFF),
                     kGetIdCmd,
                     kWriteCmd, kAtApplication, DataFrame(Companion(), 0xCC),
                     kGoCmd, kAtFlashStart}},
        SequenceRow{"AnyOtherName",
                    "fw.bin",
                    {kGetIdCmd,
                     kWriteCmd, kAtApplication, DataFrame(kCounting, 0xFF),
                     kGoCmd, kAtFlashStart,
                     kGetIdCmd,
                     kWriteCmd, kAtApplication, DataFrame(Companion(), 0xCC),
                     kGoCmd, kAtFlashStart}}),
    [](const auto& info) { return std::string(info.param.name); });

// What the device understood, the traced image lines, and how it ended.
struct ScenarioRow {
  const char* name;
  std::string chosen;
  std::vector<std::pair<std::string, size_t>> files;
  std::vector<Fault> faults;
  std::vector<std::string> commands;
  std::vector<std::string> attempts;  // the "\n>> name size\n\n" lines, in order
  int32_t result;
  std::vector<std::string> boxes;
  std::string failure;  // what the dialog adds to its text
};

std::vector<std::string> TracedAttempts(const std::string& log) {
  std::vector<std::string> lines;
  for (size_t at = log.find("\n>> "); at != std::string::npos; at = log.find("\n>> ", at + 1)) {
    lines.push_back(log.substr(at + 4, log.find("\n\n", at + 4) - at - 4));
  }
  return lines;
}

class Scenario : public ::testing::TestWithParam<ScenarioRow> {};

TEST_P(Scenario, EndsAsTheDeviceAllows) {
  const ScenarioRow& row = GetParam();
  DownloadRig rig;
  BootDevice device(row.faults);
  device.Attach(*rig.port);
  for (const auto& [name, size] : row.files) {
    rig.WriteFile(name, Pattern(size, static_cast<uint8_t>(name.size())));
  }

  EXPECT_EQ(rig.Download(row.chosen), row.result);
  EXPECT_EQ(device.commands, row.commands);
  EXPECT_EQ(TracedAttempts(rig.LogFile()), row.attempts);
  EXPECT_EQ(rig.boxes.texts, row.boxes);
  EXPECT_EQ(rig.boot->FailureText(), row.failure);
  // The line is opened first and closed once, on every way out.
  ASSERT_GE(rig.port->calls.size(), 3u);
  EXPECT_EQ(rig.port->calls[0], "SetParams");
  EXPECT_EQ(rig.port->calls[1], "Open");
  EXPECT_EQ(rig.port->calls.back(), "Close");
  EXPECT_EQ(std::count(rig.port->calls.begin(), rig.port->calls.end(), "Close"), 1);
}

const char kNoCompanion[] =
    "The image was written, but no companion image (WDN-500S.bin, ZQT410_TAXI.bin or "
    "ZQT410_STB.bin) is beside it.";
const char kBlockRefused[] = "The block at 0x08008000 was not accepted after 10 tries.";
const std::vector<std::string> kFiveSilentGetIds(5, "get id: silent");
const std::vector<std::string> kTenRefusedWrites(10, "write: nack");

std::vector<std::string> Join(std::initializer_list<std::vector<std::string>> parts) {
  std::vector<std::string> all;
  for (const auto& part : parts) all.insert(all.end(), part.begin(), part.end());
  return all;
}
std::vector<std::string> Times(int n, std::vector<std::string> part) {
  std::vector<std::string> all;
  for (int i = 0; i < n; ++i) all.insert(all.end(), part.begin(), part.end());
  return all;
}

INSTANTIATE_TEST_SUITE_P(
    Downloads, Scenario,
    ::testing::Values(
        ScenarioRow{"LoaderNameInCapitalsIsAnOrdinaryImage",
                    "IAP_CORTEX.bin",
                    {{"IAP_CORTEX.bin", 300}, {"WDN-500S.bin", 10}},
                    {},
                    {"get id", "write 08008000 +256", "write 08008100 +256", "go 08000000",
                     "get id", "write 08008000 +256", "go 08000000"},
                    {"IAP_CORTEX.bin 300", "WDN-500S.bin 10"},
                    1,
                    {}, ""},
        ScenarioRow{"CompanionChosenIsWrittenTwice",
                    "WDN-500S.bin",
                    {{"WDN-500S.bin", 10}, {"ZQT410_TAXI.bin", 10}},
                    {},
                    Times(2, {"get id", "write 08008000 +256", "go 08000000"}),
                    {"WDN-500S.bin 10", "WDN-500S.bin 10"},
                    1,
                    {}, ""},
        ScenarioRow{"LastCompanionNameFound",
                    "fw.bin",
                    {{"fw.bin", 10}, {"ZQT410_STB.bin", 20}},
                    {},
                    Times(2, {"get id", "write 08008000 +256", "go 08000000"}),
                    {"fw.bin 10", "ZQT410_STB.bin 20"},
                    1,
                    {}, ""},
        ScenarioRow{"EmptyImageStillStartsTheDevice",
                    "fw.bin",
                    {{"fw.bin", 0}, {"ZQT410_TAXI.bin", 10}},
                    {},
                    {"get id", "go 08000000", "get id", "write 08008000 +256", "go 08000000"},
                    {"fw.bin 0", "ZQT410_TAXI.bin 10"},
                    1,
                    {}, ""},
        ScenarioRow{"NoCompanionNoBox",
                    "fw.bin",
                    {{"fw.bin", 10}},
                    {},
                    {"get id", "write 08008000 +256", "go 08000000"},
                    {"fw.bin 10"},
                    0,
                    {}, kNoCompanion},
        ScenarioRow{"ChosenImageMissing", "fw.bin", {{"WDN-500S.bin", 10}}, {}, {}, {}, 0, {},
                    "The image fw.bin could not be read."},
        // Two Get IDs lost on the image leave three for the companion; its
        // blocks are then tried anyway, and their failure ends it all.
        ScenarioRow{"AttemptsSharedByImageAndCompanion",
                    "fw.bin",
                    {{"fw.bin", 10}, {"WDN-500S.bin", 10}},
                    {{kGetId, 1, 2, Answer::kSilent}, {kGetId, 4, 6, Answer::kSilent},
                     {kWrite, 2, kAlways, Answer::kNack}},
                    Join({{"get id: silent", "get id: silent", "get id", "write 08008000 +256",
                           "go 08000000"},
                          {"get id: silent", "get id: silent", "get id: silent"},
                          kTenRefusedWrites}),
                    {"fw.bin 10", "fw.bin 10", "fw.bin 10", "WDN-500S.bin 10", "WDN-500S.bin 10",
                     "WDN-500S.bin 10"},
                    0,
                    {"Fail"}, kBlockRefused},
        ScenarioRow{"SilentDevice",
                    "fw.bin",
                    {{"fw.bin", 10}, {"WDN-500S.bin", 10}},
                    {{kAny, 1, kAlways, Answer::kSilent}},
                    Join({kFiveSilentGetIds, std::vector<std::string>(10, "write: silent")}),
                    std::vector<std::string>(5, "fw.bin 10"),
                    0,
                    {"Fail"},
                    "The board did not answer at COM3 (is it in its bootloader, and at this baud "
                    "rate?)."},
        ScenarioRow{"EveryWriteRefused",
                    "fw.bin",
                    {{"fw.bin", 10}, {"WDN-500S.bin", 10}},
                    {{kWrite, 1, kAlways, Answer::kNack}},
                    Times(5, Join({{"get id"}, kTenRefusedWrites})),
                    std::vector<std::string>(5, "fw.bin 10"),
                    0,
                    {"Fail"}, kBlockRefused},
        ScenarioRow{"SecondBlockTakesThreeTries",
                    "fw.bin",
                    {{"fw.bin", 512}, {"WDN-500S.bin", 10}},
                    {{kWrite, 2, 3, Answer::kGarbage}},
                    {"get id", "write 08008000 +256", "write: garbage", "write: garbage",
                     "write 08008100 +256", "go 08000000", "get id", "write 08008000 +256",
                     "go 08000000"},
                    {"fw.bin 512", "WDN-500S.bin 10"},
                    1,
                    {}, ""},
        // A failed companion is retried as a chosen image: written, started,
        // then found and written once more.
        ScenarioRow{"CompanionRetriedIsWrittenAgain",
                    "fw.bin",
                    {{"fw.bin", 10}, {"WDN-500S.bin", 10}},
                    {{kWrite, 2, 11, Answer::kNack}},
                    Join({{"get id", "write 08008000 +256", "go 08000000", "get id"},
                          kTenRefusedWrites,
                          Times(2, {"get id", "write 08008000 +256", "go 08000000"})}),
                    {"fw.bin 10", "WDN-500S.bin 10", "WDN-500S.bin 10", "WDN-500S.bin 10"},
                    1,
                    {}, ""},
        ScenarioRow{"GoRefusedIsNotLookedAt",
                    "fw.bin",
                    {{"fw.bin", 10}, {"WDN-500S.bin", 10}},
                    {{kGo, 1, 2, Answer::kNack}},
                    {"get id", "write 08008000 +256", "go: nack", "sync", "go: nack", "get id",
                     "write 08008000 +256", "go 08000000"},
                    {"fw.bin 10", "WDN-500S.bin 10"},
                    1,
                    {}, ""},
        // The sync's second ACK shifts every reply of the loader's set-up by
        // one, until Get ID drains the ring and fails on the extra byte.
        ScenarioRow{"StaleAckCostsTheLoaderAGetId",
                    "iap_cortex.bin",
                    {{"iap_cortex.bin", 10}, {"WDN-500S.bin", 10}},
                    {{kSync, 1, 1, Answer::kDoubleAck}},
                    {"sync: double ack", "erase all", "write 08007C00 +4", "get id", "get id",
                     "write 08000000 +256", "get id", "write 08008000 +256", "go 08000000"},
                    {"iap_cortex.bin 10", "iap_cortex.bin 10", "WDN-500S.bin 10"},
                    1,
                    {}, ""}),
    [](const auto& info) { return std::string(info.param.name); });

// A line that does not open leaves every exchange empty; the user is told
// about the line, not about the silence that follows from it.
struct UnopenedRow {
  const char* name;
  std::string port_text;
  std::string path;  // what the port was told to open instead of its index
  std::string failure;
};

class UnopenedPort : public ::testing::TestWithParam<UnopenedRow> {};

TEST_P(UnopenedPort, FailNamesTheLine) {
  const UnopenedRow& row = GetParam();
  DownloadRig rig;
  rig.port->open_result = 0;
  rig.port->open_failure = "no such device";
  rig.WriteFile("fw.bin", Pattern(10, 1));
  EXPECT_EQ(rig.Download("fw.bin", row.port_text), 0);
  EXPECT_EQ(rig.port->path, row.path);
  EXPECT_EQ(rig.boxes.texts, std::vector<std::string>{"Fail"});
  EXPECT_EQ(rig.boot->FailureText(), row.failure);
}

INSTANTIATE_TEST_SUITE_P(
    Lines, UnopenedPort,
    ::testing::Values(UnopenedRow{"ComNumber", "11", "",
                                  "The port COM11 could not be opened: no such device."},
                      UnopenedRow{"AdapterPath", "/dev/serial/by-id/usb-FTDI-if00",
                                  "/dev/serial/by-id/usb-FTDI-if00",
                                  "The port /dev/serial/by-id/usb-FTDI-if00 could not be opened: "
                                  "no such device."}),
    [](const auto& info) { return std::string(info.param.name); });

}  // namespace
}  // namespace flashkit::testing
