#include "ports/status_text.h"

#include "ports/status.h"

namespace flashkit {

const char* StatusMeaning(int32_t code) {
  switch (code) {
    case status::kOk: return "success";
    case status::kPortError: return "the port could not be opened or set up";
    case status::kPortNotFound: return "no such port";
    case status::kPortAccessDenied: return "the port is held by another program, or access is denied";
    case status::kPortBadSettings: return "the port refused the line settings";
    case status::kPortWriteFailed: return "writing to the device failed";
    case status::kPortReadFailed: return "reading from the device failed";
    case status::kTimeout: return "the device did not answer in time";
    case status::kTooManyRetries: return "a block was sent 20 times without being accepted";
    case status::kTooManyErrors: return "20 damaged attempts at one block";
    case status::kSourceFailed: return "the file could not be read, or the device never became ready";
    case status::kUnexpectedReply: return "the device answered out of turn";
    case status::kCancelled: return "the device cancelled the transfer";
    case status::kHeaderTooLong: return "the file name and size do not fit the header block";
    case status::kSinkFailed: return "the received file could not be written";
    case status::kBadHeader: return "the header block was malformed";
    case status::kSecondFile: return "the device sent a second file";
    case status::kNoPortObject: return "the port could not be created";
    case status::kLogFileFailed: return "the log file could not be created";
    case status::kInterrupted: return "stopped by a signal";
    default: return "unknown status";
  }
}

}  // namespace flashkit
