// Takes flashpanel's screenshots for the README on a real X server (Xvfb):
// the dialog as it starts, and in the middle of a USB download to a paced
// devsim usb-framed. Usage: flashpanel_screens <devsim> <output folder>

#include <stdlib.h>

#include <QAbstractButton>
#include <QApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QPixmap>
#include <QProcess>
#include <QProgressBar>
#include <QTemporaryDir>
#include <cstdio>
#include <functional>
#include <memory>

#include "gui/dialog_template.h"
#include "gui/downloader_dialog.h"
#include "platform/clock.h"
#include "platform/device_system.h"

namespace {

using flashkit::DownloaderDialog;
namespace ctl = flashkit::ctl;

bool PumpUntil(const std::function<bool()>& done, int timeout_ms) {
  QElapsedTimer timer;
  timer.start();
  while (!done()) {
    if (timer.elapsed() > timeout_ms) return false;
    QCoreApplication::processEvents(QEventLoop::AllEvents, 10);
  }
  return true;
}

// The whole window, its menu bar included, as the window manager would show
// it without a frame.
bool Save(QWidget& window, const QString& path) {
  QCoreApplication::processEvents();
  const bool saved = window.grab().save(path, "PNG");
  std::printf("%s %s\n", saved ? "wrote" : "could not write", qPrintable(path));
  return saved;
}

int Fail(const char* why) {
  std::fprintf(stderr, "flashpanel_screens: %s\n", why);
  return 1;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc != 3) return Fail("usage: flashpanel_screens <devsim> <output folder>");
  QApplication app(argc, argv);
  const QString devsim = QString::fromLocal8Bit(argv[1]);
  // Absolute: choosing the image makes its folder the current one.
  const QDir out(QDir(QString::fromLocal8Bit(argv[2])).absolutePath());
  if (!out.exists() && !QDir().mkpath(out.path())) return Fail("cannot make the output folder");

  QTemporaryDir work(QDir::tempPath() + "/firmware-XXXXXX");
  if (!work.isValid()) return Fail("no temporary folder");
  const QString root = work.filePath("dev");
  QDir().mkpath(root);
  QDir().mkpath(work.filePath("images"));
  setenv("FLASHKIT_DEVROOT", qPrintable(root), 1);

  // A board image of 48 KiB at 115200 baud takes a few seconds: long
  // enough to be caught half-way.
  const QString image = work.filePath("images/iap_cortex.bin");
  QFile file(image);
  if (!file.open(QIODevice::WriteOnly)) return Fail("cannot write the sample image");
  QByteArray bytes(48 * 1024, '\0');
  for (int i = 0; i < bytes.size(); ++i) bytes[i] = static_cast<char>((i * 131 + 7) & 0xFF);
  file.write(bytes);
  file.close();

  QProcess device;
  device.setProcessChannelMode(QProcess::ForwardedErrorChannel);
  device.start(devsim, {"usb-framed", "--usb", "board0", "--baud", "115200", "--store",
                        work.filePath("store")});
  if (!device.waitForStarted(5000)) return Fail("devsim did not start");
  if (!PumpUntil([&] { return device.canReadLine() || device.state() != QProcess::Running; }, 10000)) {
    return Fail("devsim did not get ready");
  }

  DownloaderDialog::Services services(flashkit::platform::RealSystem(), flashkit::platform::SystemClock());
  services.choose_file = [&](QWidget*) { return image; };
  services.log_path = work.filePath("log.txt").toStdString();
  DownloaderDialog dialog(std::move(services));
  dialog.show();
  PumpUntil([&] { return dialog.isVisible(); }, 2000);
  bool ok = Save(dialog, out.filePath("flashpanel-start.png"));

  dialog.OnBinSelect();
  static_cast<QAbstractButton*>(dialog.Control(ctl::kUsb))->click();
  static_cast<QAbstractButton*>(dialog.Control(ctl::kDownload))->click();
  auto* progress = static_cast<QProgressBar*>(dialog.Control(ctl::kProgress));
  if (!PumpUntil([&] { return progress->maximum() > 0 && progress->value() * 5 >= progress->maximum() * 2; },
                 30000)) {
    return Fail("the download did not get half-way");
  }
  ok = Save(dialog, out.filePath("flashpanel-download.png")) && ok;
  if (!PumpUntil([&] { return !dialog.usb_download().SenderRunning(); }, 30000)) {
    return Fail("the download did not end");
  }
  device.terminate();
  device.waitForFinished(5000);
  return ok ? 0 : 1;
}
