#pragma once

#include <cstdint>

namespace flashkit {

// linkxfer's status codes: negative, grouped by hundreds, carried up
// unchanged and turned into words and an exit status only by the front end.
namespace status {
inline constexpr int32_t kOk = 0;

inline constexpr int32_t kPortError = -100;          // open or set-up failed otherwise
inline constexpr int32_t kPortNotFound = -101;       // no such port (or number >= 1000)
inline constexpr int32_t kPortAccessDenied = -102;   // held by another program
inline constexpr int32_t kPortBadSettings = -103;    // driver refused the line settings
inline constexpr int32_t kPortWriteFailed = -104;
inline constexpr int32_t kPortReadFailed = -105;

inline constexpr int32_t kTimeout = -200;
inline constexpr int32_t kTooManyRetries = -202;     // a block sent 20 times unaccepted
inline constexpr int32_t kTooManyErrors = -203;      // 20 rejected attempts at one block

inline constexpr int32_t kSourceFailed = -300;       // file to send, or the start handshake
inline constexpr int32_t kUnexpectedReply = -301;    // YMODEM: not the start character again
inline constexpr int32_t kCancelled = -302;          // two CAN in a row
inline constexpr int32_t kHeaderTooLong = -303;      // name and size do not fit block 0

inline constexpr int32_t kSinkFailed = -400;         // received file cannot be created or written
inline constexpr int32_t kBadHeader = -403;          // malformed YMODEM block 0
inline constexpr int32_t kSecondFile = -404;         // a second file in a YMODEM batch

inline constexpr int32_t kNoPortObject = -500;
inline constexpr int32_t kLogFileFailed = -501;
inline constexpr int32_t kInterrupted = -502;        // a stop signal (Ctrl-C, SIGTERM) ended a wait
}  // namespace status

}  // namespace flashkit
