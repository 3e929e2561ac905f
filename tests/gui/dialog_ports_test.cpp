// The Port list's adapter entries: what is plugged in and has no COM number,
// chosen, used by both serial downloads, and gone again.
#include <gtest/gtest.h>

#include <QComboBox>
#include <string>
#include <vector>

#include "tests/gui/dialog_rig.h"

namespace flashkit::testing {
namespace {

using platform::SerialPortInfo;
using platform::SerialPortKind;

constexpr char kFtdiById[] = "/dev/serial/by-id/usb-FTDI_FT232R_USB_UART_A50285BI-if00-port0";
constexpr char kFtdiLabel[] = "ttyUSB0 — FT232R USB UART (A50285BI)";

SerialPortInfo Ftdi() {
  SerialPortInfo port;
  port.kind = SerialPortKind::kUsbSerial;
  port.path = "/dev/ttyUSB0";
  port.name = "ttyUSB0";
  port.links = {kFtdiById};
  port.vendor_id = "0403";
  port.product_id = "6001";
  port.product = "FT232R USB UART";
  port.serial = "A50285BI";
  return port;
}

SerialPortInfo Port(SerialPortKind kind, const std::string& name, std::optional<unsigned> com) {
  SerialPortInfo port;
  port.kind = kind;
  port.path = "/dev/" + name;
  port.name = name;
  port.com = com;
  return port;
}

std::vector<std::string> EntriesAfterCom15(const QComboBox* list) {
  std::vector<std::string> entries;
  for (int i = 15; i < list->count(); ++i) entries.push_back(list->itemText(i).toStdString());
  return entries;
}

std::string Settings(const std::string& path, const std::string& port) {
  return path + "\n\n설정을 확인하세요.\n\n* Port : " + port + "\n* Baud : 115200\n* Modem : YModem";
}

// An adapter reached by a COM number of the list needs no entry; one beyond
// COM15 does, as does one with no COM number at all.
TEST(DialogPorts, AdaptersWithoutAComEntryFollowCom15) {
  DialogRig rig;
  rig.ports = {Port(SerialPortKind::kUart, "ttyS0", 1), Ftdi(),
               Port(SerialPortKind::kUsbAcm, "ttyACM0", 3),
               Port(SerialPortKind::kUsbSerial, "ttyUSB1", 20)};
  rig.dialog->RefreshPorts();
  EXPECT_EQ(EntriesAfterCom15(rig.dialog->m_PortList),
            (std::vector<std::string>{kFtdiLabel, "ttyUSB1"}));
  EXPECT_EQ(rig.dialog->m_PortList->currentIndex(), 0);
}

TEST(DialogPorts, ChosenAdapterNamedAndUsedByBothSerialDownloads) {
  DialogRig rig;
  rig.ports = {Ftdi()};
  rig.dialog->RefreshPorts();
  const std::filesystem::path path = rig.Choose("fw.bin");
  rig.Pick(ctl::kPortList, 15);
  DownloaderDialog& d = *rig.dialog;
  EXPECT_EQ(d.m_PortText, kFtdiById);
  EXPECT_EQ(rig.InfoText(), Settings(path.string(), kFtdiLabel));

  rig.Click(ctl::kDownload);
  EXPECT_EQ(d.m_CommandLine, std::string("linkxfer.exe \"fw.bin\" -sy -p") + kFtdiById + " -b115200");

  rig.Click(ctl::kModemNone);
  rig.boxes.texts.clear();
  rig.Click(ctl::kDownload);
  EXPECT_EQ(rig.system.opened_names.back(), kFtdiById);
  EXPECT_EQ(rig.boxes.texts, std::vector<std::string>{"Fail"});
  EXPECT_EQ(rig.InfoText(), path.string() + "\n\n다운로드가 종료 되었습니다..\n\nThe port " +
                                kFtdiById + " could not be opened: no such device.\n");
}

TEST(DialogPorts, ChoiceKeptWhileTheAdapterStays) {
  DialogRig rig;
  rig.ports = {Ftdi()};
  rig.dialog->RefreshPorts();
  rig.Pick(ctl::kPortList, 15);
  rig.ports = {Port(SerialPortKind::kUsbAcm, "ttyACM0", std::nullopt), Ftdi()};
  rig.dialog->RefreshPorts();
  EXPECT_EQ(rig.dialog->m_PortList->currentText().toStdString(), kFtdiLabel);
  EXPECT_EQ(rig.dialog->m_PortText, kFtdiById);
}

}  // namespace
}  // namespace flashkit::testing
