#include "sim/device_session.h"

#include <cstdio>
#include <iostream>

#include "platform/poller.h"
#include "platform/signals.h"

namespace flashkit::sim {

int ReportSetupFailure(const std::string& error) {
  std::cerr << "devsim: " << error << "\n";
  return 1;
}

DeviceSession::DeviceSession(EventLog& events) : events_(events) {}

DeviceSession::~DeviceSession() = default;

bool DeviceSession::Prepare(std::string* error) {
  if (!platform::InstallStopSignals()) {
    *error = "cannot install the stop signal handlers";
    return false;
  }
  done_ = platform::CreateEvent();
  if (!done_) {
    *error = "cannot create an event";
    return false;
  }
  return true;
}

PtyEnd* DeviceSession::AttachCom(unsigned number, std::string* error) {
  const std::string label = "com" + std::to_string(number);
  auto end = PtyEnd::Open(label, error);
  if (!end) return nullptr;
  auto link = ComLink::Create(number, end->slave_path(), error);
  if (!link) return nullptr;
  links_.push_back(std::move(link));
  ends_.push_back(std::move(end));
  return ends_.back().get();
}

UsbEntry* DeviceSession::AttachUsb(const std::string& name, std::string* error) {
  usb_ = UsbEntry::Create(name, error);
  return usb_.get();
}

void DeviceSession::ReportUsbReady(const char* device, const LineRate& rate) {
  events_.Emit("ready", JsonFields()
                            .Str("device", device)
                            .Str("usb", usb_->name())
                            .Str("path", usb_->path())
                            .Int("baud", rate.baud)
                            .Int("bits", rate.bits_per_char));
}

void DeviceSession::ReportReady(const char* device, const LineRate& rate,
                                std::optional<uint32_t> latency_timer_ms) {
  std::string coms, paths, ptys;
  for (const auto& link : links_) {
    const char* comma = coms.empty() ? "" : ",";
    coms.append(comma).append(std::to_string(link->number()));
    paths.append(comma).append(JsonString(link->path()));
    ptys.append(comma).append(JsonString(link->target()));
  }
  JsonFields fields;
  fields.Str("device", device)
      .Raw("com", "[" + coms + "]")
      .Raw("path", "[" + paths + "]")
      .Raw("pty", "[" + ptys + "]")
      .Int("baud", rate.baud)
      .Int("bits", rate.bits_per_char);
  if (latency_timer_ms) fields.Int("latency_timer_ms", *latency_timer_ms);
  events_.Emit("ready", fields);
}

void DeviceSession::Finish(const std::string& failure) {
  {
    std::lock_guard<std::mutex> lock(mutex_);
    if (!finished_) failure_ = failure;
    finished_ = true;
  }
  done_->Set();
}

void DeviceSession::WaitForEnd() {
  platform::Poller poller;
  poller.Add(platform::StopSignalFd());
  poller.Add(done_->Fd());
  // Runs until told to stop: a simulated device has no end of its own.
  while (platform::StopSignal() == 0 && !done_->IsSet()) {
    if (poller.Wait(std::nullopt) < 0) {
      Finish("waiting for a stop signal failed");
      return;
    }
  }
}

std::string DeviceSession::StampOrNull(uint64_t ns) const {
  if (ns == 0) return "null";
  char text[32];
  std::snprintf(text, sizeof text, "%.3f", events_.MsAt(ns));
  return text;
}

void DeviceSession::DetachCom(unsigned number) {
  std::erase_if(links_, [number](const auto& link) { return link->number() == number; });
}

int DeviceSession::Close(const std::vector<DirectionStats>& stats) {
  links_.clear();
  usb_.reset();
  ReportLineStats(events_, stats);
  return Exit();
}

void DeviceSession::ReportLineStats(EventLog& log, const std::vector<DirectionStats>& stats) const {
  std::string directions;
  for (const DirectionStats& d : stats) {
    if (!directions.empty()) directions += ",";
    directions += JsonFields()
                      .Str("from", d.from)
                      .Str("to", d.to)
                      .Int("delivered", static_cast<int64_t>(d.counts.delivered))
                      .Int("dropped", static_cast<int64_t>(d.counts.dropped))
                      .Int("corrupted", static_cast<int64_t>(d.counts.corrupted))
                      .Raw("first_ms", StampOrNull(d.times.first_ns))
                      .Raw("last_ms", StampOrNull(d.times.last_ns))
                      .Object();
  }
  log.Emit("line-stats", JsonFields().Raw("directions", "[" + directions + "]"));
}

int DeviceSession::Exit() {
  links_.clear();
  usb_.reset();
  std::string reason;
  std::string failure;
  {
    std::lock_guard<std::mutex> lock(mutex_);
    failure = failure_;
  }
  if (!failure.empty()) {
    std::cerr << "devsim: " << failure << "\n";
    reason = "failure";
  } else if (const int signal = platform::StopSignal(); signal != 0) {
    reason = platform::StopSignalName(signal);
  } else {
    reason = "done";
  }
  const int status = failure.empty() ? 0 : 1;
  events_.Emit("exit", JsonFields().Str("reason", reason).Int("status", status));
  ends_.clear();
  return status;
}

}  // namespace flashkit::sim
