#include "sim/sim_port.h"

#include <chrono>

#include "platform/poller.h"
#include "ports/status.h"

namespace flashkit::sim {

std::unique_ptr<SimPort> SimPort::Create(std::string label) {
  auto event = platform::CreateEvent();
  if (!event) return nullptr;
  return std::unique_ptr<SimPort>(new SimPort(std::move(label), std::move(event)));
}

SimPort::SimPort(std::string label, std::unique_ptr<platform::Event> event)
    : label_(std::move(label)), outgoing_event_(std::move(event)) {}

void SimPort::Shutdown() {
  {
    std::lock_guard<std::mutex> lock(mutex_);
    shut_down_ = true;
  }
  incoming_cv_.notify_all();
}

void SimPort::HangUp() {
  {
    std::lock_guard<std::mutex> lock(mutex_);
    hung_up_ = true;
  }
  incoming_cv_.notify_all();
}

bool SimPort::GetDevicePath(const InterfaceClass&, std::optional<std::string>& path, int32_t) {
  path.reset();
  return false;
}

int32_t SimPort::SendRequest(const char*, bool) { return status::kSourceFailed; }

int32_t SimPort::Write(const uint8_t* data, uint32_t length, uint32_t, bool) {
  {
    std::lock_guard<std::mutex> lock(mutex_);
    if (shut_down_ || hung_up_) return status::kPortWriteFailed;
    outgoing_.push_back({platform::MonotonicNs(), std::vector<uint8_t>(data, data + length)});
  }
  outgoing_event_->Set();
  return static_cast<int32_t>(length);
}

int32_t SimPort::Read(uint8_t* buffer, uint32_t length, uint32_t timeout_ms, bool) {
  std::unique_lock<std::mutex> lock(mutex_);
  incoming_cv_.wait_for(lock, std::chrono::milliseconds(timeout_ms),
                        [this] { return shut_down_ || hung_up_ || !incoming_.empty(); });
  if (shut_down_ || (hung_up_ && incoming_.empty())) return status::kPortReadFailed;
  uint32_t n = 0;
  while (n < length && !incoming_.empty()) {
    buffer[n++] = incoming_.front();
    incoming_.pop_front();
  }
  return static_cast<int32_t>(n);
}

bool SimPort::Take(std::vector<EnteredBytes>& out) {
  // Reset before draining: a Write after the drain sets the event again.
  outgoing_event_->Reset();
  std::lock_guard<std::mutex> lock(mutex_);
  for (EnteredBytes& entered : outgoing_) out.push_back(std::move(entered));
  outgoing_.clear();
  return true;
}

bool SimPort::HasPending() {
  std::lock_guard<std::mutex> lock(mutex_);
  return !outgoing_.empty();
}

long SimPort::Give(std::span<const uint8_t> bytes) {
  {
    std::lock_guard<std::mutex> lock(mutex_);
    incoming_.insert(incoming_.end(), bytes.begin(), bytes.end());
  }
  incoming_cv_.notify_all();
  return static_cast<long>(bytes.size());
}

}  // namespace flashkit::sim
