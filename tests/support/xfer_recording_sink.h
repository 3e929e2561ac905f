#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "protocol/transfer_sink.h"
#include "tests/support/fake_port.h"

namespace flashkit::testing {

// Keeps every call the receiver makes; can refuse a file or a block.
class XferRecordingSink : public TransferSink {
 public:
  struct Begun {
    std::string name;
    uint32_t size;
    bool operator==(const Begun&) const = default;
  };

  int32_t begin_result = 0;
  std::optional<int> fail_block;   // the Nth data block (1-based) is refused with -400
  int32_t end_result = 0;          // answer to the end-of-file call

  std::vector<Begun> begun;
  std::vector<Bytes> blocks;       // data fields, as delivered
  int ends = 0;                    // end-of-file calls

  Bytes Data() const {
    Bytes all;
    for (const Bytes& block : blocks) all.insert(all.end(), block.begin(), block.end());
    return all;
  }

  int32_t BeginFile(const char* name, uint32_t size) override {
    begun.push_back({name, size});
    return begin_result;
  }

  int32_t WriteData(const uint8_t* data, uint32_t length) override {
    if (length == 0) {
      ++ends;
      return end_result;
    }
    if (fail_block && *fail_block == static_cast<int>(blocks.size()) + 1) return -400;
    blocks.emplace_back(data, data + length);
    return static_cast<int32_t>(length);
  }
};

}  // namespace flashkit::testing
