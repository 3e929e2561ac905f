#pragma once

#include <QWidget>
#include <vector>

#include "gui/dialog_template.h"
#include "gui/dialog_units.h"

namespace flashkit {

// A control made from its template row.
struct BuiltControl {
  const ControlTemplate* row;
  QWidget* widget;
};

// Makes every control of `dialog` as a child of `client`, placed by the base
// units: radio buttons grouped as the group marks say, tab order in template
// order, frames and pictures kept beneath the controls they surround.
std::vector<BuiltControl> BuildControls(const DialogTemplate& dialog, QWidget* client,
                                        const BaseUnits& base);

// The client area's size in pixels.
QSize ClientSize(const DialogTemplate& dialog, const BaseUnits& base);

}  // namespace flashkit
