#include "sim/board.h"

#include <cstdio>

#include "ports/status.h"
#include "protocol/xfer_session.h"
#include "sim/boot_log.h"
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

bool Board::ServeOnce() {
  return settings_.link == BoardLink::kUsb ? ServeUsbRound() : ServeSerialRound();
}

void Board::ReportError(const char* stage, int32_t status, std::optional<uint8_t> byte) {
  JsonFields fields;
  fields.Int("status", status).Str("stage", stage);
  if (byte) {
    char text[8];
    std::snprintf(text, sizeof text, "0x%02x", *byte);
    fields.Str("byte", text);
  }
  events_.Emit("error", fields);
}

int32_t Board::Receive(ImageSink& sink, std::span<const uint8_t> leftover) {
  SilentOut out;
  LeftoverPort line(port_, leftover);
  XferSession session(line, out);
  return session.ReceiveYmodem(sink, kReceiveTimeoutMs, false, false);
}

int32_t Board::ReceiveXmodem(ImageSink& sink) {
  SilentOut out;
  XferSession session(port_, out);
  return session.ReceiveXmodem(sink, kReceiveTimeoutMs, true, false);
}

bool Board::ServeSerialRound() {
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
  if (!Completed(sink, result)) return false;
  const auto stored = StoreAndReport(sink, sink.name(), sink.file_name(), kYmodemName);
  if (!stored) return false;
  SendBootLog(sink, stored->sha256);
  return true;
}

bool Board::Completed(const ImageSink& sink, int32_t result) {
  if (result == 0 && sink.complete()) return true;
  if (stopping_()) return false;
  if (result == 0) {
    events_.Emit("empty-batch");
    return false;
  }
  // A board that waits without a request times out whenever the line is idle.
  const bool idle = settings_.no_request && result == status::kTimeout && !sink.begun();
  if (!idle) ReportError("receive", result);
  return false;
}

std::optional<StoredImage> Board::StoreAndReport(const ImageSink& sink, const std::string& name,
                                                 const std::string& file_name,
                                                 const char* protocol) {
  StoredImage stored;
  const int32_t store_status = StoreImage(settings_.store_dir, file_name, sink.data(), &stored);
  if (store_status < 0) {
    ReportError("store", store_status);
    return std::nullopt;
  }
  const double seconds = (sink.t_eot_ms() - sink.t_header_ms()) / 1000.0;
  const double size = static_cast<double>(sink.data().size());
  events_.Emit("stored", JsonFields()
                             .Str("name", name)
                             .Str("protocol", protocol)
                             .Int("size", static_cast<int64_t>(sink.data().size()))
                             .Str("path", stored.path)
                             .Str("sha256", stored.sha256)
                             .Fixed("t_header_ms", sink.t_header_ms(), 3)
                             .Fixed("t_eot_ms", sink.t_eot_ms(), 3)
                             .Fixed("rate_Bps", seconds > 0 ? size / seconds : 0.0, 1));
  return stored;
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
