#pragma once

#include <gtest/gtest.h>

#include <chrono>
#include <filesystem>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <thread>
#include <vector>

#include "gui/links/serial_port.h"
#include "platform/debug_output.h"
#include "platform/pseudo_terminal.h"
#include "tests/platform/temp_namespace.h"
#include "tests/support/recorded_boxes.h"
#include "tests/support/virtual_clock.h"

namespace flashkit::testing {

using Bytes = std::vector<uint8_t>;

// A real serial line that notes the port's control calls and can refuse its
// settings. Reads and waits pass straight through: the reader thread makes
// them, the log belongs to the test's thread.
class RecordingLine : public platform::SerialLine {
 public:
  RecordingLine(std::unique_ptr<platform::SerialLine> line, std::vector<std::string>& log,
                std::vector<platform::LineSettings>& applied,
                std::optional<platform::SysError> refuse)
      : line_(std::move(line)), log_(log), applied_(applied), refuse_(refuse) {}

  int Id() const override { return line_->Id(); }
  platform::IoResult Read(uint8_t* data, size_t len) override { return line_->Read(data, len); }
  platform::IoResult Write(const uint8_t* data, size_t len) override {
    return line_->Write(data, len);
  }
  void PollInput(uint32_t ms) override { line_->PollInput(ms); }
  bool Close() override {
    log_.push_back("close");
    return line_->Close();
  }
  platform::SysStatus Flush() override { return line_->Flush(); }
  platform::SysStatus Purge() override {
    log_.push_back("purge");
    return line_->Purge();
  }
  platform::SysStatus GetSettings(platform::LineSettings& settings) override {
    log_.push_back("get settings");
    return line_->GetSettings(settings);
  }
  platform::SysStatus SetSettings(const platform::LineSettings& settings) override {
    log_.push_back("set settings");
    if (refuse_) return {*refuse_, 0};
    applied_.push_back(settings);
    return line_->SetSettings(settings);
  }
  platform::SysStatus SetReadsReturnAtOnce() override {
    log_.push_back("reads at once");
    return line_->SetReadsReturnAtOnce();
  }
  platform::SysStatus SetDtr(bool on) override {
    log_.push_back(on ? "dtr on" : "dtr off");
    // A pseudo-terminal has no modem lines; a port must not depend on them.
    line_->SetDtr(on);
    return platform::SysStatus::Ok();
  }

 private:
  std::unique_ptr<platform::SerialLine> line_;
  std::vector<std::string>& log_;
  std::vector<platform::LineSettings>& applied_;
  std::optional<platform::SysError> refuse_;
};

// The real device namespace, with the port's calls noted, events that can
// run out and a virtual clock for the caller's 1 ms pauses (only the
// caller's thread uses the clock).
class PtyLinkSystem : public platform::DeviceSystem {
 public:
  std::vector<std::string> log;
  std::vector<platform::LineSettings> applied;
  std::optional<platform::SysError> refuse_settings;
  std::optional<int> fail_event_call;  // 1-based
  int event_calls = 0;
  VirtualClock time;

  platform::Opened<platform::SerialLine> OpenSerial(const std::string& device_name) override {
    log.push_back("open " + device_name);
    platform::Opened<platform::SerialLine> opened = platform::RealSystem().OpenSerial(device_name);
    if (!opened.device) return opened;
    return {std::make_unique<RecordingLine>(std::move(opened.device), log, applied, refuse_settings),
            opened.status};
  }
  platform::Opened<platform::Device> OpenPipe(const std::string& path) override {
    return platform::RealSystem().OpenPipe(path);
  }
  platform::Opened<platform::Device> OpenInterface(const std::string& path) override {
    return platform::RealSystem().OpenInterface(path);
  }
  std::optional<std::vector<std::string>> ListInterfaces(const std::string& guid) override {
    return platform::RealSystem().ListInterfaces(guid);
  }
  std::unique_ptr<platform::Event> NewEvent() override {
    if (++event_calls == fail_event_call) return nullptr;
    return platform::RealSystem().NewEvent();
  }
  platform::Clock& clock() override { return time; }
};

// The debugger output lines for the life of the object; the reader thread
// writes them.
class CapturedTrace {
 public:
  CapturedTrace()
      : previous_(platform::SetDebugSink([this](std::string_view text) {
          std::lock_guard<std::mutex> lock(mutex_);
          lines_.emplace_back(text);
        })) {}
  ~CapturedTrace() { platform::SetDebugSink(previous_); }
  std::vector<std::string> Lines() {
    std::lock_guard<std::mutex> lock(mutex_);
    return lines_;
  }

 private:
  std::mutex mutex_;
  std::vector<std::string> lines_;
  platform::DebugSink previous_;
};

// Threads of this process: the reader must be gone after Close. A thread
// started and ended first brings up any helper thread a sanitizer keeps, so
// counts taken later compare.
inline size_t ThreadCount() {
  static const bool settled = [] {
    std::thread([] {}).join();
    return true;
  }();
  (void)settled;
  size_t n = 0;
  for ([[maybe_unused]] const auto& entry : std::filesystem::directory_iterator("/proc/self/task")) ++n;
  return n;
}

// A simulated board on COM<number>: a pseudo-terminal in a temporary
// namespace; the test writes the board's bytes into its master.
struct SerialRig {
  explicit SerialRig(unsigned number = 3) {
    EXPECT_TRUE(pty.status.ok()) << pty.status.Text();
    std::filesystem::create_symlink(pty.slave_path, ns.Path("com" + std::to_string(number)));
  }

  // The board sends `bytes`, waiting while the terminal's queue is full;
  // false when it stayed full for five seconds.
  bool Send(const Bytes& bytes) {
    size_t done = 0;
    const auto give_up = std::chrono::steady_clock::now() + std::chrono::seconds(5);
    while (done < bytes.size() && std::chrono::steady_clock::now() < give_up) {
      const platform::IoResult r = pty.master->Write(bytes.data() + done, bytes.size() - done);
      if (!r.ok()) return false;
      done += r.count;
      if (r.count == 0) std::this_thread::sleep_for(std::chrono::milliseconds(1));
    }
    return done == bytes.size();
  }

  // Waits, at most five seconds, until `count` bytes wait in the ring.
  bool AwaitUnread(int32_t count) {
    const auto give_up = std::chrono::steady_clock::now() + std::chrono::seconds(5);
    while (port.Unread() < count && std::chrono::steady_clock::now() < give_up) {
      if (port.Unread() == 0) {
        port.PauseForInput(50);
      } else {
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
      }
    }
    return port.Unread() == count;
  }

  TempNamespace ns;
  platform::PseudoTerminal pty = platform::OpenPseudoTerminal();
  PtyLinkSystem system;
  RecordedBoxes boxes;
  SerialPort port{system, boxes};
};

}  // namespace flashkit::testing
