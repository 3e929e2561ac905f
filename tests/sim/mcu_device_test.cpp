// The simulated MCU's bootloader, command by command, on a scripted port and
// a virtual clock: the bytes the host sends, the bytes that come back, the
// events, and the programming and erase time spent.
#include "sim/mcu_device.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "tests/sim/sim_test_support.h"
#include "tests/support/fake_port.h"

namespace flashkit::sim {
namespace {

using testing::Bytes;
using testing::Cat;

constexpr uint32_t kFlash = 0x08000000;

Bytes Cmd(uint8_t code) { return {code, static_cast<uint8_t>(~code)}; }

uint8_t XorOf(const Bytes& bytes, uint8_t start = 0) {
  for (uint8_t b : bytes) start ^= b;
  return start;
}

Bytes Addr(uint32_t address) {
  Bytes frame = {static_cast<uint8_t>(address >> 24), static_cast<uint8_t>(address >> 16),
                 static_cast<uint8_t>(address >> 8), static_cast<uint8_t>(address)};
  frame.push_back(XorOf(frame));
  return frame;
}

// A Write Memory data frame: count code, data, XOR of both.
Bytes Data(const Bytes& data) {
  const auto n = static_cast<uint8_t>(data.size() - 1);
  return Cat({{n}, data, {XorOf(data, n)}});
}

// An Erase page list: count code, pages, XOR of both.
Bytes Pages(const Bytes& pages) {
  const auto n = static_cast<uint8_t>(pages.size() - 1);
  return Cat({{n}, pages, {XorOf(pages, n)}});
}

Bytes Fill(size_t count, uint8_t value) { return Bytes(count, value); }

Bytes Counting(size_t count) {
  Bytes out(count);
  for (size_t i = 0; i < count; ++i) out[i] = static_cast<uint8_t>(i * 7 + 3);
  return out;
}

constexpr uint8_t A = 0x79;  // ACK
constexpr uint8_t N = 0x1F;  // NACK

// The host's bytes, then more after a pause longer than a frame may stop.
struct CommandCase {
  const char* name;
  Bytes host;
  Bytes replies;
  std::vector<std::string> events;  // each without its time stamp
  std::vector<uint64_t> busy_us = {};
  Bytes after_pause = {};
};

class McuRig {
 public:
  McuRig()
      : port_(clock_),
        flash_(kFlash, 128 * 1024, 1024),
        device_(port_, events_.log(), flash_, McuSettings{},
                [this](uint64_t us) { busy_.push_back(us); }, [] { return false; }) {}

  void Serve(const Bytes& host, const Bytes& after_pause = {}) {
    port_.Arrive(host);
    if (!after_pause.empty()) port_.Arrive(after_pause, McuDevice::kFrameGapMs + 500);
    while (port_.Pending() > 0) device_.ServeOne();
  }

  std::vector<std::string> Events() const {
    std::vector<std::string> out;
    for (const std::string& line : events_.Lines()) {
      const std::string prefix = "{\"t_ms\":0.000,\"event\":";
      out.push_back(line.substr(prefix.size(), line.size() - prefix.size() - 1));
    }
    return out;
  }

  const Bytes& replies() const { return port_.written; }
  const std::vector<uint64_t>& busy() const { return busy_; }
  McuFlash& flash() { return flash_; }

