// flashpanel's Port list following an adapter that is plugged in, chosen and
// pulled out, told by the machine's udev monitor on the dialog's event loop.
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <QComboBox>
#include <QLabel>
#include <QTest>
#include <string>

#include "gui/downloader_dialog.h"
#include "tests/gui/qt_test_app.h"
#include "tests/support/recorded_boxes.h"
#include "tests/usbhw/tty_testbed.h"

namespace flashkit::testing {
namespace {

// Generous: udev's events reach the loop in milliseconds.
constexpr int kEventLimitMs = 5000;

constexpr char kFtdiLabel[] = "ttyUSB0 \u2014 FT232R USB UART (A50285BI)";

TEST(DialogPlug, ChosenAdapterListedWhilePluggedThenCom1) {
  ASSERT_TRUE(UsbTestbed::Preloaded()) << "run under umockdev's preload library (ctest sets it)";
  DefaultNamespace dev;
  UsbTestbed testbed;
  TtyTestbed ttys(testbed);
  TestApp();
  RecordedBoxes boxes;
  DownloaderDialog::Services services(platform::RealSystem(), platform::SystemClock());
  services.boxes = &boxes;
  DownloaderDialog dialog(std::move(services));
  QComboBox* list = dialog.m_PortList;
  ASSERT_EQ(list->count(), 15) << "COM1 to COM15 and nothing plugged in";

  ttys.Plug(Ftdi());
  ASSERT_TRUE(QTest::qWaitFor([&] { return list->count() == 16; }, kEventLimitMs));
  EXPECT_EQ(list->itemText(15).toStdString(), kFtdiLabel);
  list->setCurrentIndex(15);
  emit list->activated(15);
  EXPECT_EQ(dialog.m_PortText, kFtdiById);

  ttys.Unplug(kFtdiSyspath);
  ASSERT_TRUE(QTest::qWaitFor([&] { return list->count() == 15; }, kEventLimitMs));
  EXPECT_EQ(list->currentIndex(), 0);
  EXPECT_EQ(dialog.m_PortText, "1");
  EXPECT_THAT(static_cast<QLabel*>(dialog.Control(ctl::kInfo))->text().toStdString(),
              ::testing::EndsWith(std::string(kFtdiLabel) + " was unplugged; the port is COM1 now.\n"));
  EXPECT_TRUE(boxes.texts.empty());
}

}  // namespace
}  // namespace flashkit::testing
