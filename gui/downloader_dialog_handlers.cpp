#include <QAbstractButton>
#include <QComboBox>
#include <QDir>
#include <QFile>
#include <QFileDialog>
#include <QFileInfo>
#include <QLabel>

#include "gui/about_dialog.h"
#include "gui/console_outcome.h"
#include "gui/console_tool.h"
#include "gui/console_window.h"
#include "gui/downloader_dialog.h"

namespace flashkit {
namespace {

constexpr char kCheckSettings[] = "설정을 확인하세요.\n\n";
constexpr char kSerialSettings[] = "* Port : ";
constexpr char kBaudLine[] = "\n* Baud : ";
constexpr char kModemLine[] = "\n* Modem : ";
constexpr char kUsbSettings[] = "USB ";
constexpr char kDownloading[] = "다운로드 중입니다..\n\n";
constexpr char kDownloadEnded[] = "다운로드가 종료 되었습니다..\n\n";
constexpr char kPathGap[] = "\n\n";
constexpr char kInConsole[] = "The download is running in linkxfer's console window.\n";
constexpr char kNotStarted[] = "linkxfer could not be started: nothing was sent.\n";

constexpr char kUsbBusy[] =
    "The previous USB download is still sending its image; wait until it has finished "
    "before starting another download.";

// The controls a download leaves alone for its duration: what it is sent
// through must not change under it.
constexpr int32_t kLineControls[] = {ctl::kPortList, ctl::kBaudList, ctl::kModemNone,
                                     ctl::kModemYmodem};

struct ModemRow {
  int32_t id;
  const char* modem_switch;
  const char* name;
};
constexpr ModemRow kModems[] = {
    {ctl::kModemNone, "-s0", "Serial"},
    {ctl::kModemYmodem, "-sy", "YModem"},
};

constexpr char kSerialMode[] = "Serial";
constexpr char kConsoleMode[] = "YModem";

std::string Utf8(const QString& text) { return text.toUtf8().toStdString(); }

}  // namespace

bool DownloaderDialog::OnInitDialog() {
  setWindowIcon(m_hIcon);
  static_cast<QAbstractButton*>(Control(ctl::kDownload))->setIcon(m_hDownloadIcon);
  static_cast<QAbstractButton*>(Control(ctl::kBinSelect))->setIcon(m_hBinSelectIcon);

  m_PortList->setCurrentIndex(0);
  m_BaudList->setCurrentIndex(3);
  m_ConditionList->setCurrentIndex(0);

  m_Condition = "RUN";
  m_BaudText = "115200";
  m_PortText = PortTextOf(0);
  SelectModem(ctl::kModemYmodem);
  RefreshPorts();
  m_PathSelectable = 1;
  m_UsbMode = 0;

  CheckButton(ctl::kModemYmodem, true);
  CheckButton(ctl::kSerial, true);
  EnableControl(ctl::kFixedPath, false);
  EnableControl(ctl::kDownload, false);

  ShowSettings(0);
  m_Bootloader.SetOwnerWindow(this);
  return true;
}

void DownloaderDialog::OnSysCommand(uint32_t id) {
  if ((id & 0xFFF0u) == kAboutCommandId) {
    AboutDialog about(this);
    about.exec();
  }
  // Other commands belong to the window manager.
}

QIcon DownloaderDialog::OnQueryDragIcon() const { return m_hIcon; }

void DownloaderDialog::OnTimer(int32_t id) { m_UsbDownload->OnTimer(id); }

std::optional<std::string> DownloaderDialog::PickedEntry(const QComboBox* list, int index) {
  if (index < 0 || index >= list->count()) return std::nullopt;
  return Utf8(list->itemText(index));
}

void DownloaderDialog::OnSelchangeBaud(int index) {
  std::optional<std::string> entry = PickedEntry(m_BaudList, index);
  if (!entry) return;
  m_BaudText = *entry;
  ShowSettings(0);
}

void DownloaderDialog::OnSelchangeCondition(int index) {
  std::optional<std::string> entry = PickedEntry(m_ConditionList, index);
  if (!entry) return;
  m_Condition = *entry;
  ShowSettings(0);
}

void DownloaderDialog::SelectModem(int32_t id) {
  for (const ModemRow& row : kModems) {
    if (row.id != id) continue;
    m_ModemSwitch = row.modem_switch;
    m_ModemName = row.name;
  }
}

void DownloaderDialog::OnModem(int32_t id) {
  SelectModem(id);
  ShowSettings(0);
}

void DownloaderDialog::OnConnection(int32_t id) {
  if (id != ctl::kSerial && id != ctl::kUsb) return;
  m_UsbMode = id == ctl::kUsb ? 1 : 0;
  for (int32_t control : kLineControls) EnableControl(control, m_UsbMode == 0);
  ShowSettings(0);
}

void DownloaderDialog::OnFixedPath() {
  if (m_PathSelectable == 1) {
    m_PathSelectable = 0;
    EnableControl(ctl::kBinSelect, false);
    EnableControl(ctl::kDownload, true);
  } else {
    m_PathSelectable = 1;
    EnableControl(ctl::kBinSelect, true);
  }
}

void DownloaderDialog::OnBinSelect() {
  QString path;
  if (services_.choose_file) {
    path = services_.choose_file(this);
  } else {
    path = QFileDialog::getOpenFileName(this, QString(), QStringLiteral("*.*"),
                                        QStringLiteral("All Files(*.*);;BIN Files(*.bin)"));
  }
  if (path.isEmpty()) return;
  SelectFile(path);
}

void DownloaderDialog::SelectFile(const QString& path) {
  const QFileInfo file(path);
  // The downloads open the file by its bare name.
  QDir::setCurrent(file.absolutePath());
  m_FileName = QFile::encodeName(file.fileName()).toStdString();
  m_FilePath = Utf8(QDir::toNativeSeparators(file.absoluteFilePath()));
  EnableControl(ctl::kDownload, true);
  EnableControl(ctl::kFixedPath, true);
  DoDataExchange();
}

void DownloaderDialog::OnDownload() {
  if (m_UsbDownload->SenderRunning()) {
    Boxes().Show(kUsbBusy);
    return;
  }
  for (int32_t control : kLineControls) EnableControl(control, false);
  EnableControl(ctl::kBinSelect, false);
  m_Info = m_FilePath + kPathGap + kDownloading;
  DoDataExchange();

  if (m_UsbMode == 1) {
    m_UsbDownload->UsbDownload(m_FileName, m_Condition);
  } else {
    std::string cause;
    if (m_ModemName == kSerialMode) {
      if (m_Bootloader.Download(m_FileName, m_PortText, m_BaudText) != 1) {
        cause = m_Bootloader.FailureText();
      }
    } else if (m_ModemName == kConsoleMode) {
      // Sets the text itself: linkxfer has not ended yet.
      RunConsoleDownload();
    }
    for (int32_t control : kLineControls) EnableControl(control, true);
    if (m_ModemName != kConsoleMode) {
      ShowSettings(1);
      // "Fail" alone does not say what to do about it.
      if (!cause.empty()) m_Info += cause + "\n";
    }
  }

  if (m_PathSelectable == 0) {
    EnableControl(ctl::kBinSelect, false);
    EnableControl(ctl::kDownload, true);
  } else {
    EnableControl(ctl::kBinSelect, true);
  }
  DoDataExchange();
}

void DownloaderDialog::RunConsoleDownload() {
  m_CommandLine.clear();
  m_CommandLine = BuildCommandLine(m_FileName, m_ModemSwitch, m_PortText, m_BaudText);
  const ProgramSearch search =
      services_.program_search ? *services_.program_search : CurrentProgramSearch();
  const std::string path = m_FilePath;
  ConsoleWindow* console = RunConsoleTool(m_CommandLine, search, Boxes());
  if (console == nullptr) {
    m_Info = path + kPathGap + kNotStarted;
    return;
  }
  // linkxfer runs on after this returns; its console tells when it ended.
  m_Info = path + kPathGap + kDownloading + kInConsole;
  connect(console, &ConsoleWindow::Ended, this, [this, console, path] { ShowConsoleEnd(path, console->End()); });
  if (console->HasEnded()) ShowConsoleEnd(path, console->End());
}

void DownloaderDialog::ShowConsoleEnd(const std::string& path, const ConsoleEnd& end) {
  const std::string failure = ConsoleOutcomeText(end);
  m_Info = path + kPathGap + (failure.empty() ? std::string(kDownloadEnded) : failure + "\n");
  DoDataExchange();
}

void DownloaderDialog::ShowSettings(int32_t done) {
  if (!OnOwnThread()) {
    OnDialogThread([this, done] { ShowSettings(done); });
    return;
  }
  m_Info = done != 0 ? m_FilePath + kPathGap + kDownloadEnded : SettingsText();
  DoDataExchange();
}

void DownloaderDialog::ShowOutcome(const std::string& text) {
  OnDialogThread([this, text] {
    m_Info = m_FilePath + kPathGap + text + "\n";
    DoDataExchange();
  });
}

std::string DownloaderDialog::SettingsText() const {
  std::string text = m_FilePath + kPathGap + kCheckSettings;
  if (m_UsbMode == 1) return text + kUsbSettings;
  return text + kSerialSettings + PortName() + kBaudLine + m_BaudText + kModemLine + m_ModemName;
}

void DownloaderDialog::CheckButton(int32_t id, bool on) {
  static_cast<QAbstractButton*>(Control(id))->setChecked(on);
}

void DownloaderDialog::EnableControl(int32_t id, bool on) { Control(id)->setEnabled(on); }

void DownloaderDialog::DoDataExchange(bool save) {
  auto* info = static_cast<QLabel*>(Control(ctl::kInfo));
  if (save) {
    m_Info = Utf8(info->text());
  } else {
    info->setText(QString::fromUtf8(m_Info.data(), static_cast<qsizetype>(m_Info.size())));
  }
}

}  // namespace flashkit
