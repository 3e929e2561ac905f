#include <cstdio>
#include <optional>
#include <string>

#include "console/file_handle.h"
#include "console/file_source.h"
#include "flashkit/board_runs.h"
#include "flashkit/text_watch.h"
#include "platform/signals.h"
#include "ports/device_port.h"
#include "ports/status.h"
#include "ports/status_text.h"
#include "protocol/xfer_session.h"

namespace flashkit::rack {
namespace {

constexpr uint32_t kReadSliceMs = 100;

// The session's and the port's console texts go to the board's log.
class LogTextOut : public TextOut {
 public:
  explicit LogTextOut(std::FILE* file) : file_(file) {}
  void Print(std::string_view text) override {
    if (file_ != nullptr) std::fwrite(text.data(), 1, text.size(), file_);
  }

 private:
  std::FILE* file_;
};

// The file's progress line is the display's business, not the log's.
class SilentTextOut : public TextOut {
 public:
  void Print(std::string_view) override {}
};

// Tells the display how much of the image the sender has taken.
class CountingSource : public TransferSource {
 public:
  CountingSource(TransferSource& inner, uint64_t total, BoardProgress& progress)
      : inner_(inner), total_(total), progress_(progress) {}
  int32_t ReadChunk(uint8_t* buffer, uint32_t capacity) override {
    const int32_t n = inner_.ReadChunk(buffer, capacity);
    if (n > 0) {
      taken_ += static_cast<uint64_t>(n);
      progress_.SetPhase("sending");
      progress_.SetProgress(taken_, total_, taken_);
    }
    return n;
  }
  uint64_t taken() const { return taken_; }

 private:
  TransferSource& inner_;
  uint64_t total_;
  BoardProgress& progress_;
  uint64_t taken_ = 0;
};

std::string Failure(const char* what, int32_t status) {
  return std::string(what) + ": " + StatusMeaning(status) + ". Error " + std::to_string(status);
}

// Reads the board's output into the log until `text` has come, whole, even
// when it arrives in pieces. An empty result: it came.
std::optional<BoardResult> AwaitText(const BoardContext& c, Port& port, std::FILE* log,
                                     BoardProgress& progress) {
  const std::string& text = *c.options.expect;
  const uint32_t within_s = c.options.within_s.value_or(10);
  progress.SetPhase("waiting for \"" + text + "\"");
  const uint64_t deadline = c.clock.NowMs() + uint64_t{within_s} * 1000;
  TextWatch watch(text);
  uint8_t buffer[512];
  while (true) {
    const uint64_t now = c.clock.NowMs();
    if (now >= deadline) break;
    const uint32_t slice = static_cast<uint32_t>(std::min<uint64_t>(kReadSliceMs, deadline - now));
    const int32_t n = port.Read(buffer, sizeof buffer, slice, false);
    if (n == status::kInterrupted) return Ended(Outcome::kStopped, "stopped while waiting for the board to start");
    if (n < 0) return Ended(Outcome::kFailed, Failure("the line failed while the board was starting", n));
    if (n == 0) continue;
    if (log != nullptr) {
      std::fwrite(buffer, 1, static_cast<size_t>(n), log);
      std::fflush(log);
    }
    if (watch.Feed({reinterpret_cast<const char*>(buffer), static_cast<size_t>(n)})) {
      return std::nullopt;
    }
  }
  return Ended(Outcome::kFailed, "did not boot: \"" + text + "\" did not come within " +
                                     std::to_string(within_s) + " s of the send");
}

}  // namespace

BoardResult RunYmodemBoard(const BoardContext& c, const BoardTarget& target,
                           const std::string& log_path, BoardProgress& progress) {
  FileHandle log(std::fopen(log_path.c_str(), "w+b"));
  if (!log) return Ended(Outcome::kFailed, "cannot create the log file " + log_path);
  LogTextOut log_out(log.get());
  SilentTextOut silent;

  progress.SetPhase("opening");
  std::unique_ptr<DevicePort> port = CreatePort(c.system, log_out, c.crc);
  if (!port) return Ended(Outcome::kFailed, Failure("cannot create the port", status::kNoPortObject));
  const int32_t opened = target.path.empty() ? port->OpenPort(target.com) : port->OpenPortPath(target.path);
  if (opened != 0) {
    return Ended(Outcome::kFailed, "cannot open " + target.label + ": " + port->OpenFailureText() +
                                       ". Error " + std::to_string(opened));
  }
  if (const int32_t r = port->ConfigurePort(c.options.baud.value_or(115200)); r != 0) {
    port->ClosePort();
    return Ended(Outcome::kFailed, Failure("cannot set up the line", r));
  }

  FileHandle file(std::fopen(c.image.path.c_str(), "rb"));
  std::optional<int32_t> size;
  if (file) size = FileSource::Measure(file.get());
  if (!size) {
    port->ClosePort();
    return Ended(Outcome::kFailed, "cannot read the image " + c.image.path);
  }
  FileSource file_source(file.get(), *size, silent);
  CountingSource source(file_source, static_cast<uint64_t>(*size), progress);
  // A board that never answers fails alone instead of holding up the run.
  port->LimitPrompting(c.options.timeout_s * 1000);
  XferSession session(*port, log_out);
  const std::string announced = c.options.announce_as.value_or(c.image.name);
  progress.SetPhase("waiting for the board");
  std::fprintf(log.get(), "Sending %s as %s...\n", c.image.path.c_str(), announced.c_str());
  const int32_t sent = session.SendYmodem(announced.c_str(), static_cast<uint32_t>(*size), source,
                                          c.options.timeout_s * 1000, false);
  BoardResult result;
  if (sent == status::kInterrupted) {
    result = Ended(Outcome::kStopped, "stopped; the board was told to cancel");
  } else if (sent == status::kTimeout && source.taken() == 0) {
    result = Ended(Outcome::kFailed,
                   "the board did not answer the prompts within " +
                       std::to_string(c.options.timeout_s) +
                       " s (is it connected, powered and at this baud rate?). Error -200");
  } else if (sent != 0) {
    result = Ended(Outcome::kFailed, Failure("the transfer failed", sent));
  } else {
    std::fprintf(log.get(), "\nSent OK\n");
    result = Ended(Outcome::kOk, "");
    if (c.options.expect) {
      if (std::optional<BoardResult> failed = AwaitText(c, *port, log.get(), progress)) result = *failed;
    }
  }
  result.bytes = source.taken();
  port->ClosePort();
  return result;
}

BoardResult Ended(Outcome outcome, std::string message) {
  BoardResult result;
  result.outcome = outcome;
  result.message = std::move(message);
  return result;
}

}  // namespace flashkit::rack
