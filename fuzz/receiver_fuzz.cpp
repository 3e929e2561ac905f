#include <cstddef>
#include <cstdint>

#include "fuzz/harness/harnesses.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  flashkit::fuzz::RunReceiver(data, size);
  return 0;
}
