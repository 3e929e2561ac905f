#include "gui/downloader_app.h"

#include <QApplication>
#include <memory>

#include "gui/console_tool.h"
#include "gui/downloader_dialog.h"

namespace flashkit {

bool DownloaderApp::InitInstance() {
  {
    auto dialog = std::make_unique<DownloaderDialog>(DownloaderDialog::Services{system_, clock_});
    dialog->exec();
  }
  // A transfer in a console window goes on after the dialog has closed; the
  // program ends when the user has closed the last of those windows.
  if (!OpenConsoleWindows().isEmpty()) {
    QApplication::setQuitOnLastWindowClosed(true);
    QApplication::exec();
  }
  return false;
}

}  // namespace flashkit
