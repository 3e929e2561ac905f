#pragma once

#include <QAbstractButton>
#include <QComboBox>
#include <QLabel>
#include <QString>
#include <filesystem>
#include <fstream>
#include <functional>
#include <map>
#include <memory>
#include <random>
#include <string>
#include <vector>

#include "gui/downloader_dialog.h"
#include "tests/gui/qt_test_app.h"
#include "tests/support/fake_device_system.h"

namespace flashkit::testing {

// Message boxes that keep their texts and let a test look at the dialog at
// the moment one is shown, in the middle of a download.
class WatchingBoxes : public MessageBoxes {
 public:
  void Show(const std::string& text, BoxIcon) override {
    texts.push_back(text);
    if (on_show) on_show();
  }
  std::vector<std::string> texts;
  std::function<void()> on_show;
};

// The dialog on fake devices and a virtual clock, working in a folder of its
// own that is the current directory while the rig lives. No device answers:
// COM lines are missing and no USB device is present.
class DialogRig {
 public:
  DialogRig()
      : previous_(std::filesystem::current_path()),
        dir(std::filesystem::temp_directory_path() /
            ("flashkit-dialog-" + std::to_string(std::random_device{}()))) {
    TestApp();
    std::filesystem::create_directories(dir / "images");
    std::filesystem::current_path(dir);
    system.open_error = platform::SysError::kFileNotFound;
    DownloaderDialog::Services services(system, system.time);
    services.boxes = &boxes;
    services.choose_file = [this](QWidget*) { return chosen; };
    services.program_search = ProgramSearch{(dir / "nowhere").string(), (dir / "nowhere").string(), ""};
    services.log_path = (dir / "log.txt").string();
    dialog = std::make_unique<DownloaderDialog>(std::move(services));
  }
  ~DialogRig() {
    dialog.reset();
    std::filesystem::current_path(previous_);
    std::filesystem::remove_all(dir);
  }

  // A file in the images folder, chosen through Bin Select.
  std::filesystem::path Choose(const std::string& name, const std::string& bytes = "image") {
    const std::filesystem::path path = dir / "images" / name;
    std::ofstream(path, std::ios::binary) << bytes;
    chosen = QString::fromStdString(path.string());
    dialog->OnBinSelect();
    return path;
  }

  // What a user does with a drop-down list: opens it and picks an entry.
  void Pick(int32_t list_id, int index) {
    auto* list = static_cast<QComboBox*>(dialog->Control(list_id));
    list->setCurrentIndex(index);
    emit list->activated(index);
  }
  void Click(int32_t button_id) { static_cast<QAbstractButton*>(dialog->Control(button_id))->click(); }

  std::string InfoText() const {
    return static_cast<QLabel*>(dialog->Control(ctl::kInfo))->text().toStdString();
  }
  bool Enabled(int32_t id) const { return dialog->Control(id)->isEnabled(); }
  std::map<int32_t, bool> Enabling() const {
    std::map<int32_t, bool> states;
    for (int32_t id : kWatched) states[id] = Enabled(id);
    return states;
  }

  static constexpr int32_t kWatched[] = {ctl::kDownload,     ctl::kPortList,  ctl::kBaudList,
                                         ctl::kConditionList, ctl::kModemNone, ctl::kModemYmodem,
                                         ctl::kBinSelect,     ctl::kFixedPath, ctl::kSerial,
                                         ctl::kUsb};

 private:
  std::filesystem::path previous_;

 public:
  std::filesystem::path dir;
  FakeDeviceSystem system;
  WatchingBoxes boxes;
  QString chosen;
  std::unique_ptr<DownloaderDialog> dialog;
};

}  // namespace flashkit::testing
