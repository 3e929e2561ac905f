#pragma once

#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "engines/usb_download_view.h"

namespace flashkit::testing {

// The dialog as a list of what the USB download did to it ("play 1026",
// "range 4", "progress 3 0", "message ..."), each with the thread that did
// it. The information text is kept whole instead. Thread-safe.
class RecordingUsbView : public UsbDownloadView {
 public:
  using Calls = std::vector<std::string>;

  void PlayAnimation(int32_t id) override { Note("play " + std::to_string(id)); }
  void StopAnimation(int32_t id) override { Note("stop " + std::to_string(id)); }
  void SetProgressRange(uint32_t upper) override { Note("range " + std::to_string(upper)); }
  void SetProgressPos(uint32_t position) override { Note("pos " + std::to_string(position)); }
  void SendProgress(uint32_t wparam, int32_t lparam) override {
    Note("progress " + std::to_string(wparam) + " " + std::to_string(lparam));
  }
  void AppendInfo(const std::string& text) override {
    std::lock_guard<std::mutex> lock(mutex_);
    info_ += text;
  }
  void ShowSettings(int32_t done) override { Note("settings " + std::to_string(done)); }
  void ShowOutcome(const std::string& text) override { Note("outcome " + text); }
  void SetTimer(int32_t id, uint32_t period_ms) override {
    Note("timer " + std::to_string(id) + " " + std::to_string(period_ms));
  }
  void KillTimer(int32_t id) override { Note("kill " + std::to_string(id)); }
  void ShowMessage(const std::string& text) override { Note("message " + text); }

  // What the thread that built the view did, or what every other thread did.
  Calls OnThisThread() const { return Select(true); }
  Calls OnOtherThreads() const { return Select(false); }
  std::string Info() const {
    std::lock_guard<std::mutex> lock(mutex_);
    return info_;
  }

 private:
  struct Call {
    std::thread::id thread;
    std::string text;
  };

  void Note(std::string text) {
    std::lock_guard<std::mutex> lock(mutex_);
    calls_.push_back({std::this_thread::get_id(), std::move(text)});
  }
  Calls Select(bool here) const {
    std::lock_guard<std::mutex> lock(mutex_);
    Calls selected;
    for (const Call& call : calls_) {
      if ((call.thread == owner_) == here) selected.push_back(call.text);
    }
    return selected;
  }

  const std::thread::id owner_ = std::this_thread::get_id();
  mutable std::mutex mutex_;
  std::vector<Call> calls_;
  std::string info_;
};

}  // namespace flashkit::testing
