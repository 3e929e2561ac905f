#include "gui/downloader_dialog.h"

#include <QAbstractButton>
#include <QAction>
#include <QComboBox>
#include <QCoreApplication>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QMenuBar>
#include <QMetaObject>
#include <QMovie>
#include <QProgressBar>
#include <QThread>
#include <QTimer>
#include <algorithm>
#include <limits>

#include "gui/dialog_message_boxes.h"
#include "gui/dialog_progress_event.h"

namespace flashkit {
namespace {

QIcon IconResource(int32_t id) { return QIcon(QString::fromUtf8(ResourcePath(id))); }

// A limit past what the bar holds is cut to its most; no download's frame
// count comes near it.
int RangeLimit(uint32_t upper) {
  return static_cast<int>(std::min<uint32_t>(upper, std::numeric_limits<int>::max()));
}

}  // namespace

DownloaderDialog::DownloaderDialog(Services services, QWidget* parent)
    : QDialog(parent),
      services_(std::move(services)),
      own_boxes_(services_.boxes ? nullptr : std::make_unique<DialogMessageBoxes>(this)),
      m_Bootloader(std::make_unique<SerialPort>(services_.system, Boxes()), Boxes(),
                   services_.clock, services_.log_path),
      m_Usb(services_.system),
      m_Serial(services_.system, Boxes()),
      m_UsbDownload(std::make_unique<UsbFramedDownload>(m_Usb, *this, services_.clock)) {
  m_hIcon = IconResource(kProgramIconId);
  m_hDownloadIcon = IconResource(kDownloadIconId);
  m_hBinSelectIcon = IconResource(kBinSelectIconId);
  BuildWindow();
  ConnectHandlers();
  // Watching first: an adapter plugged in while the list is first read is
  // then reported, not missed.
  WatchPorts();
  OnInitDialog();
}

DownloaderDialog::~DownloaderDialog() {
  // The sender thread may still be talking to this window: end it first.
  m_UsbDownload.reset();
}

MessageBoxes& DownloaderDialog::Boxes() {
  return services_.boxes ? *services_.boxes : *own_boxes_;
}

void DownloaderDialog::BuildWindow() {
  const DialogTemplate& dialog = DownloaderTemplate();
  setWindowTitle(QString::fromUtf8(dialog.title));
  setFont(DialogFont(dialog));
  base_ = MeasureBaseUnits(font());

  // Qt on X11 has no way into the window manager's system menu, so the About
  // entry lives in a menu bar of its own above the template's client area.
  menu_ = new QMenuBar(this);
  about_action_ = menu_->addAction(QString::fromUtf8(kAboutEntryText));
  about_action_->setData(kAboutCommandId);
  const int menu_height = menu_->sizeHint().height();

  const QSize client_size = ClientSize(dialog, base_);
  client_ = new QWidget(this);
  client_->setFont(font());
  client_->setGeometry(0, menu_height, client_size.width(), client_size.height());
  menu_->setGeometry(0, 0, client_size.width(), menu_height);
  setFixedSize(client_size.width(), client_size.height() + menu_height);
  controls_ = BuildControls(dialog, client_, base_);

  m_Progress = static_cast<QProgressBar*>(Control(ctl::kProgress));
  m_SendAnim = static_cast<QLabel*>(Control(ctl::kSendAnimation));
  m_ConnectAnim = static_cast<QLabel*>(Control(ctl::kConnectAnimation));
  m_PortList = static_cast<QComboBox*>(Control(ctl::kPortList));
  m_BaudList = static_cast<QComboBox*>(Control(ctl::kBaudList));
  m_ConditionList = static_cast<QComboBox*>(Control(ctl::kConditionList));
}

void DownloaderDialog::ConnectHandlers() {
  connect(about_action_, &QAction::triggered, this,
          [this] { OnSysCommand(about_action_->data().toUInt()); });

  using Plain = void (DownloaderDialog::*)();
  const std::pair<int32_t, Plain> buttons[] = {
      {ctl::kDownload, &DownloaderDialog::OnDownload},
      {ctl::kBinSelect, &DownloaderDialog::OnBinSelect},
      {ctl::kFixedPath, &DownloaderDialog::OnFixedPath},
  };
  for (const auto& [id, handler] : buttons) {
    connect(static_cast<QAbstractButton*>(Control(id)), &QAbstractButton::clicked, this, handler);
  }

  using WithId = void (DownloaderDialog::*)(int32_t);
  const std::pair<int32_t, WithId> radios[] = {
      {ctl::kModemNone, &DownloaderDialog::OnModem},
      {ctl::kModemYmodem, &DownloaderDialog::OnModem},
      {ctl::kSerial, &DownloaderDialog::OnConnection},
      {ctl::kUsb, &DownloaderDialog::OnConnection},
  };
  for (const auto& [id, handler] : radios) {
    connect(static_cast<QAbstractButton*>(Control(id)), &QAbstractButton::clicked, this,
            [this, id = id, handler = handler] { (this->*handler)(id); });
  }

  using Pick = void (DownloaderDialog::*)(int);
  const std::pair<QComboBox*, Pick> lists[] = {
      {m_PortList, &DownloaderDialog::OnSelchangePort},
      {m_BaudList, &DownloaderDialog::OnSelchangeBaud},
      {m_ConditionList, &DownloaderDialog::OnSelchangeCondition},
  };
  for (const auto& [list, handler] : lists) {
    // Only a picked entry counts: Enter in the edit field goes to the dialog
    // instead of choosing the entry that matches the typed text.
    QLineEdit* edit = list->lineEdit();
    edit->installEventFilter(this);
    list->setInsertPolicy(QComboBox::NoInsert);
    // Leaving the field would pick the entry the typed text names; instead
    // the field shows the entry in use again.
    disconnect(edit, &QLineEdit::editingFinished, list, nullptr);
    connect(edit, &QLineEdit::editingFinished, list,
            [list = list] { list->lineEdit()->setText(list->itemText(list->currentIndex())); });
    connect(list, &QComboBox::activated, this, handler);
  }
}

bool DownloaderDialog::eventFilter(QObject* watched, QEvent* event) {
  if (event->type() == QEvent::KeyPress) {
    const int key = static_cast<QKeyEvent*>(event)->key();
    if (key == Qt::Key_Return || key == Qt::Key_Enter) {
      accept();
      return true;
    }
  }
  return QDialog::eventFilter(watched, event);
}

QWidget* DownloaderDialog::Control(int32_t id) const {
  auto found = std::find_if(controls_.begin(), controls_.end(),
                            [id](const BuiltControl& control) { return control.row->id == id; });
  return found == controls_.end() ? nullptr : found->widget;
}

bool DownloaderDialog::OnOwnThread() const { return QThread::currentThread() == thread(); }

void DownloaderDialog::OnDialogThread(std::function<void()> work) {
  if (OnOwnThread()) {
    work();
    return;
  }
  QMetaObject::invokeMethod(this, std::move(work), Qt::QueuedConnection);
}

void DownloaderDialog::SendProgress(uint32_t wparam, int32_t lparam) {
  if (OnOwnThread()) {
    ProgressEvent event(wparam, lparam);
    QCoreApplication::sendEvent(this, &event);
    return;
  }
  QCoreApplication::postEvent(this, new ProgressEvent(wparam, lparam));
}

bool DownloaderDialog::event(QEvent* event) {
  if (event->type() == ProgressEvent::kType) {
    auto* progress = static_cast<ProgressEvent*>(event);
    WindowProc(WM_DOWNLOAD_PROGRESS, progress->wparam(), progress->lparam());
  }
  return QDialog::event(event);
}

bool DownloaderDialog::WindowProc(uint32_t message, uint32_t wparam, int32_t lparam) {
  if (message != WM_DOWNLOAD_PROGRESS) return false;
  switch (lparam) {
    case kProgressStart:
      PlayMovie(ctl::kSendAnimation, true);
      SetProgressRange(wparam);
      break;
    case kProgressPosition:
      SetProgressPos(wparam);
      break;
    case kProgressEnd:
      PlayMovie(ctl::kConnectAnimation, false);
      PlayMovie(ctl::kSendAnimation, false);
      SetProgressPos(wparam);
      break;
    default:
      break;
  }
  DoDataExchange();
  // A bootloader download holds this thread: show the step now, not after it.
  m_Progress->repaint();
  return true;
}

void DownloaderDialog::PlayMovie(int32_t control_id, bool play) {
  QMovie* movie = static_cast<QLabel*>(Control(control_id))->movie();
  if (play) {
    movie->stop();
    movie->start();
  } else {
    movie->setPaused(false);
    movie->stop();
  }
}

void DownloaderDialog::PlayAnimation(int32_t control_id) {
  OnDialogThread([this, control_id] { PlayMovie(control_id, true); });
}

void DownloaderDialog::StopAnimation(int32_t control_id) {
  OnDialogThread([this, control_id] { PlayMovie(control_id, false); });
}

void DownloaderDialog::SetProgressRange(uint32_t upper) {
  OnDialogThread([this, upper] { m_Progress->setRange(0, RangeLimit(upper)); });
}

void DownloaderDialog::SetProgressPos(uint32_t position) {
  OnDialogThread([this, position] {
    // A position past either end shows as that end, as on a native bar.
    const int64_t clamped = std::clamp<int64_t>(position, m_Progress->minimum(),
                                                m_Progress->maximum());
    m_Progress->setValue(static_cast<int>(clamped));
  });
}

void DownloaderDialog::AppendInfo(const std::string& text) {
  OnDialogThread([this, text] {
    m_Info += text;
    DoDataExchange();
    Control(ctl::kInfo)->repaint();
  });
}

void DownloaderDialog::SetTimer(int32_t id, uint32_t period_ms) {
  OnDialogThread([this, id, period_ms] {
    QTimer*& timer = timers_[id];
    if (timer == nullptr) {
      timer = new QTimer(this);
      connect(timer, &QTimer::timeout, this, [this, id] { OnTimer(id); });
    }
    timer->start(static_cast<int>(period_ms));
  });
}

void DownloaderDialog::KillTimer(int32_t id) {
  OnDialogThread([this, id] {
    auto found = timers_.find(id);
    if (found != timers_.end()) found->second->stop();
  });
}

void DownloaderDialog::ShowMessage(const std::string& text) {
  OnDialogThread([this, text] { Boxes().Show(text); });
}

void DownloaderDialog::paintEvent(QPaintEvent* event) { OnPaint(event); }

void DownloaderDialog::OnPaint(QPaintEvent* event) { QDialog::paintEvent(event); }

void DownloaderDialog::keyPressEvent(QKeyEvent* event) {
  // Enter ends the dialog as OK would; Escape is QDialog's cancel.
  if (event->key() == Qt::Key_Return || event->key() == Qt::Key_Enter) {
    accept();
    return;
  }
  QDialog::keyPressEvent(event);
}

}  // namespace flashkit
