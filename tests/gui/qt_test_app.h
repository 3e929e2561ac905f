#pragma once

#include <QApplication>
#include <QByteArray>
#include <QtGlobal>

namespace flashkit::testing {

// The one QApplication of a test program, made on first use. Widget tests run
// without a display: the offscreen platform is chosen unless the caller picked
// one (a screenshot run under Xvfb sets QT_QPA_PLATFORM=xcb).
inline QApplication& TestApp() {
  static int argc = 1;
  static char name[] = "flashkit-tests";
  static char* argv[] = {name, nullptr};
  static QApplication& app = []() -> QApplication& {
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
    // Never destroyed: tearing Qt down during static destruction, after its
    // own globals may be gone, crashes more often than it helps.
    return *new QApplication(argc, argv);
  }();
  return app;
}

}  // namespace flashkit::testing
