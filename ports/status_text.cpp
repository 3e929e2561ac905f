#include "ports/status_text.h"

#include "ports/status.h"

namespace flashkit {
namespace {
constexpr char kUnknown[] = "unknown status";
}  // namespace

const char* StatusMeaning(int32_t code) {
  switch (code) {
    case status::kOk: return "success";
    case status::kPortError: return "the port could not be opened or set up";
    case status::kPortNotFound: return "no such port";
    case status::kPortAccessDenied: return "the port is held by another program, or you may not open it";
    case status::kPortBadSettings: return "the adapter refused the line settings (the baud rate)";
    case status::kPortWriteFailed: return "writing to the port failed (adapter unplugged, line hung up)";
    case status::kPortReadFailed: return "reading from the port failed (adapter unplugged, line hung up)";
    case status::kTimeout: return "time-out: no start character, no answer, or nothing received";
    case status::kTooManyRetries: return "a block was sent 20 times without being accepted";
    case status::kTooManyErrors: return "20 attempts to receive a block failed";
    case status::kSourceFailed:
      return "the file to send cannot be opened or read, or the download request could not be written";
    case status::kUnexpectedReply: return "the receiver answered with something other than its start character";
    case status::kCancelled: return "the receiver cancelled the transfer";
    case status::kHeaderTooLong: return "the file name and size do not fit the header block";
    case status::kSinkFailed: return "the received file cannot be created or written";
    case status::kBadHeader: return "the sender's header block is malformed";
    case status::kSecondFile: return "the sender offered a second file (one file per run)";
    case status::kNoPortObject: return "out of memory for the port";
    case status::kLogFileFailed: return "the log file cannot be created or written";
    case status::kInterrupted: return "stopped by a signal";
    default: return kUnknown;
  }
}

bool HasMeaning(int32_t status) { return StatusMeaning(status) != kUnknown; }

}  // namespace flashkit
