#include "sim/usb_end.h"

#include "sim/device_io.h"

namespace flashkit::sim {

UsbEnd::UsbEnd(std::string label, std::unique_ptr<platform::Device> pipe01,
               std::unique_ptr<platform::Device> pipe00)
    : label_(std::move(label)), pipe01_(std::move(pipe01)), pipe00_(std::move(pipe00)) {}

bool UsbEnd::Take(std::vector<EnteredBytes>& out) { return TakeWaiting(*pipe01_, out); }

long UsbEnd::Give(std::span<const uint8_t> bytes) { return GiveAtOnce(*pipe00_, bytes); }

}  // namespace flashkit::sim
