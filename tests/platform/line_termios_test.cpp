#include "platform/line_termios.h"

#include <gtest/gtest.h>


namespace flashkit::platform::line_control {
namespace {

// A line left in every state the settings must undo: 5 data bits, odd
// parity, two stop bits, RTS/CTS and XON/XOFF on, parity checking on,
// blocking reads, 9600 baud with its own input rate.
termios2 Untidy() {
  termios2 t{};
  t.c_cflag = CS5 | PARENB | PARODD | CMSPAR | CSTOPB | CRTSCTS | B9600 | (B9600 << IBSHIFT) | HUPCL;
  t.c_iflag = IXON | IXOFF | IXANY | INPCK | PARMRK | ISTRIP | IGNBRK;
  t.c_oflag = 0;
  t.c_lflag = 0;
  t.c_cc[VMIN] = 1;
  t.c_cc[VTIME] = 5;
  t.c_cc[VINTR] = 3;
  t.c_ispeed = 9600;
  t.c_ospeed = 9600;
  return t;
}

struct EightEvenOneRow {
  const char* name;
  uint32_t baud;
};

class EightEvenOne : public ::testing::TestWithParam<EightEvenOneRow> {};

TEST_P(EightEvenOne, FieldByField) {
  const LineSettings settings{GetParam().baud, 8, Parity::kEven, StopBits::kOne, false};
  const std::optional<termios2> built = BuildLineTermios(Untidy(), settings);
  ASSERT_TRUE(built);
  const termios2& t = *built;

  EXPECT_EQ(t.c_cflag & CSIZE, static_cast<tcflag_t>(CS8));
  EXPECT_NE(t.c_cflag & PARENB, 0u);
  EXPECT_EQ(t.c_cflag & PARODD, 0u);
  EXPECT_EQ(t.c_cflag & CMSPAR, 0u);
  EXPECT_EQ(t.c_cflag & CSTOPB, 0u);
  EXPECT_EQ(t.c_cflag & CRTSCTS, 0u);
  EXPECT_EQ(t.c_cflag & CBAUD, static_cast<tcflag_t>(BOTHER));
  EXPECT_EQ(t.c_cflag & CIBAUD, 0u) << "input rate follows the output rate";
  EXPECT_EQ(t.c_cflag & (CLOCAL | CREAD), static_cast<tcflag_t>(CLOCAL | CREAD));
  EXPECT_NE(t.c_cflag & HUPCL, 0u) << "flags the settings do not name stay";

  EXPECT_EQ(t.c_iflag & (IXON | IXOFF | IXANY), 0u);
  EXPECT_EQ(t.c_iflag & (INPCK | PARMRK | ISTRIP), 0u) << "bytes pass as received";
  EXPECT_NE(t.c_iflag & IGNBRK, 0u);

  EXPECT_EQ(t.c_ispeed, GetParam().baud);
  EXPECT_EQ(t.c_ospeed, GetParam().baud);
  EXPECT_EQ(t.c_cc[VMIN], 0);
  EXPECT_EQ(t.c_cc[VTIME], 0);
  EXPECT_EQ(t.c_cc[VINTR], 3);
}

INSTANTIATE_TEST_SUITE_P(Bauds, EightEvenOne,
                         ::testing::Values(EightEvenOneRow{"At115200", 115200},
                                           EightEvenOneRow{"At38400", 38400}),
                         [](const auto& info) { return std::string(info.param.name); });

struct FormatRow {
  const char* name;
  LineSettings settings;
  bool possible;
  tcflag_t cflag;  // size, parity, stop bits and flow control, when possible
};

class CharacterFormat : public ::testing::TestWithParam<FormatRow> {};

TEST_P(CharacterFormat, BuiltOrRefused) {
  const std::optional<termios2> built = BuildLineTermios(Untidy(), GetParam().settings);
  ASSERT_EQ(built.has_value(), GetParam().possible);
  if (!built) return;
  EXPECT_EQ(built->c_cflag & (CSIZE | PARENB | PARODD | CMSPAR | CSTOPB | CRTSCTS), GetParam().cflag);
}

INSTANTIATE_TEST_SUITE_P(
    Rows, CharacterFormat,
    ::testing::Values(
        FormatRow{"EightNoneOne", {9600, 8, Parity::kNone, StopBits::kOne, false}, true, CS8},
        FormatRow{"SevenOddTwo", {9600, 7, Parity::kOdd, StopBits::kTwo, false}, true,
                  CS7 | PARENB | PARODD | CSTOPB},
        FormatRow{"EightMarkOne", {9600, 8, Parity::kMark, StopBits::kOne, false}, true,
                  CS8 | PARENB | PARODD | CMSPAR},
        FormatRow{"EightSpaceOne", {9600, 8, Parity::kSpace, StopBits::kOne, false}, true,
                  CS8 | PARENB | CMSPAR},
        FormatRow{"HardwareFlowControlKept", {9600, 8, Parity::kNone, StopBits::kOne, true}, true,
                  CS8 | CRTSCTS},
        FormatRow{"OneAndAHalfStopBits", {9600, 8, Parity::kNone, StopBits::kOnePointFive, false},
                  false, 0},
        FormatRow{"NineDataBits", {9600, 9, Parity::kNone, StopBits::kOne, false}, false, 0},
        FormatRow{"BaudZero", {0, 8, Parity::kNone, StopBits::kOne, false}, false, 0}),
    [](const auto& info) { return std::string(info.param.name); });

}  // namespace
}  // namespace flashkit::platform::line_control
