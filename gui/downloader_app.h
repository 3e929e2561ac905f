#pragma once

#include <QObject>

#include "platform/clock.h"
#include "platform/device_system.h"

namespace flashkit {

// flashpanel's application: runs the downloader dialog and ends the program
// after it, once the console windows of started transfers are closed too.
class DownloaderApp : public QObject {
  Q_OBJECT

 public:
  DownloaderApp(platform::DeviceSystem& system, platform::Clock& clock)
      : system_(system), clock_(clock) {}

  // Runs the dialog modally; returns false so the program ends rather than
  // entering a message loop of its own.
  bool InitInstance();

 private:
  platform::DeviceSystem& system_;
  platform::Clock& clock_;
};

}  // namespace flashkit
