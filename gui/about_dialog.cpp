#include "gui/about_dialog.h"

#include <QAbstractButton>

#include "gui/dialog_builder.h"
#include "gui/dialog_template.h"
#include "gui/dialog_units.h"

namespace flashkit {

AboutDialog::AboutDialog(QWidget* parent) : QDialog(parent) {
  const DialogTemplate& about = AboutTemplate();
  setWindowTitle(QString::fromUtf8(about.title));
  setFont(DialogFont(about));
  const BaseUnits base = MeasureBaseUnits(font());
  setFixedSize(ClientSize(about, base));
  for (const BuiltControl& control : BuildControls(about, this, base)) {
    if (control.row->id == ctl::kOk) {
      connect(static_cast<QAbstractButton*>(control.widget), &QAbstractButton::clicked, this,
              &QDialog::accept);
    }
  }
}

}  // namespace flashkit
