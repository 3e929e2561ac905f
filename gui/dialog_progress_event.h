#pragma once

#include <QEvent>
#include <cstdint>

#include "engines/download_progress.h"

namespace flashkit {

// WM_DOWNLOAD_PROGRESS as a Qt event to the dialog.
class ProgressEvent : public QEvent {
 public:
  static constexpr QEvent::Type kType = static_cast<QEvent::Type>(WM_DOWNLOAD_PROGRESS);
  static_assert(static_cast<int>(WM_DOWNLOAD_PROGRESS) > QEvent::User &&
                static_cast<int>(WM_DOWNLOAD_PROGRESS) < QEvent::MaxUser);

  ProgressEvent(uint32_t wparam, int32_t lparam) : QEvent(kType), wparam_(wparam), lparam_(lparam) {}
  uint32_t wparam() const { return wparam_; }
  int32_t lparam() const { return lparam_; }

 private:
  uint32_t wparam_;
  int32_t lparam_;
};

}  // namespace flashkit
