#include <QApplication>
#include <QIcon>

#include "gui/dialog_template.h"
#include "gui/downloader_app.h"
#include "platform/clock.h"
#include "platform/device_system.h"

int main(int argc, char** argv) {
  QApplication application(argc, argv);
  QApplication::setApplicationName(QStringLiteral("flashpanel"));
  QApplication::setApplicationVersion(QStringLiteral("1.0.0.1"));
  QApplication::setWindowIcon(QIcon(QString::fromUtf8(flashkit::ResourcePath(flashkit::kProgramIconId))));

  flashkit::DownloaderApp app(flashkit::platform::RealSystem(), flashkit::platform::SystemClock());
  app.InitInstance();
  return 0;
}
