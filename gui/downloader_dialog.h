#pragma once

#include <QDialog>
#include <QIcon>
#include <QString>
#include <cstdint>
#include <functional>
#include <map>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "gui/console_launch.h"
#include "gui/console_outcome.h"
#include "gui/dialog_builder.h"
#include "gui/dialog_units.h"
#include "engines/download_progress.h"
#include "gui/links/message_boxes.h"
#include "gui/links/serial_port.h"
#include "gui/links/usb_link.h"
#include "engines/mcu_bootloader.h"
#include "engines/usb_download.h"
#include "engines/usb_download_view.h"
#include "platform/clock.h"
#include "platform/device_system.h"
#include "platform/serial_ports.h"

class QAction;
class QComboBox;
class QLabel;
class QMenuBar;
class QProgressBar;
class QSocketNotifier;
class QTimer;

namespace flashkit {

// The main window of flashpanel: the user picks a file, a connection class,
// port, baud, modem and condition, and starts one of the three downloads.
// Every handler runs on the dialog's thread; the USB sender thread reaches the
// dialog through UsbDownloadView, whose calls are carried out here in order.
class DownloaderDialog : public QDialog, public ProgressWindow, public UsbDownloadView {
  Q_OBJECT

 public:
  // The full path of the file the user chose; empty when cancelled.
  using FileChooser = std::function<QString(QWidget* parent)>;

  struct Services {
    Services(platform::DeviceSystem& system_in, platform::Clock& clock_in)
        : system(system_in), clock(clock_in) {}
    platform::DeviceSystem& system;
    platform::Clock& clock;
    MessageBoxes* boxes = nullptr;       // null: QMessageBox on this dialog
    FileChooser choose_file;             // empty: the open-file dialog
    std::optional<ProgramSearch> program_search;  // empty: the running program's
    std::string log_path = "log.txt";    // the bootloader's log
    // The serial ports present; empty: the machine's, through udev.
    std::function<std::vector<platform::SerialPortInfo>()> list_ports;
    // Tells when ports come and go; empty: the machine's udev monitor.
    std::function<std::unique_ptr<platform::SerialPortMonitor>()> open_port_monitor;
  };

  explicit DownloaderDialog(Services services, QWidget* parent = nullptr);
  ~DownloaderDialog() override;
  DownloaderDialog(const DownloaderDialog&) = delete;
  DownloaderDialog& operator=(const DownloaderDialog&) = delete;

  // Handlers, public so that tests and callers can drive the dialog as a user
  // would without the windowing system.
  bool OnInitDialog();
  void OnSysCommand(uint32_t id);
  // Painting, the minimised window's icon included, is the platform's own.
  void OnPaint(QPaintEvent* event);
  QIcon OnQueryDragIcon() const;
  void OnTimer(int32_t id);
  void OnDownload();
  void OnSelchangePort(int index);
  void OnSelchangeBaud(int index);
  void OnSelchangeCondition(int index);
  void OnBinSelect();
  // The confirmed end of OnBinSelect: `path` becomes the chosen file.
  void SelectFile(const QString& path);
  void OnModem(int32_t id);
  void OnConnection(int32_t id);
  void OnFixedPath();
  // Reads the serial ports present again and lists, after COM1 to COM15,
  // each adapter that no COM number opens. The port chosen stays chosen
  // while it is there; when it goes, COM1 is.
  void RefreshPorts();

  void CheckButton(int32_t id, bool on);
  void EnableControl(int32_t id, bool on);
  // Towards the controls (save false) pushes m_Info into control 1010;
  // save true reads it back.
  void DoDataExchange(bool save = false);

  // ProgressWindow and UsbDownloadView. SendProgress is synchronous on the
  // dialog's thread and queued from any other.
  void SendProgress(uint32_t wparam, int32_t lparam) override;
  void ShowSettings(int32_t done) override;
  void ShowOutcome(const std::string& text) override;
  void PlayAnimation(int32_t control_id) override;
  void StopAnimation(int32_t control_id) override;
  void SetProgressRange(uint32_t upper) override;
  void SetProgressPos(uint32_t position) override;
  void AppendInfo(const std::string& text) override;
  void SetTimer(int32_t id, uint32_t period_ms) override;
  void KillTimer(int32_t id) override;
  void ShowMessage(const std::string& text) override;