 private:
  flashkit::testing::VirtualClock clock_;
  flashkit::testing::FakePort port_;
  testing::CapturedEvents events_;
  McuFlash flash_;
  std::vector<uint64_t> busy_;
  McuDevice device_;
};

class McuCommands : public ::testing::TestWithParam<CommandCase> {};

TEST_P(McuCommands, AnswersAndReports) {
  const CommandCase& c = GetParam();
  McuRig rig;
  rig.Serve(c.host, c.after_pause);
  EXPECT_EQ(rig.replies(), c.replies);
  EXPECT_EQ(rig.Events(), c.events);
  EXPECT_EQ(rig.busy(), c.busy_us);
}

const Bytes kMarker = {0x55, 0xAA, 0x55, 0xAA};
const Bytes kOptionBytes = {0xA5, 0x5A, 0xFF, 0x00, 0xFF, 0x00, 0xFF, 0x00,
                            0xFF, 0x00, 0xFF, 0x00, 0xFF, 0x00, 0xFF, 0x00};

INSTANTIATE_TEST_SUITE_P(
    Bootloader, McuCommands,
    ::testing::Values(
        CommandCase{"FirstSyncAckedSecondRefused", {0x7F, 0x7F}, {A, N}, {R"("sync")", R"("sync-again")"}},
        CommandCase{"GetListsVersionAndCommands",
                    Cmd(0x00),
                    {A, 7, 0x22, 0x00, 0x01, 0x02, 0x11, 0x21, 0x31, 0x43, A},
                    {R"("get")"}},
        CommandCase{"GetVersionWithOptionBytes", Cmd(0x01), {A, 0x22, 0x00, 0x00, A}, {R"("get-version")"}},
        CommandCase{"GetIdAnswersTheProduct", Cmd(0x02), {A, 0x01, 0x04, 0x10, A}, {R"("get-id")"}},
        CommandCase{"BadComplement",
                    {0x02, 0xFC},
                    {N},
                    {R"("nack","reason":"complement","command":"0x02")"}},
        CommandCase{"ExtendedEraseIsNotOffered",
                    Cmd(0x44),
                    {N},
                    {R"("nack","reason":"unknown-command","command":"0x44")"}},
        CommandCase{"WriteTheMarker",
                    Cat({Cmd(0x31), Addr(0x08007C00), Data(kMarker)}),
                    {A, A, A},
                    {R"("write","address":"0x08007c00","length":4,"dirty":false)"},
                    {2 * 52}},
        CommandCase{"WriteAFullBlock",
                    Cat({Cmd(0x31), Addr(0x08008000), Data(Counting(256))}),
                    {A, A, A},
                    {R"("write","address":"0x08008000","length":256,"dirty":false)"},
                    {128 * 52}},
        CommandCase{"WriteTwiceIsDirtyButAcked",
                    Cat({Cmd(0x31), Addr(0x08008000), Data(kMarker), Cmd(0x31), Addr(0x08008000),
                         Data(kMarker)}),
                    {A, A, A, A, A, A},
                    {R"("write","address":"0x08008000","length":4,"dirty":false)",
                     R"("write","address":"0x08008000","length":4,"dirty":true)",
                     R"("dirty-write","address":"0x08008000","length":4)"},
                    {104, 104}},
        CommandCase{"WriteAddressChecksumWrong",
                    Cat({Cmd(0x31), {0x08, 0x00, 0x7C, 0x00, 0x75}}),
                    {A, N},
                    {R"("nack","reason":"checksum","command":"0x31")"}},
        CommandCase{"WriteOutsideFlash",
                    Cat({Cmd(0x31), Addr(0x08020000)}),
                    {A, N},
                    {R"("nack","reason":"address","command":"0x31")"}},
        CommandCase{"WriteRunningPastTheEndOfFlash",
                    Cat({Cmd(0x31), Addr(0x0801FFFC), Data(Fill(8, 0x00))}),
                    {A, A, N},
                    {R"("nack","reason":"address","command":"0x31")"}},
        CommandCase{"WriteDataChecksumWrong",
                    Cat({Cmd(0x31), Addr(0x08008000), {0x03, 0x55, 0xAA, 0x55, 0xAA, 0x00}}),
                    {A, A, N},
                    {R"("nack","reason":"checksum","command":"0x31")"}},
        CommandCase{"ReadErasedFlash",
                    Cat({Cmd(0x11), Addr(kFlash), {0x0F, 0xF0}}),
                    Cat({{A, A, A}, Fill(16, 0xFF)}),
                    {R"("read","address":"0x08000000","length":16)"}},
        CommandCase{"ReadTheLast256BytesOfFlash",
                    Cat({Cmd(0x11), Addr(0x0801FF00), {0xFF, 0x00}}),
                    Cat({{A, A, A}, Fill(256, 0xFF)}),
                    {R"("read","address":"0x0801ff00","length":256)"}},
        CommandCase{"Read256BytesPastTheEndOfFlash",
                    Cat({Cmd(0x11), Addr(0x0801FF01), {0xFF, 0x00}}),
                    {A, A, N},
                    {R"("nack","reason":"address","command":"0x11")"}},
        CommandCase{"ReadTheOptionBytes",
                    Cat({Cmd(0x11), Addr(0x1FFFF800), {0x0F, 0xF0}}),
                    Cat({{A, A, A}, kOptionBytes}),
                    {R"("read","address":"0x1ffff800","length":16)"}},
        CommandCase{"ReadLengthComplementWrong",
                    Cat({Cmd(0x11), Addr(kFlash), {0x0F, 0x0F}}),
                    {A, A, N},
                    {R"("nack","reason":"checksum","command":"0x11")"}},
        CommandCase{"ReadOutsideEveryRegion",
                    Cat({Cmd(0x11), Addr(0x40000000)}),
                    {A, N},
                    {R"("nack","reason":"address","command":"0x11")"}},
        CommandCase{"ReadAcrossTheEndOfRam",
                    Cat({Cmd(0x11), Addr(0x20004F80), {0xFF, 0x00}}),
                    {A, A, N},
                    {R"("nack","reason":"address","command":"0x11")"}},
        CommandCase{"GoToTheLoaderKeepsAnswering",
                    Cat({Cmd(0x21), Addr(kFlash), Cmd(0x02)}),
                    {A, A, A, 0x01, 0x04, 0x10, A},
                    {R"("go","address":"0x08000000")", R"("loader-running")", R"("get-id")"}},
        CommandCase{"GoToAnApplicationLeavesTheLine",
                    Cat({Cmd(0x21), Addr(0x08008000), Cmd(0x02), {0x7F}}),
                    {A, A},
                    {R"("go","address":"0x08008000")", R"("app-running","address":"0x08008000")"}},
        CommandCase{"GoNowhere",
                    Cat({Cmd(0x21), Addr(0x00000000)}),
                    {A, N},
                    {R"("nack","reason":"address","command":"0x21")"}},
        CommandCase{"GlobalErase",
                    Cat({Cmd(0x43), {0xFF, 0x00}}),
                    {A, A},
                    {R"("erase","global":true)"},
                    {40000}},
        CommandCase{"GlobalEraseSecondByteWrong",
                    Cat({Cmd(0x43), {0xFF, 0x01}}),
                    {A, N},
                    {R"("nack","reason":"checksum","command":"0x43")"}},
        CommandCase{"PageListErase",
                    Cat({Cmd(0x43), Pages({0, 5})}),
                    {A, A},
                    {R"("erase","pages":[0,5])"},
                    {2 * 20000}},
        CommandCase{"PageListChecksumWrong",
                    Cat({Cmd(0x43), {0x01, 0x00, 0x05, 0x05}}),
                    {A, N},
                    {R"("nack","reason":"checksum","command":"0x43")"}},
        CommandCase{"PageBeyondTheFlash",
                    Cat({Cmd(0x43), Pages({128})}),
                    {A, N},
                    {R"("nack","reason":"address","command":"0x43")"}},
        CommandCase{"FrameThatStopsIsGivenUp",
                    Cat({Cmd(0x31), {0x08, 0x00}}),
                    {A, A, 0x01, 0x04, 0x10, A},
                    {R"("frame-timeout","command":"0x31","got":2,"wanted":5)", R"("get-id")"},
                    {},
                    Cmd(0x02)}),
    [](const auto& info) { return std::string(info.param.name); });

// What the flash holds after the commands, read back through the device.
TEST(McuFlashThroughCommands, WrittenBytesStayUntilTheirPageIsErased) {
  McuRig rig;
  rig.Serve(Cat({Cmd(0x31), Addr(0x08000000), Data(kMarker), Cmd(0x31), Addr(0x08000400),
                 Data(kMarker), Cmd(0x43), Pages({0})}));
  const auto page0 = rig.flash().Read(0x08000000, 4);
  const auto page1 = rig.flash().Read(0x08000400, 4);
  EXPECT_EQ(Bytes(page0.begin(), page0.end()), Fill(4, 0xFF));
  EXPECT_EQ(Bytes(page1.begin(), page1.end()), kMarker);
}

// A stuck bit: Write Memory still ACKs, Read Memory answers the bit as 0.
TEST(McuFlashThroughCommands, StuckBitReadsBackZero) {
  McuRig rig;
  rig.flash().StickBit(0x08000401, 7);
  rig.Serve(Cat({Cmd(0x31), Addr(0x08000400), Data(kMarker), Cmd(0x11), Addr(0x08000400), {0x03, 0xFC}}));
  EXPECT_EQ(rig.replies(), Cat({{A, A, A}, {A, A, A}, {0x55, 0x2A, 0x55, 0xAA}}));
}

}  // namespace
}  // namespace flashkit::sim
