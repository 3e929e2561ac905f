// The serial ports listed and watched through the real libudev, against
// devices in umockdev's testbed.
#include "platform/serial_ports.h"

#include <gtest/gtest.h>
#include <poll.h>

#include <filesystem>
#include <optional>
#include <string>
#include <vector>

#include "platform/pseudo_terminal.h"
#include "tests/platform/temp_namespace.h"
#include "tests/usbhw/tty_testbed.h"

namespace flashkit::testing {
namespace {

using platform::SerialPortInfo;
using platform::SerialPortKind;

const char* KindName(SerialPortKind kind) {
  switch (kind) {
    case SerialPortKind::kUsbSerial: return "usb-serial";
    case SerialPortKind::kUsbAcm: return "acm";
    case SerialPortKind::kUart: return "uart";
    case SerialPortKind::kSimulated: return "simulated";
  }
  return "?";
}

// One line with every field, so a failed comparison shows what differs.
std::string Summary(const SerialPortInfo& port) {
  std::string text = std::string(KindName(port.kind)) + " " + port.name + " " + port.path +
                     " com=" + (port.com ? std::to_string(*port.com) : "-") + " links=[";
  for (const std::string& link : port.links) text += (text.back() == '[' ? "" : " ") + link;
  text += "] ids=" + port.vendor_id + ":" + port.product_id + " manufacturer='" + port.manufacturer +
          "' product='" + port.product + "' serial='" + port.serial + "'";
  return text;
}

std::vector<std::string> Summaries(const std::vector<SerialPortInfo>& ports) {
  std::vector<std::string> lines;
  for (const SerialPortInfo& port : ports) lines.push_back(Summary(port));
  return lines;
}

std::vector<std::string> Labels(const std::vector<SerialPortInfo>& ports) {
  std::vector<std::string> labels;
  for (const SerialPortInfo& port : ports) labels.push_back(platform::PortLabel(port));
  return labels;
}

std::vector<std::string> StablePaths(const std::vector<SerialPortInfo>& ports) {
  std::vector<std::string> paths;
  for (const SerialPortInfo& port : ports) paths.push_back(port.StablePath());
  return paths;
}

struct ListRow {
  const char* name;
  std::vector<UsbSerialAdapter> adapters;
  std::vector<std::pair<int, int>> uarts;  // index, type
  std::vector<std::string> virtual_ttys;
  std::vector<std::string> listed;         // Summary of each, in order
  std::vector<std::string> labels;
  std::vector<std::string> stable_paths;
};

void PrintTo(const ListRow& row, std::ostream* out) { *out << row.name; }

class SerialPortList : public ::testing::TestWithParam<ListRow> {};

TEST_P(SerialPortList, RealPortsWithWhatTheDeviceSays) {
  const ListRow& row = GetParam();
  ASSERT_TRUE(UsbTestbed::Preloaded()) << "run under umockdev's preload library (ctest sets it)";
  DefaultNamespace dev;
  UsbTestbed testbed;
  TtyTestbed ttys(testbed);
  for (const UsbSerialAdapter& adapter : row.adapters) ttys.AddUsbAdapter(adapter);
  for (const auto& [index, type] : row.uarts) ttys.AddUart(index, type);
  int minor = 0;
  for (const std::string& name : row.virtual_ttys) ttys.AddVirtual(name, 4, minor++);

  const std::vector<SerialPortInfo> ports = platform::ListSerialPorts();
  EXPECT_EQ(Summaries(ports), row.listed);
  EXPECT_EQ(Labels(ports), row.labels);
  EXPECT_EQ(StablePaths(ports), row.stable_paths);
}

INSTANTIATE_TEST_SUITE_P(
    Rows, SerialPortList,
    ::testing::Values(
        ListRow{"FtdiWithEverything",
                {Ftdi()},
                {},
                {},
                {std::string("usb-serial ttyUSB0 /dev/ttyUSB0 com=- links=[") + kFtdiById + " " + kFtdiByPath +
                 "] ids=0403:6001 manufacturer='FTDI' product='FT232R USB UART' serial='A50285BI'"},
                {"ttyUSB0 \u2014 FT232R USB UART (A50285BI)"},
                {kFtdiById}},
        // No serial, so no by-id link; one without even a product. Ports
        // are in the order of their numbers.
        ListRow{"Ch340sWithoutSerialOrManufacturer",
                {{"ttyUSB10", 3, "1a86", "7523", std::nullopt, std::nullopt, std::nullopt,
                  {"/dev/serial/by-path/pci-0000:00:14.0-usb-0:3:1.0-port0"}},
                 {"ttyUSB2", 4, "1a86", "7523", std::nullopt, "USB Serial", std::nullopt, {}}},
                {},
                {},
                {"usb-serial ttyUSB2 /dev/ttyUSB2 com=- links=[] ids=1a86:7523 manufacturer='' "
                 "product='USB Serial' serial=''",
                 "usb-serial ttyUSB10 /dev/ttyUSB10 com=- "
                 "links=[/dev/serial/by-path/pci-0000:00:14.0-usb-0:3:1.0-port0] ids=1a86:7523 "
                 "manufacturer='' product='' serial=''"},
                {"ttyUSB2 \u2014 USB Serial", "ttyUSB10 \u2014 1a86:7523"},
                {"/dev/ttyUSB2", "/dev/ttyUSB10"}},
        ListRow{"AcmBoard",
                {{"ttyACM0", 5, "2e8a", "000a", "Raspberry Pi", "Pico", "E6616407E3",
                  {"/dev/serial/by-id/usb-Raspberry_Pi_Pico_E6616407E3-if00"}}},
                {},
                {},
                {"acm ttyACM0 /dev/ttyACM0 com=- links=[/dev/serial/by-id/usb-Raspberry_Pi_Pico_E6616407E3-if00] "
                 "ids=2e8a:000a manufacturer='Raspberry Pi' product='Pico' serial='E6616407E3'"},
                {"ttyACM0 \u2014 Pico (E6616407E3)"},
                {"/dev/serial/by-id/usb-Raspberry_Pi_Pico_E6616407E3-if00"}},
        // ttyS4 is a 16550A, COM5 by its index; ttyS1 is one of the driver's
        // phantoms (type 0).
        ListRow{"BuiltInPortsThatAreThere",
                {},
                {{1, 0}, {4, 4}},
                {},
                {"uart ttyS4 /dev/ttyS4 com=5 links=[] ids=: manufacturer='' product='' serial=''"},
                {"ttyS4"},
                {"/dev/ttyS4"}},
        ListRow{"NoVirtualConsolesOrPseudoTerminals",
                {},
                {},
                {"tty0", "tty7", "console", "ptmx", "ttyp0", "ptyp0"},
                {},
                {},
                {}}),
    [](const auto& info) { return std::string(info.param.name); });

TEST(SerialPortList, UnderDevAComLinkOfAnotherNumberTakesTheBuiltInPortsNumber) {
  ASSERT_TRUE(UsbTestbed::Preloaded());
  DefaultNamespace dev;
  UsbTestbed testbed;
  TtyTestbed ttys(testbed);
  ttys.AddUart(0, 4);
  ttys.AddUart(2, 4);
  ttys.AddUsbAdapter(Ftdi());
  // A udev rule's link (relative, as udev makes them; umockdev's preload
  // shows no link in its /dev that names /dev/... itself): COM1 opens the
  // adapter, so ttyS0 has no COM number.
  std::filesystem::create_symlink("ttyUSB0", ttys.DevPath("com1"));
  std::vector<std::optional<unsigned>> numbers;
  for (const SerialPortInfo& port : platform::ListSerialPorts()) numbers.push_back(port.com);
  EXPECT_EQ(numbers, (std::vector<std::optional<unsigned>>{std::nullopt, 3, 1}));  // ttyS0 ttyS2 ttyUSB0
}

TEST(SerialPortList, OddTextsAreKeptBoundedAndLabelledSanely) {
  ASSERT_TRUE(UsbTestbed::Preloaded());
  DefaultNamespace dev;
  UsbTestbed testbed;
  TtyTestbed ttys(testbed);
  const std::string odd = "Serial\xff\xfe\x1b[2J\x7f\xc3(x";
  std::string long_text = "A";
  while (long_text.size() < 1000) long_text += "\u00e9";  // two bytes each
  std::string long_serial;
  while (long_serial.size() < 1000) long_serial += "0123456789";
  ttys.AddUsbAdapter({"ttyUSB0", 2, "0403", "6001", long_text, odd, long_serial, {}});
  ttys.AddUsbAdapter({"ttyUSB1", 3, "0403", "6015", std::nullopt, long_text, std::nullopt, {}});

  const std::vector<SerialPortInfo> ports = platform::ListSerialPorts();
  ASSERT_EQ(ports.size(), 2u);
  EXPECT_EQ(ports[0].product, odd) << "the device's bytes as they are";
  EXPECT_EQ(ports[0].serial, long_serial.substr(0, 256));
  // 256 bytes would end inside an é: the cut comes before it.
  EXPECT_EQ(ports[0].manufacturer, long_text.substr(0, 255));
  EXPECT_EQ(ports[1].product, long_text.substr(0, 255));

  // What the label makes of such texts is the label's own tests' matter;
  // here, that a listed port's label is whole UTF-8 of 80 characters.
  const std::string label = platform::PortLabel(ports[0]);
  EXPECT_TRUE(label.starts_with("ttyUSB0 \u2014 Serial???[2J?")) << label;
  EXPECT_EQ(label.size(), 80u + 2 + 2) << "80 characters: one em dash and the ellipsis of three bytes";
}

// The namespace root of tests and the simulator: its comN entries that lead
// to something are ports too.
TEST(SerialPortList, ComEntriesOfASimulatorsRoot) {
  ASSERT_TRUE(UsbTestbed::Preloaded());
  TempNamespace ns;
  // Before the testbed: while one lives, umockdev's preload fails the line
  // settings of a pty opened then.
  platform::PseudoTerminal pty = platform::OpenPseudoTerminal();
  ASSERT_TRUE(pty.status.ok()) << pty.status.Text();
  UsbTestbed testbed;
  TtyTestbed ttys(testbed);
  ttys.AddUsbAdapter(Ftdi());
  std::filesystem::create_symlink(pty.slave_path, ns.Path("com7"));
  std::filesystem::create_symlink(ns.Path("gone"), ns.Path("com8"));
  // The adapter by its stable name: one port, whose COM number is 3.
  std::filesystem::create_symlink(kFtdiById, ns.Path("com3"));
  // Not COM names a program opens, or nothing to open.
  std::filesystem::create_symlink(pty.slave_path, ns.Path("com07"));
  std::filesystem::create_symlink(pty.slave_path, ns.Path("com0"));
  std::filesystem::create_symlink(pty.slave_path, ns.Path("comx"));
  std::filesystem::create_directory(ns.Path("com9"));

  const std::vector<SerialPortInfo> ports = platform::ListSerialPorts();
  EXPECT_EQ(Summaries(ports),
            (std::vector<std::string>{
                std::string("usb-serial ttyUSB0 /dev/ttyUSB0 com=3 links=[") + kFtdiById + " " + kFtdiByPath +
                    "] ids=0403:6001 manufacturer='FTDI' product='FT232R USB UART' serial='A50285BI'",
                "simulated com7 " + ns.Path("com7") +
                    " com=7 links=[] ids=: manufacturer='' product='' serial=''"}));
  ASSERT_EQ(ports.size(), 2u);
  EXPECT_EQ(platform::PortLabel(ports[1]), "com7");
  EXPECT_EQ(ports[1].StablePath(), ns.Path("com7"));
}

bool Readable(int fd, int timeout_ms) {
  pollfd entry{fd, POLLIN, 0};
  return ::poll(&entry, 1, timeout_ms) == 1;
}

TEST(SerialPortMonitor, SeesAdaptersComeAndGoAndNothingElse) {
  ASSERT_TRUE(UsbTestbed::Preloaded());
  DefaultNamespace dev;
  UsbTestbed testbed;
  TtyTestbed ttys(testbed);
  const std::unique_ptr<platform::SerialPortMonitor> monitor = platform::OpenSerialPortMonitor();
  ASSERT_NE(monitor, nullptr);
  ASSERT_GE(monitor->Fd(), 0);
  EXPECT_FALSE(Readable(monitor->Fd(), 0));
  EXPECT_FALSE(monitor->TakeChanges()) << "nothing has happened";

  // A USB device that is no serial port, and consoles and ptys.
  ttys.Announce(ttys.AddUsbDevice(7), "add");
  ttys.Announce(ttys.AddVirtual("tty7", 4, 7), "add");
  ttys.Announce(ttys.AddVirtual("ttyp0", 3, 0), "add");
  ttys.Announce(ttys.AddUart(1, 0), "add");
  ASSERT_TRUE(Readable(monitor->Fd(), 2000)) << "the ttys' events reach the monitor";
  EXPECT_FALSE(monitor->TakeChanges());
  EXPECT_FALSE(Readable(monitor->Fd(), 0)) << "all taken";

  ttys.Plug(Ftdi());
  ASSERT_TRUE(Readable(monitor->Fd(), 2000));
  EXPECT_TRUE(monitor->TakeChanges());
  EXPECT_FALSE(Readable(monitor->Fd(), 0)) << "all taken";
  EXPECT_FALSE(monitor->TakeChanges());
  ASSERT_EQ(platform::ListSerialPorts().size(), 1u);

  ttys.Unplug(kFtdiSyspath);
  ASSERT_TRUE(Readable(monitor->Fd(), 2000));
  EXPECT_TRUE(monitor->TakeChanges());
  EXPECT_FALSE(monitor->TakeChanges());
  EXPECT_EQ(platform::ListSerialPorts().size(), 0u);
}

}  // namespace
}  // namespace flashkit::testing
