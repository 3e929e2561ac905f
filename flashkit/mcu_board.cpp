#include <cstdio>
#include <filesystem>
#include <memory>
#include <string>

#include "engines/download_progress.h"
#include "engines/mcu_bootloader.h"
#include "engines/mcu_protocol.h"
#include "flashkit/board_runs.h"
#include "flashkit/stop_aware.h"
#include "gui/links/serial_port.h"

namespace flashkit::rack {
namespace {

// The engine's boxes: the last text is kept for the table; no one clicks OK.
class KeptBoxes : public MessageBoxes {
 public:
  void Show(const std::string& text, BoxIcon) override { last_ = text; }
  const std::string& last() const { return last_; }

 private:
  std::string last_;
};

// The engine's progress messages, turned into the board's line. Each range
// is one pass over an image: the chosen one, then its companion (a pass that
// failed is tried again).
class PassProgress : public ProgressWindow {
 public:
  explicit PassProgress(BoardProgress& progress) : progress_(progress) {}
  // Called back from within the loader's Download, on the same thread.
  void Watch(const McuBootloader& loader) { loader_ = &loader; }
  void SendProgress(uint32_t wparam, int32_t lparam) override {
    // After a stop the loader only runs out its tries; that is no progress.
    if (StopAsked()) return;
    switch (lparam) {
      case kProgressStart:
        ++passes_;
        range_ = wparam;
        progress_.SetPhase(passes_ == 1 ? "writing" : "writing, pass " + std::to_string(passes_));
        progress_.SetProgress(0, range_, 0);
        break;
      case kProgressPosition:
        progress_.SetProgress(wparam, range_, loader_ != nullptr ? loader_->BytesWritten() : 0);
        break;
      case kProgressEnd:
        // The range counts one more than the blocks of an image of whole
        // blocks: a pass that ended shows full.
        progress_.SetProgress(range_, range_, loader_ != nullptr ? loader_->BytesWritten() : 0);
        break;
      default:
        break;
    }
  }

 private:
  BoardProgress& progress_;
  uint32_t passes_ = 0;
  uint32_t range_ = 0;
  const McuBootloader* loader_ = nullptr;
};

}  // namespace

BoardResult RunMcuBoard(const BoardContext& c, const BoardTarget& target,
                        const std::string& log_path, BoardProgress& progress) {
  // The trace is appended to, as flashpanel's log.txt is; each run starts
  // its board's log afresh.
  if (std::FILE* log = std::fopen(log_path.c_str(), "w")) std::fclose(log);
  KeptBoxes boxes;
  PassProgress passes(progress);
  McuBootloader loader(
      std::make_unique<StopAwareRingPort>(std::make_unique<SerialPort>(c.system, boxes)), boxes,
      c.clock, log_path);
  loader.SetOwnerWindow(&passes);
  passes.Watch(loader);

  McuDownloadSettings settings;
  settings.limits = mcu::ReplyLimits::kCommandLine;
  settings.baud = c.options.baud.value_or(115200);
  settings.verify = c.options.verify;
  settings.require_line = true;
  switch (c.options.companion) {
    case Companion::kSearch:
      settings.companion = McuDownloadSettings::Companion::kSearch;
      // Beside the image, as the dialog finds it.
      settings.companion_folder = std::filesystem::path(c.image.path).parent_path().string();
      break;
    case Companion::kFile:
      settings.companion = McuDownloadSettings::Companion::kFile;
      settings.companion_file = c.options.companion_file;
      break;
    case Companion::kNone:
      settings.companion = McuDownloadSettings::Companion::kNone;
      break;
  }
  settings.on_verify = [&progress, &loader](uint64_t done, uint64_t total) {
    progress.SetPhase("verifying");
    progress.SetProgress(done, total, loader.BytesWritten());
  };
  loader.Configure(settings);

  progress.SetPhase("connecting");
  const std::string port_text = target.path.empty() ? std::to_string(target.com) : target.path;
  const bool written = loader.Download(c.image.path, port_text, "") == 1;
  BoardResult result;
  if (written) {
    result = Ended(Outcome::kOk, "");
  } else if (StopAsked()) {
    result = Ended(Outcome::kStopped, "stopped; the line was closed");
  } else {
    std::string message = loader.FailureText();
    if (message.empty()) message = boxes.last().empty() ? "the download failed" : boxes.last();
    result = Ended(Outcome::kFailed, message);
  }
  result.bytes = loader.BytesWritten();
  result.product_id = loader.ProductId();
  result.verified = loader.Verified();
  return result;
}

}  // namespace flashkit::rack
