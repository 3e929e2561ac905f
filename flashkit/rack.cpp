#include "flashkit/rack.h"

#include <algorithm>
#include <cinttypes>
#include <filesystem>
#include <memory>
#include <system_error>
#include <thread>

#include "common/json_fields.h"
#include "common/sha256.h"
#include "flashkit/board_runs.h"
#include "flashkit/live_view.h"
#include "platform/device_namespace.h"
#include "platform/serial_ports.h"
#include "platform/signals.h"
#include "platform/usb_pipe_path.h"

namespace flashkit::rack {
namespace {

constexpr uint32_t kRefreshMs = 100;

struct Board {
  BoardTarget target;
  BoardProgress progress;
  BoardResult result;
  uint64_t started_ms = 0;
  std::thread thread;
};

// A COM number ("3", "COM3") or a path; the parser has let nothing else by.
BoardTarget SerialTarget(const std::string& text) {
  BoardTarget target;
  if (platform::IsSerialPath(text)) {
    target.label = text;
    target.path = text;
    return target;
  }
  target.com = ComNumberOf(text).value_or(0);
  target.label = "COM" + std::to_string(target.com);
  return target;
}

// The node a target's line opens, resolved as the open resolves it, so two
// names of one port (COM1 and /dev/ttyS0, a by-id link and its node) are
// seen as one.
std::string NodeOf(const BoardTarget& target) {
  const std::string name = target.path.empty() ? target.label : target.path;
  const std::string path = platform::ResolveSerialName(name).value_or(name);
  std::error_code error;
  const std::filesystem::path canonical = std::filesystem::canonical(path, error);
  return error ? path : canonical.string();
}

std::vector<BoardTarget> SerialTargets(const RackOptions& o) {
  std::vector<BoardTarget> targets;
  if (o.all) {
    for (const platform::SerialPortInfo& port : platform::ListSerialPorts()) {
      // A built-in UART is seldom a board: taken only when named.
      if (port.kind == platform::SerialPortKind::kUart) continue;
      if (port.kind == platform::SerialPortKind::kSimulated && port.com) {
        targets.push_back(SerialTarget(std::to_string(*port.com)));
      } else {
        BoardTarget target;
        target.label = port.path;
        target.path = port.StablePath();
        targets.push_back(target);
      }
    }
  } else {
    for (const std::string& text : o.ports) targets.push_back(SerialTarget(text));
  }
  std::vector<std::string> nodes;
  for (BoardTarget& target : targets) {
    const std::string node = NodeOf(target);
    for (size_t i = 0; i < nodes.size(); ++i) {
      if (nodes[i] == node) {
        target.refused = "the same port as " + targets[i].label +
                         ", named twice; it takes one download at a time";
        break;
      }
    }
    nodes.push_back(node);
  }
  return targets;
}

std::vector<BoardTarget> UsbTargets(const RackOptions& o, platform::DeviceSystem& system) {
  std::vector<std::string> present;
  if (const auto interfaces = system.ListInterfaces(platform::kBulkInterfaceClass)) {
    for (const std::string& path : *interfaces) {
      present.push_back(std::filesystem::path(path).filename().string());
    }
  }
  std::vector<BoardTarget> targets;
  for (const std::string& name : o.all ? present : o.devices) {
    BoardTarget target;
    target.label = name;
    for (const BoardTarget& earlier : targets) {
      if (earlier.label == name) target.refused = "named twice; a board takes one download at a time";
    }
    if (target.refused.empty() && std::find(present.begin(), present.end(), name) == present.end()) {
      target.refused = "no USB board entry " + name + " is present (see flashkit list)";
    }
    targets.push_back(target);
  }
  return targets;
}

BoardResult RunBoard(const BoardContext& context, const BoardTarget& target,
                     const std::string& log_path, BoardProgress& progress) {
  switch (context.options.command) {
    case Command::kYmodem: return RunYmodemBoard(context, target, log_path, progress);
    case Command::kMcu: return RunMcuBoard(context, target, log_path, progress);
    case Command::kUsb: return RunUsbBoard(context, target, log_path, progress);
    case Command::kList: break;
  }
  return Ended(Outcome::kFailed, "nothing to do");
}

const char* OutcomeWord(Outcome outcome) {
  switch (outcome) {
    case Outcome::kOk: return "ok";
    case Outcome::kFailed: return "failed";
    case Outcome::kStopped: return "stopped";
  }
  return "";
}

std::string Rate(uint64_t bytes, double seconds) {
  if (bytes == 0 || seconds <= 0) return "-";
  char text[32];
  std::snprintf(text, sizeof text, "%.1f kB/s", static_cast<double>(bytes) / seconds / 1000.0);
  return text;
}

void PrintTable(std::FILE* out, const std::vector<std::unique_ptr<Board>>& boards) {
  size_t width = 5;
  for (const auto& board : boards) width = std::max(width, board->target.label.size());
  std::fprintf(out, "\n%-*s  %-7s  %10s  %8s  %12s  %s\n", static_cast<int>(width), "board", "outcome",
               "bytes", "seconds", "rate", "message");
  for (const auto& board : boards) {
    const BoardResult& r = board->result;
    std::fprintf(out, "%-*s  %-7s  %10" PRIu64 "  %8.1f  %12s%s%s\n", static_cast<int>(width),
                 board->target.label.c_str(), OutcomeWord(r.outcome), r.bytes, r.seconds,
                 Rate(r.bytes, r.seconds).c_str(), r.message.empty() ? "" : "  ",
                 r.message.c_str());
  }
}

std::string Records(const RackOptions& o, const RackImage& image,
                    const std::vector<std::unique_ptr<Board>>& boards) {
  std::string json = "[\n";
  for (size_t i = 0; i < boards.size(); ++i) {
    const BoardResult& r = boards[i]->result;
    JsonFields fields;
    fields.Str(o.command == Command::kUsb ? "device" : "port", boards[i]->target.label)
        .Str("image", image.name)
        .Str("sha256", image.sha256)
        .Int("bytes", static_cast<int64_t>(r.bytes))
        .Fixed("seconds", r.seconds, 3)
        .Str("outcome", OutcomeWord(r.outcome))
        .Str("message", r.message);
    if (o.command == Command::kMcu) {
      char id[16];
      std::snprintf(id, sizeof id, "0x%04X", r.product_id.value_or(0));
      if (r.product_id) {
        fields.Str("product_id", id);
      } else {
        fields.Raw("product_id", "null");
      }
      fields.Bool("verified", r.verified);
    }
    json += "  " + fields.Object() + (i + 1 < boards.size() ? ",\n" : "\n");
  }
  return json + "]\n";
}

// Written whole under another name first, so a reader never sees half.
bool WriteRecords(const std::string& path, const std::string& json) {
  const std::string part = path + ".part";
  std::FILE* file = std::fopen(part.c_str(), "wb");
  if (file == nullptr) return false;
  const bool written = std::fwrite(json.data(), 1, json.size(), file) == json.size();
  if (std::fclose(file) != 0 || !written) {
    std::remove(part.c_str());
    return false;
  }
  std::error_code error;
  std::filesystem::rename(part, path, error);
  if (error) std::remove(part.c_str());
  return !error;
}

}  // namespace

std::vector<BoardTarget> TargetsOf(const RackOptions& options, platform::DeviceSystem& system) {
  return options.command == Command::kUsb ? UsbTargets(options, system) : SerialTargets(options);
}

RackImage ReadImage(const std::string& path) {
  RackImage image;
  image.path = path;
  image.name = std::filesystem::path(path).filename().string();
  std::error_code error;
  const std::filesystem::file_status status = std::filesystem::status(path, error);
  if (!std::filesystem::exists(status)) {
    image.unreadable = "the image " + path + " does not exist";
  } else if (std::filesystem::is_directory(status)) {
    image.unreadable = "the image " + path + " is a folder, not a file";
  } else if (!std::filesystem::is_regular_file(status)) {
    image.unreadable = "the image " + path + " is not a plain file";
  } else if (const std::optional<std::string> sha = Sha256OfFile(path); !sha) {
    image.unreadable = "the image " + path + " cannot be read";
  } else {
    image.sha256 = *sha;
    image.size = std::filesystem::file_size(path, error);
    if (error) image.unreadable = "the image " + path + " cannot be measured";
    else if (image.size == 0) image.unreadable = "the image " + path + " is empty: nothing to download";
  }
  return image;
}

std::string LogFileName(const std::string& label) {
  std::string name = label;
  while (name.starts_with('/')) name.erase(0, 1);
  for (char& c : name) {
    if (c == '/' || c == '\\' || c == ':' || static_cast<unsigned char>(c) < 0x20) c = '_';
  }
  return "flashkit-" + name + ".log";
}

int RunRack(const RackOptions& o, platform::DeviceSystem& system, platform::Clock& clock,
            const Crc16Table& crc, const RackConsole& console) {
  const RackImage image = ReadImage(o.file);
  std::vector<std::unique_ptr<Board>> boards;
  for (BoardTarget& target : TargetsOf(o, system)) {
    auto board = std::make_unique<Board>();
    board->target = std::move(target);
    boards.push_back(std::move(board));
  }
  if (boards.empty()) {
    std::fprintf(console.err, "flashkit: --all found no %s\n",
                 o.command == Command::kUsb ? "USB board entry" : "USB serial adapter or simulated port");
    return kSomeFailed;
  }
  std::error_code dir_error;
  std::filesystem::create_directories(o.log_dir, dir_error);

  const BoardContext context{o, image, system, clock, crc};
  for (auto& board : boards) {
    board->started_ms = clock.NowMs();
    std::string refused = board->target.refused;
    if (refused.empty() && !image.unreadable.empty()) refused = image.unreadable;
    if (!refused.empty()) {
      board->result = Ended(Outcome::kFailed, refused);
      board->progress.Finish("failed: " + refused);
      continue;
    }
    const std::string log_path =
        (std::filesystem::path(o.log_dir) / LogFileName(board->target.label)).string();
    Board* b = board.get();
    b->thread = std::thread([&context, b, log_path, &clock] {
      try {
        b->result = RunBoard(context, b->target, log_path, b->progress);
      } catch (const std::exception& e) {
        b->result = Ended(Outcome::kFailed, std::string("internal error: ") + e.what());
      }
      b->result.seconds = static_cast<double>(clock.NowMs() - b->started_ms) / 1000.0;
      // A plain log shows why at once, not only in the table at the end.
      std::string last = OutcomeWord(b->result.outcome);
      if (!b->result.message.empty()) last += ": " + b->result.message;
      b->progress.Finish(last);
    });
  }

  LiveView view(console.out, console.terminal, console.columns);
  const auto rows = [&] {
    std::vector<LiveRow> list;
    const uint64_t now = clock.NowMs();
    for (const auto& board : boards) {
      BoardProgress::Snapshot state = board->progress.Take();
      // A board that has ended keeps its own time; its result is written
      // before it says so.
      const uint64_t elapsed = state.finished
                                   ? static_cast<uint64_t>(board->result.seconds * 1000.0)
                                   : now - board->started_ms;
      list.push_back({board->target.label, std::move(state), board->progress.Phases(), elapsed});
    }
    return list;
  };
  while (true) {
    bool running = false;
    for (const auto& board : boards) running |= !board->progress.Take().finished;
    view.Show(rows());
    if (!running) break;
    clock.SleepMs(kRefreshMs);
  }
  for (auto& board : boards) {
    if (board->thread.joinable()) board->thread.join();
  }
  view.Show(rows());

  PrintTable(console.out, boards);
  int status = kAllSucceeded;
  for (const auto& board : boards) {
    if (board->result.outcome != Outcome::kOk) status = kSomeFailed;
  }
  if (o.json_file && !WriteRecords(*o.json_file, Records(o, image, boards))) {
    std::fprintf(console.err, "flashkit: cannot write the records to %s\n", o.json_file->c_str());
    status = kSomeFailed;
  }
  std::fflush(console.out);
  if (const int signal = platform::StopSignal(); signal != 0) return kSignalStatusBase + signal;
  return status;
}

}  // namespace flashkit::rack
