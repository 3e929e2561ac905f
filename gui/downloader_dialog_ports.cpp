// The Port list beyond the template's COM entries: the USB serial adapters
// plugged in, followed as they come and go.
#include <QAbstractItemView>
#include <QComboBox>
#include <QFontMetrics>
#include <QScrollBar>
#include <QSocketNotifier>
#include <algorithm>

#include "gui/downloader_dialog.h"

namespace flashkit {
namespace {

constexpr char kComWord[] = "COM";

size_t ComEntryCount() { return ListEntries(ctl::kPortList).size(); }

// An adapter needs an entry of its own when no COM entry of the list opens it.
bool NeedsEntry(const platform::SerialPortInfo& port) {
  return !port.com || *port.com > ComEntryCount();
}

}  // namespace

void DownloaderDialog::WatchPorts() {
  port_monitor_ = services_.open_port_monitor ? services_.open_port_monitor()
                                              : platform::OpenSerialPortMonitor();
  // Without udev's events the list still shows what was there at the start.
  if (!port_monitor_) return;
  port_notifier_ = new QSocketNotifier(port_monitor_->Fd(), QSocketNotifier::Read, this);
  connect(port_notifier_, &QSocketNotifier::activated, this, [this] {
    if (port_monitor_->TakeChanges()) RefreshPorts();
  });
}

void DownloaderDialog::RefreshPorts() {
  const std::vector<platform::SerialPortInfo> ports =
      services_.list_ports ? services_.list_ports() : platform::ListSerialPorts();
  std::vector<AdapterEntry> now;
  for (const platform::SerialPortInfo& port : ports) {
    if (NeedsEntry(port)) now.push_back({port.StablePath(), platform::PortLabel(port)});
  }
  if (now == adapters_) return;

  const bool adapter_chosen = m_PortText.starts_with('/');
  const auto chosen = std::find_if(now.begin(), now.end(),
                                   [this](const AdapterEntry& e) { return e.path == m_PortText; });
  const std::string gone = adapter_chosen && chosen == now.end() ? PortName() : std::string();
  const int chosen_at = static_cast<int>(chosen - now.begin());

  const int first = static_cast<int>(ComEntryCount());
  while (m_PortList->count() > first) m_PortList->removeItem(m_PortList->count() - 1);
  for (const AdapterEntry& entry : now) {
    m_PortList->addItem(QString::fromUtf8(entry.label.data(), static_cast<qsizetype>(entry.label.size())),
                        QString::fromStdString(entry.path));
  }
  adapters_ = std::move(now);
  FitPopup();

  if (!adapter_chosen) return;
  if (gone.empty()) {
    m_PortList->setCurrentIndex(first + chosen_at);
    return;
  }
  // The adapter was unplugged: back to the first COM port, and say so.
  m_PortList->setCurrentIndex(0);
  m_PortText = PortTextOf(0);
  const std::string note = gone + " was unplugged; the port is COM1 now.\n";
  if (m_UsbDownload->SenderRunning()) {
    m_Info += "\n" + note;
  } else {
    m_Info = SettingsText() + "\n\n" + note;
  }
  DoDataExchange();
}

// The list opens as wide as its longest entry, so a label is read whole
// though the field itself is narrow.
void DownloaderDialog::FitPopup() {
  QAbstractItemView* view = m_PortList->view();
  const QFontMetrics metrics(view->font());
  int widest = 0;
  for (int i = 0; i < m_PortList->count(); ++i) {
    widest = std::max(widest, metrics.horizontalAdvance(m_PortList->itemText(i)));
  }
  constexpr int kTextMargins = 16;
  view->setMinimumWidth(widest + kTextMargins + view->verticalScrollBar()->sizeHint().width() +
                        2 * view->frameWidth());
}

void DownloaderDialog::OnSelchangePort(int index) {
  if (!PickedEntry(m_PortList, index)) return;
  m_PortText = PortTextOf(index);
  ShowSettings(0);
}

std::string DownloaderDialog::PortTextOf(int index) const {
  const size_t com_entries = ComEntryCount();
  if (static_cast<size_t>(index) >= com_entries) {
    return adapters_[static_cast<size_t>(index) - com_entries].path;
  }
  std::string digits = PickedEntry(m_PortList, index).value_or("");
  for (size_t at = digits.find(kComWord); at != std::string::npos; at = digits.find(kComWord)) {
    digits.erase(at, 3);
  }
  return digits;
}

std::string DownloaderDialog::PortName() const {
  if (!m_PortText.starts_with('/')) return kComWord + m_PortText;
  const auto found = std::find_if(adapters_.begin(), adapters_.end(),
                                  [this](const AdapterEntry& e) { return e.path == m_PortText; });
  return found == adapters_.end() ? m_PortText : found->label;
}

}  // namespace flashkit
