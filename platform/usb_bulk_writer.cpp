#include "platform/usb_bulk_writer.h"

#include <algorithm>
#include <cerrno>
#include <cstring>

#include "platform/clock.h"
#include "platform/fd_device.h"

namespace flashkit::platform {
namespace {

// How long a write waits for a cancelled transfer to come back.
constexpr uint32_t kCancelWaitMs = 1000;

}  // namespace

UsbBulkWriter::UsbBulkWriter(std::shared_ptr<UsbBulkNode> node) : node_(std::move(node)) {}

UsbBulkWriter::~UsbBulkWriter() { Close(); }

int UsbBulkWriter::Id() const { return node_ ? node_->fd() : -1; }

IoResult UsbBulkWriter::Read(uint8_t*, size_t) { return {0, SysStatus::FromErrno(EBADF)}; }

// Nothing ever arrives on this pipe; the wait is a plain sleep.
void UsbBulkWriter::PollInput(uint32_t ms) { SystemClock().SleepMs(ms); }

IoResult UsbBulkWriter::Write(const uint8_t* data, size_t len) {
  if (!node_) return {0, SysStatus::FromErrno(EBADF)};
  std::lock_guard<std::mutex> lock(node_->lock());
  size_t done = 0;
  bool go_on = true;
  while (done < len && go_on) {
    const IoResult sent = SendChunk(data + done, std::min(len - done, kChunk), &go_on);
    done += sent.count;
    if (!sent.ok()) return {done, sent.status};
  }
  return {done, SysStatus::Ok()};
}

IoResult UsbBulkWriter::SendChunk(const uint8_t* data, size_t len, bool* go_on) {
  if (!transfer_) {
    const uint8_t endpoint = node_->endpoint(BulkDirection::kOut).address;
    transfer_ = std::make_unique<BulkTransfer>(node_->handle(), endpoint, kChunk);
  }
  std::memcpy(transfer_->Data(), data, len);
  if (const SysStatus submitted = transfer_->Submit(len); !submitted.ok()) {
    *go_on = false;
    return {0, submitted};
  }
  const uint64_t give_up_at = SystemClock().NowMs() + FdDevice::kWriteStallMs;
  if (!node_->WaitUntil([this] { return transfer_->Finished(); }, give_up_at)) Recall();
  if (!transfer_) {
    *go_on = false;
    return {0, SysStatus::Ok()};
  }
  const size_t moved = transfer_->Actual();
  // A chunk cut short reports what moved: the device stalled, or a stop came.
  if (transfer_->Cancelled()) {
    *go_on = false;
    return {moved, SysStatus::Ok()};
  }
  *go_on = transfer_->Outcome().ok();
  return {moved, transfer_->Outcome()};
}

void UsbBulkWriter::Recall() {
  transfer_->Cancel();
  node_->WaitUntil([this] { return transfer_->Finished(); }, SystemClock().NowMs() + kCancelWaitMs);
  if (transfer_->InFlight()) node_->Adopt(std::move(transfer_));
}

bool UsbBulkWriter::Close() {
  if (!node_) return true;
  {
    std::lock_guard<std::mutex> lock(node_->lock());
    // Freed while the handle it was made for is still open.
    transfer_.reset();
    node_->ReturnPipe(BulkDirection::kOut);
  }
  node_.reset();
  return true;
}

}  // namespace flashkit::platform
