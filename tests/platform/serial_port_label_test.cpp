// What a person sees of a serial port, from its fields alone (the listing
// itself runs against umockdev in tests/usbhw).
#include <gtest/gtest.h>

#include <string>

#include "platform/serial_ports.h"

namespace flashkit::platform {
namespace {

SerialPortInfo Port(std::string product, std::string manufacturer = "", std::string serial = "",
                    std::string vendor_id = "", std::string product_id = "") {
  SerialPortInfo port;
  port.kind = SerialPortKind::kUsbSerial;
  port.path = "/dev/ttyUSB0";
  port.name = "ttyUSB0";
  port.product = std::move(product);
  port.manufacturer = std::move(manufacturer);
  port.serial = std::move(serial);
  port.vendor_id = std::move(vendor_id);
  port.product_id = std::move(product_id);
  return port;
}

struct LabelRow {
  const char* name;
  SerialPortInfo port;
  size_t max_chars;
  std::string label;
};

void PrintTo(const LabelRow& row, std::ostream* out) { *out << row.name; }

class PortLabelOf : public ::testing::TestWithParam<LabelRow> {};

TEST_P(PortLabelOf, NameAndWhatTheDeviceSaysInValidUtf8) {
  EXPECT_EQ(PortLabel(GetParam().port, GetParam().max_chars), GetParam().label);
}

INSTANTIATE_TEST_SUITE_P(
    Rows, PortLabelOf,
    ::testing::Values(
        LabelRow{"ProductAndSerial", Port("FT232R USB UART", "FTDI", "A50285BI", "0403", "6001"), 80,
                 "ttyUSB0 \u2014 FT232R USB UART (A50285BI)"},
        LabelRow{"ManufacturerWithoutProduct", Port("", "FTDI", "", "0403", "6001"), 80, "ttyUSB0 \u2014 FTDI"},
        LabelRow{"IdsWithoutTexts", Port("", "", "", "1a86", "7523"), 80, "ttyUSB0 \u2014 1a86:7523"},
        LabelRow{"SerialAlone", Port("", "", "X1"), 80, "ttyUSB0 (X1)"},
        LabelRow{"Nothing", Port(""), 80, "ttyUSB0"},
        // Each byte that begins no UTF-8 sequence is one '?': stray
        // continuations, overlong forms, surrogates, past U+10FFFF, cut short.
        LabelRow{"InvalidBytes", Port("a\x80" "b\xc0\xaf" "c\xed\xa0\x80" "d\xf4\x90\x80\x80" "e\xe2\x82"), 80,
                 "ttyUSB0 \u2014 a?b??c???d????e??"},
        LabelRow{"ValidTextKept", Port("\u00e9\u4e2d\U0001F600"), 80, "ttyUSB0 \u2014 \u00e9\u4e2d\U0001F600"},
        LabelRow{"ControlsAndOverrides", Port("a\tb\nc\x1b[0m\x7f\u0085\u202e\u2028z"), 80,
                 "ttyUSB0 \u2014 a?b?c?[0m????z"},
        LabelRow{"CutByCharactersNotBytes", Port("\u00e9\u00e9\u00e9\u00e9"), 13,
                 "ttyUSB0 \u2014 \u00e9\u00e9\u2026"},
        LabelRow{"CutInsideTheName", Port("x"), 5, "ttyU\u2026"},
        LabelRow{"NoCharacters", Port("x"), 0, ""}),
    [](const auto& info) { return std::string(info.param.name); });

}  // namespace
}  // namespace flashkit::platform
