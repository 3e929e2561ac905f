#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "protocol/transfer_sink.h"
#include "sim/event_log.h"

namespace flashkit::sim {

// The file name a received name may be stored under: its last path
// component. Nothing for a name that is absolute, climbs with "..", or ends
// without a file name.
std::optional<std::string> StorableName(std::string_view name);

// Holds the one file of a YMODEM batch (or an XMODEM file) in memory, cut to
// its declared size, and notes when its header came (or the transfer began)
// and when its EOT was acknowledged.
class ImageSink : public TransferSink {
 public:
  // Largest image held, so a sender that never stops cannot exhaust memory.
  static constexpr size_t kMaxImageBytes = 256u * 1024 * 1024;

  explicit ImageSink(EventLog& events);

  // Refuses (-400) a name that may not be stored.
  int32_t BeginFile(const char* name, uint32_t size) override;
  int32_t WriteData(const uint8_t* data, uint32_t length) override;

  // Starts a file that comes without a header (XMODEM): everything received
  // is kept, the fill of the last block included.
  void BeginUnnamed();

  bool begun() const { return begun_; }
  bool complete() const { return complete_; }
  const std::string& name() const { return name_; }
  const std::string& file_name() const { return file_name_; }
  uint32_t declared_size() const { return declared_size_; }
  const std::vector<uint8_t>& data() const { return data_; }
  double t_header_ms() const { return t_header_ms_; }
  double t_eot_ms() const { return t_eot_ms_; }

 private:
  EventLog& events_;
  bool begun_ = false;
  bool complete_ = false;
  std::string name_;
  std::string file_name_;
  uint32_t declared_size_ = 0;
  std::vector<uint8_t> data_;
  double t_header_ms_ = 0;
  double t_eot_ms_ = 0;
};

}  // namespace flashkit::sim
