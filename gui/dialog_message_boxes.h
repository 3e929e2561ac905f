#pragma once

#include <QPointer>
#include <QWidget>
#include <string>

#include "gui/links/message_boxes.h"

namespace flashkit {

// Message boxes with an OK button, owned by a window. Shown modally on the
// window's thread; a call from another thread is queued to it and returns at
// once, so a worker never waits on the window.
class DialogMessageBoxes : public MessageBoxes {
 public:
  explicit DialogMessageBoxes(QWidget* owner) : owner_(owner) {}
  void Show(const std::string& text, BoxIcon icon = BoxIcon::kNone) override;

 private:
  QPointer<QWidget> owner_;
};

}  // namespace flashkit
