#pragma once

#include <cstdint>
#include <span>

namespace flashkit {

// What a template control becomes on screen.
enum class ControlKind {
  kPushButton,     // default push button when it carries kDefault
  kIconButton,     // push button showing an icon instead of its caption
  kDropList,       // editable drop-down list
  kLabel,
  kGroupBox,
  kRadioButton,    // auto radio button
  kCheckBox,       // auto check box
  kPicture,        // a bitmap
  kIcon,           // an icon
  kAnimation,
  kProgressBar,
};

// Window styles of a template control, as flags.
enum ControlStyle : uint32_t {
  kNoStyle = 0,
  kTabStop = 1u << 0,
  kStartsGroup = 1u << 1,
  kHidden = 1u << 2,   // created without the visible style
  kSunken = 1u << 3,
  kBordered = 1u << 4,
  kSmooth = 1u << 5,
  kVScroll = 1u << 6,
  kDefault = 1u << 7,  // the default push button
};

inline constexpr int32_t kNoId = -1;

// One control of a dialog template. Geometry in dialog units.
struct ControlTemplate {
  int32_t id;
  ControlKind kind;
  const char* caption;  // UTF-8
  int x, y, w, h;
  uint32_t style;
  int32_t resource;     // icon, bitmap or animation shown; 0 for none
};

struct DialogTemplate {
  int32_t id;
  const char* title;  // UTF-8
  int w, h;           // client size in dialog units
  const char* font;
  int font_points;
  std::span<const ControlTemplate> controls;  // template order = tab order
};

// Resource ids.
inline constexpr int32_t kAboutTemplateId = 100;
inline constexpr int32_t kAboutEntryTextId = 101;
inline constexpr int32_t kDownloaderTemplateId = 102;
inline constexpr int32_t kProgramIconId = 128;
inline constexpr int32_t kDecorationBitmapId = 134;
inline constexpr int32_t kBinSelectIconId = 136;
inline constexpr int32_t kDownloadIconId = 137;
inline constexpr int32_t kConnectAnimationResId = 138;
inline constexpr int32_t kSendAnimationResId = 139;

// Control ids of the downloader dialog.
namespace ctl {
inline constexpr int32_t kOk = 1;
inline constexpr int32_t kDownload = 1000;
inline constexpr int32_t kPortList = 1002;
inline constexpr int32_t kBaudList = 1003;
inline constexpr int32_t kConditionList = 1004;
inline constexpr int32_t kModemNone = 1006;
inline constexpr int32_t kModemYmodem = 1007;
inline constexpr int32_t kModemGroup = 1008;
inline constexpr int32_t kBinSelect = 1009;
inline constexpr int32_t kInfo = 1010;
inline constexpr int32_t kFixedPath = 1011;
inline constexpr int32_t kProgress = 1016;
inline constexpr int32_t kSerial = 1022;
inline constexpr int32_t kUsb = 1023;
inline constexpr int32_t kConnectAnimation = 1025;
inline constexpr int32_t kSendAnimation = 1026;
inline constexpr int32_t kConditionLabel = 1027;
}  // namespace ctl

// The About entry of the system menu: its command id and text (string 101).
inline constexpr uint32_t kAboutCommandId = 16;
inline constexpr const char* kAboutEntryText = "flashpanel 정보(&A)...";

const DialogTemplate& DownloaderTemplate();  // template 102
const DialogTemplate& AboutTemplate();       // template 100

// The entries a drop-down list of template 102 comes with; empty for other ids.
std::span<const char* const> ListEntries(int32_t control_id);

// The Qt resource path of an icon, bitmap or animation id; null if unknown.
// The resources are registered with Qt before the first path is handed out.
const char* ResourcePath(int32_t resource_id);

// The template's row for `id`, or null.
const ControlTemplate* FindControl(const DialogTemplate& dialog, int32_t id);

}  // namespace flashkit