  QWidget* Control(int32_t id) const;
  const std::vector<BuiltControl>& Controls() const { return controls_; }
  QAction* AboutAction() const { return about_action_; }
  QWidget* ClientArea() const { return client_; }
  const BaseUnits& base_units() const { return base_; }
  UsbFramedDownload& usb_download() { return *m_UsbDownload; }

  // Controls bound by DoDataExchange.
  QProgressBar* m_Progress = nullptr;
  QLabel* m_SendAnim = nullptr;
  QLabel* m_ConnectAnim = nullptr;
  QComboBox* m_PortList = nullptr;
  QComboBox* m_BaudList = nullptr;
  QComboBox* m_ConditionList = nullptr;

  // The settings; read by the downloads.
  std::string m_Info;
  QIcon m_hIcon;
  std::string m_FileName;
  std::string m_PortText = "1";
  std::string m_BaudText = "115200";
  std::string m_Condition = "RUN";
  std::string m_ModemSwitch = "-sy";
  std::string m_ModemName = "YModem";
  std::string m_FilePath;
  std::string m_CommandLine;
  int32_t m_UsbMode = 0;
  int32_t m_PathSelectable = 1;
  QIcon m_hDownloadIcon;
  QIcon m_hBinSelectIcon;

 protected:
  bool event(QEvent* event) override;
  void paintEvent(QPaintEvent* event) override;
  void keyPressEvent(QKeyEvent* event) override;
  bool eventFilter(QObject* watched, QEvent* event) override;

 private:
  // WM_DOWNLOAD_PROGRESS; true when handled.
  bool WindowProc(uint32_t message, uint32_t wparam, int32_t lparam);
  void BuildWindow();
  void ConnectHandlers();
  // Runs `work` on the dialog's thread: at once when already there, else
  // queued behind earlier calls, never waiting for it.
  void OnDialogThread(std::function<void()> work);
  bool OnOwnThread() const;
  void PlayMovie(int32_t control_id, bool play);
  // Starts linkxfer for a SERIAL + Ymodem download; the text follows it to
  // its end.
  void RunConsoleDownload();
  // Reports how the run for the file at `path` ended, when it ends: each
  // console for its own file, in the order they end.
  void ShowConsoleEnd(const std::string& path, const ConsoleEnd& end);
  void WatchPorts();
  void FitPopup();
  // What names the port of entry `index`: the digits of "COM3", or an
  // adapter's path.
  std::string PortTextOf(int index) const;
  // The chosen port as the user knows it: "COM3", or an adapter's label.
  std::string PortName() const;
  // The settings text (ShowSettings with 0) without pushing it.
  std::string SettingsText() const;
  // The switch and name of the modem button `id`.
  void SelectModem(int32_t id);
  // Picked entry `index` of `list`, or nothing for an index of no entry.
  static std::optional<std::string> PickedEntry(const QComboBox* list, int index);

  MessageBoxes& Boxes();

  Services services_;
  std::unique_ptr<MessageBoxes> own_boxes_;
  BaseUnits base_;
  QMenuBar* menu_ = nullptr;
  QAction* about_action_ = nullptr;
  QWidget* client_ = nullptr;
  std::vector<BuiltControl> controls_;
  std::map<int32_t, QTimer*> timers_;

  // An adapter listed after the template's COM entries.
  struct AdapterEntry {
    std::string path;  // what opens it: its by-id link, else its node
    std::string label;
    bool operator==(const AdapterEntry&) const = default;
  };
  std::vector<AdapterEntry> adapters_;
  std::unique_ptr<platform::SerialPortMonitor> port_monitor_;
  QSocketNotifier* port_notifier_ = nullptr;

 public:
  McuBootloader m_Bootloader;
  UsbLink m_Usb;
  SerialPort m_Serial;  // held, never opened

 private:
  std::unique_ptr<UsbFramedDownload> m_UsbDownload;
};

}  // namespace flashkit
