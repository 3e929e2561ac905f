#include "gui/dialog_message_boxes.h"

#include <QApplication>
#include <QMessageBox>
#include <QMetaObject>
#include <QThread>

namespace flashkit {
namespace {

void ShowNow(QWidget* owner, const QString& text, BoxIcon icon) {
  QMessageBox box(icon == BoxIcon::kWarning ? QMessageBox::Warning : QMessageBox::NoIcon,
                  QApplication::applicationName(), text, QMessageBox::Ok, owner);
  box.exec();
}

}  // namespace

void DialogMessageBoxes::Show(const std::string& text, BoxIcon icon) {
  QWidget* owner = owner_.data();
  const QString message = QString::fromUtf8(text.data(), static_cast<qsizetype>(text.size()));
  if (owner == nullptr) return;
  if (QThread::currentThread() == owner->thread()) {
    ShowNow(owner, message, icon);
    return;
  }
  QMetaObject::invokeMethod(
      owner, [owner, message, icon] { ShowNow(owner, message, icon); }, Qt::QueuedConnection);
}

}  // namespace flashkit
