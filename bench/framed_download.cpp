// flashpanel's framed USB download, without the dialog, against whatever
// device of the class is present:
//   framed_download IMAGE CONDITION     (IMAGE a bare name in this folder,
//                                        CONDITION "RUN" or "FINISH")
// Prints every message box as "box <text>" and "elapsed_ms T". The download
// itself reports nothing but those boxes, so the exit status is 0 when none
// was shown and 1 otherwise; only the device can tell whether the image
// arrived whole.

#include <cstdio>
#include <mutex>
#include <string>

#include "gui/links/usb_link.h"
#include "engines/usb_download.h"
#include "platform/clock.h"
#include "platform/device_system.h"
#include "platform/poller.h"

namespace {

// The dialog as far as the download can tell: message boxes are kept, the
// rest is seen by nobody. The sender thread calls in too.
class HeadlessView : public flashkit::UsbDownloadView {
 public:
  void PlayAnimation(int32_t) override {}
  void StopAnimation(int32_t) override {}
  void SetProgressRange(uint32_t) override {}
  void SetProgressPos(uint32_t) override {}
  void SendProgress(uint32_t, int32_t) override {}
  void AppendInfo(const std::string&) override {}
  void ShowSettings(int32_t) override {}
  void ShowOutcome(const std::string&) override {}
  void SetTimer(int32_t, uint32_t) override {}
  void KillTimer(int32_t) override {}
  void ShowMessage(const std::string& text) override {
    std::lock_guard<std::mutex> lock(mutex_);
    std::printf("box %s\n", text.c_str());
    std::fflush(stdout);
    ++boxes_;
  }
  int boxes() {
    std::lock_guard<std::mutex> lock(mutex_);
    return boxes_;
  }

 private:
  std::mutex mutex_;
  int boxes_ = 0;
};

}  // namespace

int main(int argc, char** argv) {
  if (argc != 3) {
    std::fprintf(stderr, "usage: framed_download IMAGE RUN|FINISH\n");
    return 2;
  }
  HeadlessView view;
  flashkit::UsbLink link(flashkit::platform::RealSystem());
  const uint64_t start = flashkit::platform::MonotonicNs();
  {
    flashkit::UsbFramedDownload download(link, view, flashkit::platform::SystemClock());
    download.UsbDownload(argv[1], argv[2]);
    download.WaitForSender();
  }
  const double elapsed_ms = static_cast<double>(flashkit::platform::MonotonicNs() - start) / 1e6;
  std::printf("elapsed_ms %.3f\n", elapsed_ms);
  return view.boxes() == 0 ? 0 : 1;
}
