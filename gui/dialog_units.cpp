#include "gui/dialog_units.h"

#include <QFontDatabase>
#include <QFontMetrics>
#include <QString>
#include <QStringList>
#include <cstdint>

namespace flashkit {
namespace {

// Families tried in order when the template's font is not installed: the same
// font under its Latin name, then Korean fonts that Linux systems carry.
constexpr const char* kFallbackFamilies[] = {
    "Gulim", "NanumGothic", "Nanum Gothic", "Noto Sans CJK KR", "Noto Sans KR",
    "UnDotum", "Baekmuk Gulim",
};

constexpr char kAverageSample[] = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz";

}  // namespace

int MulDiv(int a, int b, int c) {
  if (c == 0) return -1;
  const int64_t product = static_cast<int64_t>(a) * b;
  const int64_t half = (c > 0 ? c : -c) / 2;
  const bool negative = (product < 0) != (c < 0);
  const int64_t magnitude = ((product < 0 ? -product : product) + half) / (c > 0 ? c : -c);
  return static_cast<int>(negative ? -magnitude : magnitude);
}

QFont DialogFont(const DialogTemplate& dialog) {
  const QStringList installed = QFontDatabase::families();
  QString family = QString::fromUtf8(dialog.font);
  if (!installed.contains(family)) {
    for (const char* candidate : kFallbackFamilies) {
      if (installed.contains(QString::fromUtf8(candidate))) {
        family = QString::fromUtf8(candidate);
        break;
      }
    }
  }
  QFont font(family);
  font.setPointSize(dialog.font_points);
  return font;
}

BaseUnits MeasureBaseUnits(const QFont& font) {
  const QFontMetrics metrics(font);
  const int width = metrics.horizontalAdvance(QString::fromLatin1(kAverageSample));
  return BaseUnits{(width / 26 + 1) / 2, metrics.height()};
}

int DluToPixelsX(const BaseUnits& base, int dlu) { return MulDiv(dlu, base.x, 4); }
int DluToPixelsY(const BaseUnits& base, int dlu) { return MulDiv(dlu, base.y, 8); }

QSize DluToPixels(const BaseUnits& base, int w, int h) {
  return QSize(DluToPixelsX(base, w), DluToPixelsY(base, h));
}

QRect DluToPixels(const BaseUnits& base, const ControlTemplate& control) {
  return QRect(DluToPixelsX(base, control.x), DluToPixelsY(base, control.y),
               DluToPixelsX(base, control.w), DluToPixelsY(base, control.h));
}

}  // namespace flashkit
