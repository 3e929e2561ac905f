#pragma once

#include <cstdint>

// Time-outs (milliseconds) and retry limits of both directions, in one place.
namespace flashkit::xfer::limits {

inline constexpr uint32_t kWriteMs = 1000;          // every write of a byte, frame or cancel burst
inline constexpr uint32_t kStartPollMs = 10;        // one poll for the receiver's start character
inline constexpr uint32_t kMinStartBudgetMs = 11000;
inline constexpr uint32_t kPartialWriteAnswerMs = 10;
inline constexpr uint32_t kAnswerMs = 40000;        // ACK or NAK to a block or the EOT
inline constexpr uint32_t kPurgeQuietMs = 500;      // sender: silence that ends a purge
inline constexpr uint32_t kRestartMs = 11000;       // YMODEM: start character after block 0 / EOT
inline constexpr uint32_t kBlockSilenceMs = 11000;  // receiver: wait for a frame, and purge silence

inline constexpr int32_t kTransmissions = 20;  // sends of one frame before giving up
inline constexpr int32_t kAttempts = 20;       // receptions of one block before giving up
inline constexpr int32_t kRepeats = 20;        // the previous block again, acknowledged again
inline constexpr uint32_t kCancelBurst = 5;

}  // namespace flashkit::xfer::limits
