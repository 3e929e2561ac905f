#include "sim/device_rack.h"

#include <iostream>

#include "platform/poller.h"
#include "platform/signals.h"

namespace flashkit::sim {

DeviceRack::DeviceRack(DeviceSession& session, EventLog& events, std::vector<unsigned> coms)
    : session_(session), coms_(std::move(coms)), slots_(coms_.size()) {
  for (const unsigned number : coms_) {
    logs_.push_back(std::make_unique<EventLog>(
        events, several() ? JsonFields().Int("com", number) : JsonFields()));
  }
}

bool DeviceRack::Prepare(std::string* error) {
  changed_ = platform::CreateEvent();
  if (!changed_) *error = "cannot create an event";
  return changed_ != nullptr;
}

DeviceRack::~DeviceRack() {
  // Their threads first: they write into the logs and call Finish.
  devices_.clear();
}

void DeviceRack::Add(std::unique_ptr<RackDevice> device) { devices_.push_back(std::move(device)); }

void DeviceRack::Finish(size_t k, const std::string& failure) {
  {
    std::lock_guard<std::mutex> lock(mutex_);
    Slot& slot = slots_[k];
    if (slot.finished) return;
    slot.finished = true;
    slot.failure = failure;
  }
  changed_->Set();
}

void DeviceRack::End(size_t k) {
  bool finished = false;
  std::string failure;
  {
    std::lock_guard<std::mutex> lock(mutex_);
    Slot& slot = slots_[k];
    finished = slot.finished;
    failure = slot.failure;
    slot.finished = true;
    slot.ended = true;
  }
  const std::string stop_failure = devices_[k]->Stop();
  if (failure.empty()) failure = stop_failure;
  session_.DetachCom(coms_[k]);
  session_.ReportLineStats(Log(k), devices_[k]->Stats());
  if (!several()) {
    if (!failure.empty()) session_.Finish(failure);
    return;
  }
  JsonFields fields;
  if (!failure.empty()) {
    std::cerr << "devsim: com" << coms_[k] << ": " << failure << "\n";
    ++failed_;
    fields.Str("reason", "failure").Str("error", failure);
  } else if (finished) {
    fields.Str("reason", "done");
  } else if (const int signal = platform::StopSignal(); signal != 0) {
    fields.Str("reason", platform::StopSignalName(signal));
  } else {
    fields.Str("reason", "stopped");
  }
  Log(k).Emit("device-end", fields);
}

int DeviceRack::Run() {
  for (auto& device : devices_) device->Launch();
  platform::Poller poller;
  poller.Add(platform::StopSignalFd());
  poller.Add(changed_->Fd());
  // A simulated device has no end of its own: each runs until it is done,
  // fails, or devsim is told to stop.
  while (platform::StopSignal() == 0) {
    changed_->Reset();
    size_t running = 0;
    for (size_t k = 0; k < size(); ++k) {
      bool finished = false;
      bool ended = false;
      {
        std::lock_guard<std::mutex> lock(mutex_);
        finished = slots_[k].finished;
        ended = slots_[k].ended;
      }
      if (finished && !ended) End(k);
      if (!finished) ++running;
    }
    if (running == 0) break;
    if (poller.Wait(std::nullopt) < 0) {
      session_.Finish("waiting for a stop signal failed");
      break;
    }
  }
  for (size_t k = 0; k < size(); ++k) {
    bool ended = false;
    {
      std::lock_guard<std::mutex> lock(mutex_);
      ended = slots_[k].ended;
    }
    if (!ended) End(k);
  }
  if (failed_ > 0) {
    session_.Finish(std::to_string(failed_) + " of " + std::to_string(size()) + " devices failed");
  }
  return session_.Exit();
}

}  // namespace flashkit::sim
