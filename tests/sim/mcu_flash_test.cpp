// The MCU's flash: erased bytes, writes that land on bytes not erased since
// they were last written, which pages an erase touches, and stuck bits.
#include "sim/mcu_flash.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

namespace flashkit::sim {
namespace {

using Bytes = std::vector<uint8_t>;

constexpr uint32_t kBase = 0x08000000;
constexpr uint32_t kPage = 1024;

// One step on the flash: a write of `length` bytes of `value`, an erase of
// one page, or of all (page -1).
struct Op {
  enum Kind { kWrite, kErasePage, kEraseAll } kind;
  uint32_t address = 0;  // write: the address; erase: the page
  uint32_t length = 0;
  uint8_t value = 0;
};

Op W(uint32_t address, uint32_t length, uint8_t value = 0x5A) { return {Op::kWrite, address, length, value}; }
Op E(uint32_t page) { return {Op::kErasePage, page}; }
Op EAll() { return {Op::kEraseAll}; }

struct DirtyCase {
  const char* name;
  std::vector<Op> ops;
  std::vector<bool> dirty;  // per write, in order
};

class FlashDirtyWrites : public ::testing::TestWithParam<DirtyCase> {};

TEST_P(FlashDirtyWrites, ReportsWritesOverUnerasedBytes) {
  McuFlash flash(kBase, 8 * kPage, kPage);
  std::vector<bool> dirty;
  for (const Op& op : GetParam().ops) {
    if (op.kind == Op::kWrite) dirty.push_back(flash.Write(op.address, Bytes(op.length, op.value)));
    if (op.kind == Op::kErasePage) {
      ASSERT_TRUE(flash.ErasePage(op.address));
    }
    if (op.kind == Op::kEraseAll) flash.EraseAll();
  }
  EXPECT_EQ(dirty, GetParam().dirty);
}

INSTANTIATE_TEST_SUITE_P(
    Flash, FlashDirtyWrites,
    ::testing::Values(
        DirtyCase{"FreshFlashIsErased", {W(kBase, 256), W(kBase + 7 * kPage, 256)}, {false, false}},
        DirtyCase{"SameBytesTwice", {W(kBase, 4), W(kBase, 4)}, {false, true}},
        DirtyCase{"OverlapByOneByte", {W(kBase, 4), W(kBase + 3, 4)}, {false, true}},
        DirtyCase{"NeighboursAreClean", {W(kBase, 4), W(kBase + 4, 4)}, {false, false}},
        DirtyCase{"PageEraseInBetween", {W(kBase, 4), E(0), W(kBase, 4)}, {false, false}},
        DirtyCase{"OtherPageErased", {W(kBase, 4), E(1), W(kBase, 4)}, {false, true}},
        DirtyCase{"WriteAcrossPagesOneErased",
                  {W(kBase + kPage - 2, 4), E(1), W(kBase + kPage - 2, 4)},
                  {false, true}},
        DirtyCase{"GlobalEraseInBetween", {W(kBase + 5 * kPage, 256), EAll(), W(kBase + 5 * kPage, 256)},
                  {false, false}}),
    [](const auto& info) { return std::string(info.param.name); });

TEST(McuFlash, DirtyWriteStoresItsBytesAsGiven) {
  McuFlash flash(kBase, 2 * kPage, kPage);
  flash.Write(kBase + 16, Bytes(4, 0xAA));
  EXPECT_TRUE(flash.Write(kBase + 16, Bytes{0x01, 0x02, 0x03, 0x04}));
  const auto got = flash.Read(kBase + 16, 4);
  EXPECT_EQ(Bytes(got.begin(), got.end()), (Bytes{0x01, 0x02, 0x03, 0x04}));
}

TEST(McuFlash, PageEraseTouchesOnlyItsPage) {
  McuFlash flash(kBase, 3 * kPage, kPage);
  flash.Write(kBase, Bytes(3 * kPage, 0x00));
  ASSERT_TRUE(flash.ErasePage(1));
  Bytes want(3 * kPage, 0x00);
  std::fill(want.begin() + kPage, want.begin() + 2 * kPage, 0xFF);
  EXPECT_EQ(Bytes(flash.bytes().begin(), flash.bytes().end()), want);
  EXPECT_FALSE(flash.ErasePage(3));
}

// A bit stuck at 0 reads 0 after every erase and write; the bits around it,
// and the Dump, follow.
TEST(McuFlash, StuckBitReadsZeroWhateverWasWrittenOrErased) {
  McuFlash flash(kBase, 2 * kPage, kPage);
  flash.StickBit(kBase + kPage + 1, 3);
  flash.StickBit(kBase + kPage + 1, 7);
  flash.StickBit(kBase + 2, 0);
  const auto at = [&flash] { return Bytes{flash.bytes()[2], flash.bytes()[kPage], flash.bytes()[kPage + 1]}; };
  EXPECT_EQ(at(), (Bytes{0xFE, 0xFF, 0x77})) << "erased at start";
  EXPECT_FALSE(flash.Write(kBase + kPage, Bytes{0xFF, 0xFF}));
  EXPECT_EQ(at(), (Bytes{0xFE, 0xFF, 0x77})) << "ones written";
  flash.Write(kBase + kPage, Bytes{0x00, 0x00});
  EXPECT_EQ(at(), (Bytes{0xFE, 0x00, 0x00})) << "zeros written";
  ASSERT_TRUE(flash.ErasePage(1));
  EXPECT_EQ(at(), (Bytes{0xFE, 0xFF, 0x77})) << "page erased";
  flash.Write(kBase, Bytes(4, 0x5B));
  flash.EraseAll();
  EXPECT_EQ(at(), (Bytes{0xFE, 0xFF, 0x77})) << "all erased";
  const auto read = flash.Read(kBase + kPage + 1, 1);
  EXPECT_EQ(read[0], 0x77);

  const std::string path = ::testing::TempDir() + "stuck_bit_dump.bin";
  ASSERT_TRUE(flash.Dump(path));
  std::ifstream in(path, std::ios::binary);
  const Bytes dumped{std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
  EXPECT_EQ(dumped, Bytes(flash.bytes().begin(), flash.bytes().end()));
  std::remove(path.c_str());
}

struct ContainsCase {
  const char* name;
  uint32_t address;
  uint64_t length;
  bool inside;
};

class FlashBounds : public ::testing::TestWithParam<ContainsCase> {};

TEST_P(FlashBounds, Contains) {
  const McuFlash flash(kBase, 4 * kPage, kPage);
  EXPECT_EQ(flash.Contains(GetParam().address, GetParam().length), GetParam().inside);
}

INSTANTIATE_TEST_SUITE_P(
    Flash, FlashBounds,
    ::testing::Values(ContainsCase{"FirstByte", kBase, 1, true},
                      ContainsCase{"Whole", kBase, 4 * kPage, true},
                      ContainsCase{"LastByte", kBase + 4 * kPage - 1, 1, true},
                      ContainsCase{"OnePastTheEnd", kBase + 4 * kPage, 1, false},
                      ContainsCase{"RunsPastTheEnd", kBase + 4 * kPage - 2, 4, false},
                      ContainsCase{"BelowTheBase", kBase - 1, 2, false},
                      ContainsCase{"WrapsTheAddressSpace", 0xFFFFFFF0, 0x20, false}),
    [](const auto& info) { return std::string(info.param.name); });

}  // namespace
}  // namespace flashkit::sim
