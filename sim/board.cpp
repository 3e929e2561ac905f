#include "sim/board.h"

#include "ports/status.h"
#include "protocol/xfer_session.h"
#include "sim/boot_log.h"
#include "sim/image_store.h"
#include "sim/leftover_port.h"
#include "sim/prompt_responder.h"

namespace flashkit::sim {
namespace {

// The engine only prints on the sending side; a receiving board shows nothing.
class SilentOut : public TextOut {
 public:
  void Print(std::string_view) override {}
};

}  // namespace

Board::Board(Port& port, platform::Clock& clock, EventLog& events, const Crc16Table& crc,
             BoardSettings settings, StopCheck stopping)
    : port_(port),
      clock_(clock),
      events_(events),
      crc_(crc),
      settings_(std::move(settings)),
      stopping_(std::move(stopping)) {}

bool Board::Run() {
  while (!stopping_()) {
    if (ServeOnce() && settings_.once) return true;
  }
  return false;
}

void Board::ReportError(const char* stage, int32_t status) {
  events_.Emit("error", JsonFields().Int("status", status).Str("stage", stage));
}

int32_t Board::Receive(ImageSink& sink, std::span<const uint8_t> leftover) {
  SilentOut out;
  LeftoverPort line(port_, leftover);
  XferSession session(line, out);
  return session.ReceiveYmodem(sink, kReceiveTimeoutMs, false, false);
}

bool Board::ServeOnce() {
  std::vector<uint8_t> after_prompts;
  if (!settings_.no_request) {
    std::vector<uint8_t> leftover;
    if (!WaitForRequest(port_, crc_, events_, stopping_, &leftover)) return false;
    const PromptOutcome prompts =
        AnswerPrompts(port_, clock_, events_, leftover, stopping_, &after_prompts);
    if (prompts == PromptOutcome::kStopped) return false;
    if (prompts == PromptOutcome::kNoPrompt) {
      ReportError("prompt", status::kTimeout);
      return false;
    }
  }

  ImageSink sink(events_);
  const int32_t result = Receive(sink, after_prompts);
  if (stopping_()) return false;
  if (result < 0) {
    // A board that waits without a request times out whenever the line is idle.
    const bool idle = settings_.no_request && result == status::kTimeout && !sink.begun();
    if (!idle) ReportError("receive", result);
    return false;
  }
  if (!sink.complete()) {
    events_.Emit("empty-batch");
    return false;
  }

  StoredImage stored;
  const int32_t store_status =
      StoreImage(settings_.store_dir, sink.file_name(), sink.data(), &stored);
  if (store_status < 0) {
    ReportError("store", store_status);
    return false;
  }
  const double seconds = (sink.t_eot_ms() - sink.t_header_ms()) / 1000.0;
  const double size = static_cast<double>(sink.data().size());
  events_.Emit("stored", JsonFields()
                             .Str("name", sink.name())
                             .Int("size", static_cast<int64_t>(sink.data().size()))
                             .Str("path", stored.path)
                             .Str("sha256", stored.sha256)
                             .Fixed("t_header_ms", sink.t_header_ms(), 3)
                             .Fixed("t_eot_ms", sink.t_eot_ms(), 3)
                             .Fixed("rate_Bps", seconds > 0 ? size / seconds : 0.0, 1));
  SendBootLog(sink, stored.sha256);
  return true;
}

void Board::SendBootLog(const ImageSink& sink, const std::string& sha256) {
  const auto lines = BootLogLines(sink.name(), static_cast<uint32_t>(sink.data().size()),
                                  sha256, settings_.boot_lines);
  for (size_t i = 0; i < lines.size(); ++i) {
    if (i > 0) clock_.SleepMs(kBootLinePauseMs);
    if (stopping_()) return;
    const auto* bytes = reinterpret_cast<const uint8_t*>(lines[i].data());
    if (port_.Write(bytes, static_cast<uint32_t>(lines[i].size()), 1000, false) < 0) return;
  }
  events_.Emit("boot-done");
}

}  // namespace flashkit::sim
