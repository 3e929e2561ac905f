#pragma once

#include <QAbstractButton>
#include <QComboBox>
#include <QLabel>
#include <QString>
#include <chrono>
#include <condition_variable>
#include <filesystem>
#include <fstream>
#include <functional>
#include <map>
#include <memory>
#include <mutex>
#include <random>
#include <string>
#include <thread>
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

// Fake devices whose waits for input can be held: while the gate is shut, a
// thread other than the test's own stops in its wait until the gate opens
// (or ten seconds pass), so a test can act while a sender thread is busy.
class GatedSystem : public FakeDeviceSystem {
 public:
  class Gate : public platform::Clock {
   public:
    explicit Gate(LoggingClock& inner) : inner_(inner) {}
    uint64_t NowMs() override { return inner_.NowMs(); }
    void SleepMs(uint32_t ms) override { inner_.SleepMs(ms); }
    void SleepUntilInput(platform::Device& device, uint32_t ms) override {
      if (std::this_thread::get_id() != owner_) {
        std::unique_lock<std::mutex> lock(mutex_);
        ++held_;
        changed_.notify_all();
        changed_.wait_for(lock, std::chrono::seconds(10), [this] { return open_; });
      }
      inner_.SleepUntilInput(device, ms);
    }
    void Shut() { Set(false); }
    void Open() { Set(true); }
    // True once another thread has come to the shut gate.
    bool WaitForHeld() {
      std::unique_lock<std::mutex> lock(mutex_);
      return changed_.wait_for(lock, std::chrono::seconds(10), [this] { return held_ > 0; });
    }

   private:
    void Set(bool open) {
      std::lock_guard<std::mutex> lock(mutex_);
      open_ = open;
      changed_.notify_all();
    }
    LoggingClock& inner_;
    const std::thread::id owner_ = std::this_thread::get_id();
    std::mutex mutex_;
    std::condition_variable changed_;
    bool open_ = true;
    int held_ = 0;
  };

  platform::Clock& clock() override { return gate; }
  Gate gate{time};
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
    // linkxfer is looked for in "prog", which holds nothing until WriteTool.
    services.program_search = ProgramSearch{(dir / "prog").string(), (dir / "prog").string(), ""};
    services.log_path = (dir / "log.txt").string();
    services.list_ports = [this] { return ports; };
    services.open_port_monitor = [] { return std::unique_ptr<platform::SerialPortMonitor>(); };
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

  // A stand-in linkxfer (a shell script with `body`) where the dialog looks.
  void WriteTool(const std::string& body) {
    const std::filesystem::path path = dir / "prog" / "linkxfer.exe";
    std::filesystem::create_directories(path.parent_path());
    std::ofstream(path) << "#!/bin/sh\n" << body << "\n";
    std::filesystem::permissions(path, std::filesystem::perms::owner_all);
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
  GatedSystem system;
  WatchingBoxes boxes;
  QString chosen;
  std::vector<platform::SerialPortInfo> ports;  // what the machine has plugged in
  std::unique_ptr<DownloaderDialog> dialog;
};

}  // namespace flashkit::testing
