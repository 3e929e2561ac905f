#include "gui/dialog_template.h"

#include <QtGlobal>
#include <iterator>

// The resources are compiled into a static library, where nothing else would
// pull them into the program.
static void RegisterResources() { Q_INIT_RESOURCE(flashpanel); }

namespace flashkit {
namespace {

using K = ControlKind;
constexpr uint32_t kTab = kTabStop;
constexpr uint32_t kGroup = kStartsGroup;

// Template 102, in template order.
constexpr ControlTemplate kDownloaderControls[] = {
    {ctl::kDownload, K::kIconButton, "download", 203, 48, 46, 33, kTab, kDownloadIconId},
    {ctl::kPortList, K::kDropList, "", 44, 39, 48, 141, kVScroll | kTab, 0},
    {ctl::kBaudList, K::kDropList, "", 44, 61, 48, 107, kVScroll | kTab, 0},
    {kNoId, K::kLabel, "Port : ", 16, 43, 26, 8, kNoStyle, 0},
    {kNoId, K::kLabel, "Baud : ", 16, 63, 24, 8, kNoStyle, 0},
    {kNoId, K::kGroupBox, "Communication", 10, 28, 88, 55, kNoStyle, 0},
    {ctl::kModemGroup, K::kGroupBox, "Modem", 100, 27, 52, 55, kGroup, 0},
    {ctl::kModemNone, K::kRadioButton, "None", 105, 43, 33, 10, kGroup, 0},
    {ctl::kModemYmodem, K::kRadioButton, "Ymodem", 105, 61, 45, 10, kNoStyle, 0},
    {ctl::kBinSelect, K::kIconButton, "Bin Select", 156, 48, 46, 33, kTab, kBinSelectIconId},
    {kNoId, K::kLabel, "Information", 13, 233, 36, 8, kNoStyle, 0},
    {ctl::kInfo, K::kLabel, "", 12, 248, 240, 73, kSunken | kGroup, 0},
    {ctl::kFixedPath, K::kCheckBox, "경로고정", 157, 16, 85, 18, kHidden | kTab, 0},
    {kNoId, K::kGroupBox, "DOWNLOAD", 7, 7, 252, 321, kNoStyle, 0},
    {kNoId, K::kGroupBox, "Connection Class", 11, 90, 110, 58, kGroup, 0},
    {ctl::kSerial, K::kRadioButton, "SERIAL", 20, 106, 40, 10, kGroup, 0},
    {ctl::kUsb, K::kRadioButton, "USB", 78, 106, 30, 10, kNoStyle, 0},
    {kNoId, K::kPicture, "", 125, 86, 127, 75, kNoStyle, kDecorationBitmapId},
    {kNoId, K::kLabel, "Bin Select", 161, 37, 34, 8, kNoStyle, 0},
    {kNoId, K::kLabel, "Download", 209, 37, 33, 8, kNoStyle, 0},
    {kNoId, K::kGroupBox, "Device State", 12, 164, 240, 60, kNoStyle, 0},
    {kNoId, K::kLabel, "Connect state :", 153, 185, 50, 8, kNoStyle, 0},
    {kNoId, K::kLabel, "Send state : ", 153, 205, 42, 8, kNoStyle, 0},
    {ctl::kConnectAnimation, K::kAnimation, "Animate1", 204, 177, 20, 20, kBordered | kTab,
     kConnectAnimationResId},
    {ctl::kSendAnimation, K::kAnimation, "Animate2", 205, 203, 20, 20, kBordered | kTab,
     kSendAnimationResId},
    {ctl::kProgress, K::kProgressBar, "Progress1", 17, 197, 126, 14, kSmooth, 0},
    {kNoId, K::kLabel, "Send data rate", 17, 186, 48, 8, kNoStyle, 0},
    {ctl::kConditionList, K::kDropList, "", 67, 126, 48, 107, kVScroll | kTab, 0},
    {ctl::kConditionLabel, K::kLabel, "CONDITION : ", 15, 129, 46, 8, kNoStyle, 0},
};

// Template 100.
constexpr ControlTemplate kAboutControls[] = {
    {kNoId, K::kIcon, "", 11, 17, 0, 0, kNoStyle, kProgramIconId},  // sized by its icon
    {kNoId, K::kLabel, "flashpanel 버전 1.0", 40, 10, 119, 8, kNoStyle, 0},
    {ctl::kOk, K::kPushButton, "확인", 178, 7, 50, 14, kDefault | kTab | kGroup, 0},
};

constexpr const char* kDialogFont = "굴림";

const DialogTemplate kDownloader{kDownloaderTemplateId, "Downloader (Ver 4.5)", 266, 335,
                                 kDialogFont, 9, kDownloaderControls};
const DialogTemplate kAbout{kAboutTemplateId, "flashpanel 정보", 235, 55, kDialogFont, 9,
                            kAboutControls};

constexpr const char* kPorts[] = {"COM1", "COM2",  "COM3",  "COM4",  "COM5",
                                  "COM6", "COM7",  "COM8",  "COM9",  "COM10",
                                  "COM11", "COM12", "COM13", "COM14", "COM15"};
constexpr const char* kBauds[] = {"9600", "19200", "38400", "57600", "115200"};
constexpr const char* kConditions[] = {"RUN", "FINISH"};

struct ListRow {
  int32_t id;
  std::span<const char* const> entries;
};
constexpr ListRow kLists[] = {
    {ctl::kPortList, kPorts},
    {ctl::kBaudList, kBauds},
    {ctl::kConditionList, kConditions},
};

struct ResourceRow {
  int32_t id;
  const char* path;
};
constexpr ResourceRow kResources[] = {
    {kProgramIconId, ":/flashpanel/icon128_app.png"},
    {kDecorationBitmapId, ":/flashpanel/bitmap134_decoration.png"},
    {kBinSelectIconId, ":/flashpanel/icon136_bin_select.png"},
    {kDownloadIconId, ":/flashpanel/icon137_download.png"},
    {kConnectAnimationResId, ":/flashpanel/anim138_connect.gif"},
    {kSendAnimationResId, ":/flashpanel/anim139_send.gif"},
};

}  // namespace

const DialogTemplate& DownloaderTemplate() { return kDownloader; }
const DialogTemplate& AboutTemplate() { return kAbout; }

std::span<const char* const> ListEntries(int32_t control_id) {
  for (const ListRow& row : kLists) {
    if (row.id == control_id) return row.entries;
  }
  return {};
}

const char* ResourcePath(int32_t resource_id) {
  static const bool registered = (RegisterResources(), true);
  (void)registered;
  for (const ResourceRow& row : kResources) {
    if (row.id == resource_id) return row.path;
  }
  return nullptr;
}

const ControlTemplate* FindControl(const DialogTemplate& dialog, int32_t id) {
  for (const ControlTemplate& row : dialog.controls) {
    if (row.id == id) return &row;
  }
  return nullptr;
}

}  // namespace flashkit
