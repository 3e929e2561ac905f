#include "sim/request_listener.h"

#include <cstdio>

namespace flashkit::sim {
namespace {

// Short reads, so a stop is noticed promptly.
constexpr uint32_t kReadSliceMs = 100;

void Report(EventLog& events, const ParsedRequest& request) {
  JsonFields fields;
  fields.Str("form", RequestFormName(request.form));
  if (request.image_type) {
    char type[8];
    std::snprintf(type, sizeof type, "0x%02x", *request.image_type);
    fields.Str("image_type", type);
  }
  fields.Bool("crc_ok", request.crc_ok);
  events.Emit("request", fields);
}

}  // namespace

std::string_view RequestFormName(RequestForm form) {
  for (const ShortRequest& r : ShortRequests()) {
    if (r.form == form) return r.name;
  }
  return "packet";
}

bool WaitForRequest(Port& port, const Crc16Table& crc, EventLog& events, const StopCheck& stopping,
                    std::vector<uint8_t>* leftover) {
  std::vector<uint8_t> pending;
  while (!stopping()) {
    uint8_t buffer[64];
    const int32_t n = port.Read(buffer, sizeof buffer, kReadSliceMs, false);
    if (n < 0) return false;
    pending.insert(pending.end(), buffer, buffer + n);

    while (!pending.empty()) {
      bool need_more = false;
      const auto request = ParseRequest(pending, crc, &need_more);
      if (!request) {
        if (need_more) break;
        pending.erase(pending.begin());  // cannot start a request: resync on the next byte
        continue;
      }
      Report(events, *request);
      pending.erase(pending.begin(), pending.begin() + static_cast<long>(request->length));
      if (request->crc_ok) {
        *leftover = std::move(pending);
        return true;
      }
    }
  }
  return false;
}

}  // namespace flashkit::sim
