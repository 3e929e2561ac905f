#include "platform/usb_bulk_reader.h"

#include <algorithm>
#include <cerrno>
#include <cstring>

#include "platform/clock.h"

namespace flashkit::platform {
namespace {

// How long a closing pipe waits for its cancelled transfers to come back.
constexpr uint32_t kCancelWaitMs = 1000;
// A packet size no descriptor gave: the full-speed one.
constexpr size_t kFallbackPacket = 64;

}  // namespace

UsbBulkReader::UsbBulkReader(std::shared_ptr<UsbBulkNode> node) : node_(std::move(node)) {
  const UsbBulkNode::Endpoint& in = node_->endpoint(BulkDirection::kIn);
  const size_t packet = in.max_packet != 0 ? in.max_packet : kFallbackPacket;
  std::lock_guard<std::mutex> lock(node_->lock());
  for (size_t i = 0; i < kTransfers; ++i) {
    ring_.push_back(std::make_unique<BulkTransfer>(node_->handle(), in.address, packet));
    Post(*ring_.back());
  }
}

UsbBulkReader::~UsbBulkReader() { Close(); }

int UsbBulkReader::Id() const { return node_ ? node_->fd() : -1; }

void UsbBulkReader::Post(BulkTransfer& transfer) {
  // A failed submission finishes the transfer with the failure, which the
  // reads report once they get to it: bytes posted before it come first.
  transfer.Submit(transfer.Capacity());
}

IoResult UsbBulkReader::Read(uint8_t* data, size_t len) {
  if (!node_) return {0, SysStatus::FromErrno(EBADF)};
  std::lock_guard<std::mutex> lock(node_->lock());
  node_->HandleEvents();
  size_t count = 0;
  while (count < len && Head().Finished()) {
    BulkTransfer& head = Head();
    if (!head.Outcome().ok()) {
      if (count > 0) break;
      return {0, head.Outcome()};
    }
    const size_t n = std::min(head.Actual() - taken_, len - count);
    std::memcpy(data + count, head.Data() + taken_, n);
    count += n;
    taken_ += n;
    if (taken_ == head.Actual()) {
      taken_ = 0;
      Post(head);
      head_ = (head_ + 1) % ring_.size();
    }
  }
  return {count, SysStatus::Ok()};
}

IoResult UsbBulkReader::Write(const uint8_t*, size_t) { return {0, SysStatus::FromErrno(EBADF)}; }

void UsbBulkReader::PollInput(uint32_t ms) {
  if (!node_) return;
  std::lock_guard<std::mutex> lock(node_->lock());
  node_->WaitUntil([this] { return Head().Finished(); }, SystemClock().NowMs() + ms);
}

bool UsbBulkReader::Close() {
  if (!node_) return true;
  {
    std::lock_guard<std::mutex> lock(node_->lock());
    for (const auto& transfer : ring_) transfer->Cancel();
    const auto none_in_flight = [this] {
      return std::none_of(ring_.begin(), ring_.end(), [](const auto& t) { return t->InFlight(); });
    };
    node_->WaitUntil(none_in_flight, SystemClock().NowMs() + kCancelWaitMs);
    for (auto& transfer : ring_) {
      if (transfer->InFlight()) node_->Adopt(std::move(transfer));
    }
    ring_.clear();
    node_->ReturnPipe(BulkDirection::kIn);
  }
  // Outside its lock: the last pipe to go takes the node with it.
  node_.reset();
  return true;
}

}  // namespace flashkit::platform
