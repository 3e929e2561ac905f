#include "engines/usb_frames.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "tests/engines/usb_rig.h"

namespace flashkit {
namespace {

using testing::Bytes;
using testing::Concat;

Bytes Text(const std::string& text) { return Bytes(text.begin(), text.end()); }
Bytes Of(const UsbFrame& frame) { return Bytes(frame.data(), frame.data() + frame.length); }

struct KindRow {
  const char* file_name;
  ImageType type;
  UsbFlow flow;
  int32_t payload;
};

class UsbImageKinds : public ::testing::TestWithParam<KindRow> {};

TEST_P(UsbImageKinds, FromTheBareFileName) {
  const KindRow& row = GetParam();
  const UsbImageKind& kind = UsbImageKindOf(row.file_name);
  EXPECT_EQ(kind.type, row.type);
  EXPECT_EQ(kind.flow, row.flow);
  EXPECT_EQ(UsbPayloadSize(row.file_name), row.payload);
}

constexpr UsbFlow kSized = UsbFlow::kSizeAnnounced;
constexpr UsbFlow kNamed = UsbFlow::kNamedImage;

INSTANTIATE_TEST_SUITE_P(
    Names, UsbImageKinds,
    ::testing::Values(KindRow{"iap_cortex.bin", ImageType::kIap, kSized, 32},
                      KindRow{"ZQT410_TAXI.bin", ImageType::kOther, kSized, 60},
                      KindRow{"WDN-500I_v2.bin", ImageType::kOther, kSized, 60},
                      KindRow{"WDN-500S.bin", ImageType::kOther, kSized, 32},
                      KindRow{"vivi", ImageType::kVivi, kNamed, 32},
                      KindRow{"vivi.bin", ImageType::kVivi, kNamed, 32},
                      KindRow{"Vivi.bin", ImageType::kOther, kSized, 32},
                      KindRow{"zImage", ImageType::kZImage, kNamed, 32},
                      KindRow{"zimage", ImageType::kOther, kSized, 32},
                      KindRow{"rootfs.img", ImageType::kRoot, kNamed, 32},
                      KindRow{"ZQT410_IAP.bin", ImageType::kOther, kSized, 60},
                      KindRow{"IAP.bin", ImageType::kOther, kSized, 32},
                      KindRow{"", ImageType::kOther, kSized, 32}),
    [](const auto& info) { return "row" + std::to_string(info.index); });

struct FrameRow {
  const char* name;
  UsbFrame frame;
  Bytes wire;
};

class UsbFrameBytes : public ::testing::TestWithParam<FrameRow> {};

TEST_P(UsbFrameBytes, OnTheWire) { EXPECT_EQ(Of(GetParam().frame), GetParam().wire); }

const Bytes kImage100 = testing::ImageBytes(100);
const Bytes kImage121 = testing::ImageBytes(121);

Bytes Slice(const Bytes& image, size_t from, size_t count) {
  return Bytes(image.begin() + static_cast<long>(from),
               image.begin() + static_cast<long>(from + count));
}

INSTANTIATE_TEST_SUITE_P(
    Frames, UsbFrameBytes,
    ::testing::Values(
        FrameRow{"SizeOf1234", SizeFrame(1234), Concat({{0x02, 0x09, 0xFF}, Text("00001234"), {0x03}})},
        FrameRow{"SizeOfEmpty", SizeFrame(0), Concat({{0x02, 0x09, 0xFF}, Text("00000000"), {0x03}})},
        FrameRow{"SizeAtItsLimit", SizeFrame(99999999),
                 Concat({{0x02, 0x09, 0xFF}, Text("99999999"), {0x03}})},
        FrameRow{"HeaderVivi", HeaderFrame(UsbImageKindOf("vivi"), 121),
                 Concat({{0x02, 0x0D, 0x81}, Text("vivi"), {0x00}, Text("0000121"), {0x03}})},
        FrameRow{"HeaderZImageNamesKernel", HeaderFrame(UsbImageKindOf("zImage"), 1500000),
                 Concat({{0x02, 0x0F, 0x82}, Text("kernel"), {0x00}, Text("1500000"), {0x03}})},
        FrameRow{"HeaderRoot", HeaderFrame(UsbImageKindOf("rootfs.img"), 9999999),
                 Concat({{0x02, 0x0D, 0x83}, Text("root"), {0x00}, Text("9999999"), {0x03}})},
        FrameRow{"DataFirst32", DataFrame(kImage100.data(), 100, 0, 32),
                 Concat({{0x02, 0x21, 0xFE}, Slice(kImage100, 0, 32), {0x03}})},
        FrameRow{"DataLast4Of100FilledWithFF", DataFrame(kImage100.data(), 100, 96, 32),
                 Concat({{0x02, 0x21, 0xFE}, Slice(kImage100, 96, 4), Bytes(28, 0xFF), {0x03}})},
        FrameRow{"DataLast1Of121Named", DataFrame(kImage121.data(), 121, 120, 60),
                 Concat({{0x02, 0x3D, 0xFE}, Slice(kImage121, 120, 1), Bytes(59, 0xFF), {0x03}})},
        FrameRow{"EndRun", EndFrame(true), {0x02, 0x01, 0xFC, 0x03}},
        FrameRow{"EndFinish", EndFrame(false), {0x02, 0x01, 0xFB, 0x03}}),
    [](const auto& info) { return std::string(info.param.name); });

}  // namespace
}  // namespace flashkit
