#pragma once

#include <QFont>
#include <QRect>
#include <QSize>

#include "gui/dialog_template.h"

namespace flashkit {

// The dialog font's base units: the average character width and the height,
// in pixels. Dialog units are a quarter of the width and an eighth of the
// height, so a dialog keeps its proportions at any DPI and font size.
struct BaseUnits {
  int x = 0;
  int y = 0;
};

// a * b / c rounded half away from zero, without overflow; -1 when c is 0.
int MulDiv(int a, int b, int c);

// The template's font, or the first installed family of a list of look-alikes
// (Korean fonts) when it is missing on this system.
QFont DialogFont(const DialogTemplate& dialog);

// Base units measured from `font` the Windows way: the width of
// "A".."Z""a".."z" over 26, plus one, halved; the font's height.
BaseUnits MeasureBaseUnits(const QFont& font);

int DluToPixelsX(const BaseUnits& base, int dlu);
int DluToPixelsY(const BaseUnits& base, int dlu);
QRect DluToPixels(const BaseUnits& base, const ControlTemplate& control);
QSize DluToPixels(const BaseUnits& base, int w, int h);

}  // namespace flashkit
