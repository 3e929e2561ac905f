#pragma once

#include <cstdint>
#include <functional>
#include <string_view>
#include <vector>

#include "common/crc16_table.h"
#include "common/request_packet.h"
#include "ports/port.h"
#include "sim/event_log.h"

namespace flashkit::sim {

using StopCheck = std::function<bool()>;

// "packet", "taxi", "dg" or "iap-dg".
std::string_view RequestFormName(RequestForm form);

// A board's first step: read until the host asks for download mode with any
// of the request forms, skipping bytes that cannot start one. Every request
// seen is reported; a packet whose CRC does not match is reported and then
// ignored. Returns true for a usable request, with the bytes that followed
// it in `leftover`; false once `stopping` says so or the port fails.
bool WaitForRequest(Port& port, const Crc16Table& crc, EventLog& events, const StopCheck& stopping,
                    std::vector<uint8_t>* leftover);

}  // namespace flashkit::sim
