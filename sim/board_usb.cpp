#include <utility>

#include "ports/status.h"
#include "sim/board.h"
#include "sim/leftover_port.h"
#include "sim/start_bytes.h"

namespace flashkit::sim {

// Over USB the host reads nothing until it waits for the receiver's start
// character, so nothing is answered before the transfer. Only the first
// round of a host can be an XMODEM one: that host sends no request at all.
bool Board::ServeUsbRound() {
  std::vector<uint8_t> input = std::exchange(carried_, {});
  if (std::exchange(host_new_, false)) {
    uint8_t buffer[64];
    const int32_t n = port_.Read(buffer, sizeof buffer, kXmodemSilenceMs, false);
    if (n < 0) return false;
    if (n == 0) return ServeXmodem();
    input.assign(buffer, buffer + n);
  }

  LeftoverPort line(port_, input);
  std::vector<uint8_t> leftover;
  if (!WaitForRequest(line, crc_, events_, stopping_, &leftover)) return false;
  const std::span<const uint8_t> unread = line.Unread();
  leftover.insert(leftover.end(), unread.begin(), unread.end());

  std::vector<uint8_t> rest;
  switch (TakeStartBytes(port_, clock_, events_, leftover, stopping_, &rest)) {
    case StartBytesOutcome::kDone:
      break;
    case StartBytesOutcome::kWrongByte:
      ReportError("prompt", status::kUnexpectedReply, rest.front());
      carried_ = std::move(rest);
      return false;
    case StartBytesOutcome::kTimedOut:
      ReportError("prompt", status::kTimeout);
      return false;
    case StartBytesOutcome::kStopped:
      return false;
  }

  ImageSink sink(events_);
  const int32_t result = Receive(sink);
  return Completed(sink, result) &&
         StoreAndReport(sink, sink.name(), sink.file_name(), kYmodemName).has_value();
}

// XMODEM carries no name and no size: the file is kept as it came, whole
// blocks and fill included, under the first free xmodem-<n>.bin.
bool Board::ServeXmodem() {
  ImageSink sink(events_);
  sink.BeginUnnamed();
  const int32_t result = ReceiveXmodem(sink);
  if (!Completed(sink, result)) return false;
  const std::string name = UnusedFileName(settings_.store_dir, "xmodem-", ".bin");
  return StoreAndReport(sink, name, name, kXmodemName).has_value();
}

}  // namespace flashkit::sim
