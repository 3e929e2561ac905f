#include <algorithm>
#include <atomic>
#include <mutex>
#include <string>

#include "engines/usb_download.h"
#include "engines/usb_download_view.h"
#include "flashkit/board_runs.h"
#include "flashkit/stop_aware.h"
#include "gui/links/usb_link.h"

namespace flashkit::rack {
namespace {

constexpr uint32_t kTimerPollMs = 5;
constexpr char kConnected[] = "<CONNECTED>";

// The dialog's side of the framed download, for one board without a window.
// Calls come from the board's thread and from the engine's sender thread.
class ConsoleUsbView : public UsbDownloadView {
 public:
  ConsoleUsbView(BoardProgress& progress, uint64_t image_size)
      : progress_(progress), image_size_(image_size) {}

  void PlayAnimation(int32_t) override {}
  void StopAnimation(int32_t) override {}
  void SetProgressRange(uint32_t upper) override {
    std::lock_guard<std::mutex> lock(mutex_);
    range_ = upper;
    progress_.SetPhase("sending");
    Show(0);
  }
  void SetProgressPos(uint32_t position) override {
    std::lock_guard<std::mutex> lock(mutex_);
    Show(position);
  }
  void SendProgress(uint32_t wparam, int32_t lparam) override {
    std::lock_guard<std::mutex> lock(mutex_);
    if (lparam == 0) Show(wparam);
  }
  void AppendInfo(const std::string& text) override {
    if (text == kConnected) progress_.SetPhase("connected");
  }
  void ShowSettings(int32_t done) override {
    std::lock_guard<std::mutex> lock(mutex_);
    if (done == 1) succeeded_ = true;
  }
  void ShowOutcome(const std::string& text) override {
    std::lock_guard<std::mutex> lock(mutex_);
    outcome_ = text;
  }
  void SetTimer(int32_t, uint32_t) override { timer_on_ = true; }
  void KillTimer(int32_t) override { timer_on_ = false; }
  void ShowMessage(const std::string& text) override {
    std::lock_guard<std::mutex> lock(mutex_);
    if (message_.empty()) message_ = text;
  }

  bool timer_on() const { return timer_on_; }
  bool succeeded() {
    std::lock_guard<std::mutex> lock(mutex_);
    return succeeded_;
  }
  // The words that say why it did not succeed; empty when none were said.
  std::string failure() {
    std::lock_guard<std::mutex> lock(mutex_);
    return outcome_.empty() ? message_ : outcome_;
  }

 private:
  // Frames are counted from 1 with one to spare; the bytes behind `position`
  // are its share of the image.
  void Show(uint32_t position) {
    const uint64_t upper = range_ > 1 ? range_ - 1 : 1;
    bytes_ = std::min<uint64_t>(image_size_, image_size_ * position / upper);
    progress_.SetProgress(std::min<uint64_t>(position, range_), range_, bytes_);
  }

  BoardProgress& progress_;
  const uint64_t image_size_;
  std::mutex mutex_;
  uint32_t range_ = 0;
  uint64_t bytes_ = 0;
  bool succeeded_ = false;
  std::string outcome_;
  std::string message_;
  std::atomic<bool> timer_on_{false};
};

}  // namespace

BoardResult RunUsbBoard(const BoardContext& c, const BoardTarget& target, const std::string&,
                        BoardProgress& progress) {
  ConsoleUsbView view(progress, c.image.size);
  StopAwareClock clock(c.clock);
  UsbLink link(c.system);
  link.SetEntryName(target.label);
  progress.SetPhase("connecting");
  int32_t stopped_at = 0;
  {
    UsbFramedDownload download(link, view, clock);
    download.UsbDownload(c.image.path, c.options.run ? "RUN" : "FINISH");
    // The size-announced flow goes on in the engine's sender thread, its
    // progress read on the dialog's 1 ms timer; here the board's thread
    // keeps that time.
    while (download.SenderRunning()) {
      if (view.timer_on()) download.OnTimer(kProgressTimerId);
      // Not cut short by a stop: the sender's own exchanges end it.
      c.clock.SleepMs(kTimerPollMs);
    }
    download.WaitForSender();
    stopped_at = download.BytesBeforeStop();
  }
  BoardResult result;
  if (view.succeeded()) {
    result = Ended(Outcome::kOk, "");
    result.bytes = c.image.size;
    return result;
  }
  std::string why = view.failure();
  if (StopAsked()) {
    result = Ended(Outcome::kStopped, why.empty() ? "stopped" : "stopped: " + why);
  } else {
    result = Ended(Outcome::kFailed, why.empty() ? "the USB board " + target.label +
                                                       " did not come back within the 100 s the download waits for it"
                                                 : why);
  }
  result.bytes = static_cast<uint64_t>(stopped_at);
  return result;
}

}  // namespace flashkit::rack
