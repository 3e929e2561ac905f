#include "gui/dialog_builder.h"

#include <QButtonGroup>
#include <QCheckBox>
#include <QComboBox>
#include <QGroupBox>
#include <QIcon>
#include <QLabel>
#include <QMovie>
#include <QPixmap>
#include <QProgressBar>
#include <QPushButton>
#include <QRadioButton>
#include <algorithm>

namespace flashkit {
namespace {

// Windows shows icons at the system icon size.
constexpr int kIconPixels = 32;

QString Caption(const ControlTemplate& row) { return QString::fromUtf8(row.caption); }
QString Resource(const ControlTemplate& row) { return QString::fromUtf8(ResourcePath(row.resource)); }

QWidget* MakePushButton(const ControlTemplate& row, QWidget* parent) {
  auto* button = new QPushButton(Caption(row), parent);
  button->setAutoDefault(false);
  button->setDefault((row.style & kDefault) != 0);
  return button;
}

QWidget* MakeIconButton(const ControlTemplate& row, QWidget* parent) {
  // The face is the icon alone; the caption stays for assistive tools.
  auto* button = new QPushButton(parent);
  button->setAutoDefault(false);
  button->setIcon(QIcon(Resource(row)));
  button->setIconSize(QSize(kIconPixels, kIconPixels));
  button->setAccessibleName(Caption(row));
  return button;
}

QWidget* MakeDropList(const ControlTemplate& row, QWidget* parent) {
  auto* list = new QComboBox(parent);
  list->setEditable(true);
  // Typed text never becomes an entry.
  list->setInsertPolicy(QComboBox::NoInsert);
  for (const char* entry : ListEntries(row.id)) list->addItem(QString::fromUtf8(entry));
  return list;
}

QWidget* MakeLabel(const ControlTemplate& row, QWidget* parent) {
  auto* label = new QLabel(Caption(row), parent);
  label->setWordWrap(true);
  label->setAlignment(Qt::AlignLeft | Qt::AlignTop);
  label->setTextFormat(Qt::PlainText);
  if (row.style & kSunken) label->setFrameStyle(QFrame::Panel | QFrame::Sunken);
  return label;
}

QWidget* MakeGroupBox(const ControlTemplate& row, QWidget* parent) {
  return new QGroupBox(Caption(row), parent);
}

QWidget* MakeRadioButton(const ControlTemplate& row, QWidget* parent) {
  return new QRadioButton(Caption(row), parent);
}

QWidget* MakeCheckBox(const ControlTemplate& row, QWidget* parent) {
  return new QCheckBox(Caption(row), parent);
}

QWidget* MakePicture(const ControlTemplate& row, QWidget* parent) {
  auto* picture = new QLabel(parent);
  picture->setPixmap(QPixmap(Resource(row)));
  picture->setScaledContents(true);
  return picture;
}

QWidget* MakeIcon(const ControlTemplate& row, QWidget* parent) {
  auto* icon = new QLabel(parent);
  icon->setPixmap(QIcon(Resource(row)).pixmap(kIconPixels, kIconPixels));
  return icon;
}

QWidget* MakeAnimation(const ControlTemplate& row, QWidget* parent) {
  auto* screen = new QLabel(parent);
  screen->setAccessibleName(Caption(row));
  screen->setScaledContents(true);
  if (row.style & kBordered) screen->setFrameStyle(QFrame::Box | QFrame::Plain);
  auto* movie = new QMovie(Resource(row), QByteArray(), screen);
  screen->setMovie(movie);
  // Loaded, not played: the first frame shows.
  movie->jumpToFrame(0);
  return screen;
}

QWidget* MakeProgressBar(const ControlTemplate& row, QWidget* parent) {
  auto* bar = new QProgressBar(parent);
  bar->setAccessibleName(Caption(row));
  bar->setTextVisible(false);
  bar->setRange(0, 100);  // a new progress bar's range
  bar->setValue(0);
  return bar;
}

struct KindRow {
  ControlKind kind;
  QWidget* (*make)(const ControlTemplate&, QWidget*);
  bool takes_focus;
  bool beneath;  // drawn under the controls it frames or decorates
};

constexpr KindRow kKinds[] = {
    {ControlKind::kPushButton, MakePushButton, true, false},
    {ControlKind::kIconButton, MakeIconButton, true, false},
    {ControlKind::kDropList, MakeDropList, true, false},
    {ControlKind::kLabel, MakeLabel, false, false},
    {ControlKind::kGroupBox, MakeGroupBox, false, true},
    {ControlKind::kRadioButton, MakeRadioButton, true, false},
    {ControlKind::kCheckBox, MakeCheckBox, true, false},
    {ControlKind::kPicture, MakePicture, false, true},
    {ControlKind::kIcon, MakeIcon, false, false},
    {ControlKind::kAnimation, MakeAnimation, false, false},
    {ControlKind::kProgressBar, MakeProgressBar, false, false},
};

const KindRow& KindOf(ControlKind kind) {
  return *std::find_if(std::begin(kKinds), std::end(kKinds),
                       [kind](const KindRow& row) { return row.kind == kind; });
}

QRect Placement(const ControlTemplate& row, const BaseUnits& base, QWidget* widget) {
  QRect rect = DluToPixels(base, row);
  if (row.kind == ControlKind::kIcon) rect.setSize(QSize(kIconPixels, kIconPixels));
  if (row.kind == ControlKind::kDropList) {
    // The template height is the dropped-down list's; the closed box is one line.
    auto* list = static_cast<QComboBox*>(widget);
    const int line = list->sizeHint().height();
    list->setMaxVisibleItems(std::max(1, rect.height() / line - 1));
    rect.setHeight(line);
  }
  if (row.kind == ControlKind::kLabel && (row.style & kSunken) == 0) {
    // A caption in a wider font than the template was drawn for keeps its
    // last letters instead of losing them at the edge.
    const auto* label = static_cast<QLabel*>(widget);
    const int text_width = label->fontMetrics().horizontalAdvance(label->text()) + 1;
    rect.setWidth(std::max(rect.width(), text_width));
  }
  return rect;
}

}  // namespace

std::vector<BuiltControl> BuildControls(const DialogTemplate& dialog, QWidget* client,
                                        const BaseUnits& base) {
  std::vector<BuiltControl> built;
  QButtonGroup* radios = nullptr;
  QWidget* previous_focus = nullptr;
  for (const ControlTemplate& row : dialog.controls) {
    const KindRow& kind = KindOf(row.kind);
    QWidget* widget = kind.make(row, client);
    widget->setFont(client->font());
    widget->setGeometry(Placement(row, base, widget));
    if (row.id != kNoId) widget->setObjectName(QStringLiteral("control%1").arg(row.id));
    if (row.style & kHidden) widget->setHidden(true);

    if (row.style & kStartsGroup) radios = nullptr;
    if (row.kind == ControlKind::kRadioButton) {
      if (radios == nullptr) radios = new QButtonGroup(client);
      radios->addButton(static_cast<QRadioButton*>(widget), row.id);
    }

    const bool tab = (row.style & kTabStop) != 0;
    if (tab || kind.takes_focus) {
      widget->setFocusPolicy(tab ? Qt::StrongFocus : Qt::ClickFocus);
      if (previous_focus != nullptr) QWidget::setTabOrder(previous_focus, widget);
      previous_focus = widget;
    } else {
      widget->setFocusPolicy(Qt::NoFocus);
    }
    built.push_back({&row, widget});
  }
  for (const BuiltControl& control : built) {
    if (KindOf(control.row->kind).beneath) control.widget->lower();
  }
  return built;
}

QSize ClientSize(const DialogTemplate& dialog, const BaseUnits& base) {
  return DluToPixels(base, dialog.w, dialog.h);
}

}  // namespace flashkit
