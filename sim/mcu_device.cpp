#include "sim/mcu_device.h"

#include <cstdio>
#include <numeric>
#include <string>
#include <vector>

namespace flashkit::sim {
namespace {

constexpr uint8_t kGet = 0x00;
constexpr uint8_t kGetVersion = 0x01;
constexpr uint8_t kGetId = 0x02;
constexpr uint8_t kReadMemory = 0x11;
constexpr uint8_t kGo = 0x21;
constexpr uint8_t kWriteMemory = 0x31;
constexpr uint8_t kErase = 0x43;
// The first byte of Erase's parameters that asks for the whole flash.
constexpr uint8_t kGlobalErase = 0xFF;
// How often a device waiting for a command looks whether it should stop.
constexpr uint32_t kIdleSliceMs = 100;

uint8_t Xor(std::span<const uint8_t> bytes, uint8_t start = 0) {
  return std::accumulate(bytes.begin(), bytes.end(), start,
                         [](uint8_t a, uint8_t b) { return static_cast<uint8_t>(a ^ b); });
}

std::string Hex(uint32_t value, int digits) {
  char text[16];
  std::snprintf(text, sizeof text, "0x%0*x", digits, value);
  return text;
}

JsonFields AddressField(uint32_t address) {
  JsonFields fields;
  fields.Str("address", Hex(address, 8));
  return fields;
}

}  // namespace

const McuDevice::CommandRow McuDevice::kCommands[] = {
    {kGet, &McuDevice::ServeGet},
    {kGetVersion, &McuDevice::ServeGetVersion},
    {kGetId, &McuDevice::ServeGetId},
    {kReadMemory, &McuDevice::ServeRead},
    {kGo, &McuDevice::ServeGo},
    {kWriteMemory, &McuDevice::ServeWrite},
    {kErase, &McuDevice::ServeErase},
};

McuDevice::McuDevice(Port& port, EventLog& events, McuFlash& flash, const McuSettings& settings,
                     DeviceBusy busy, StopCheck stopping)
    : port_(port),
      events_(events),
      flash_(flash),
      memory_(flash),
      settings_(settings),
      busy_(std::move(busy)),
      stopping_(std::move(stopping)) {}

void McuDevice::Run() {
  while (ServeOne()) {
  }
}

bool McuDevice::WaitForCommand(uint8_t* code) {
  // A device waits for its host as long as it is powered.
  while (!stopping_()) {
    const int32_t n = port_.Read(code, 1, kIdleSliceMs, false);
    if (n < 0) return false;
    if (n == 1) return true;
  }
  return false;
}

bool McuDevice::ServeOne() {
  uint8_t code = 0;
  if (!WaitForCommand(&code)) return false;
  if (app_running_) return true;
  if (code == kMcuSync) return AnswerSync();
  uint8_t complement = 0;
  if (const Step step = Take(code, {&complement, 1}); step != Step::kGoOn) {
    return step == Step::kEnded;
  }
  if (complement != static_cast<uint8_t>(~code)) return Nack("complement", code);
  for (const CommandRow& row : kCommands) {
    if (row.code == code) return Ack() && (this->*row.serve)();
  }
  return Nack("unknown-command", code);
}

McuDevice::Step McuDevice::Take(uint8_t command, std::span<uint8_t> out) {
  size_t got = 0;
  while (got < out.size()) {
    const int32_t n = port_.Read(out.data() + got, static_cast<uint32_t>(out.size() - got),
                                 kFrameGapMs, false);
    if (n < 0) return Step::kPortFailed;
    if (n == 0) {
      events_.Emit("frame-timeout", JsonFields()
                                        .Str("command", Hex(command, 2))
                                        .Int("got", static_cast<int64_t>(got))
                                        .Int("wanted", static_cast<int64_t>(out.size())));
      return Step::kEnded;
    }
    got += static_cast<size_t>(n);
  }
  return Step::kGoOn;
}

McuDevice::Step McuDevice::TakeAddress(uint8_t command, uint32_t* address) {
  uint8_t frame[5] = {};
  if (const Step step = Take(command, frame); step != Step::kGoOn) return step;
  if (Xor(std::span(frame, 4)) != frame[4]) return NackStep("checksum", command);
  *address = (uint32_t{frame[0]} << 24) | (uint32_t{frame[1]} << 16) | (uint32_t{frame[2]} << 8) |
             frame[3];
  return Step::kGoOn;
}

bool McuDevice::Reply(std::span<const uint8_t> bytes) {
  return port_.Write(bytes.data(), static_cast<uint32_t>(bytes.size()), kFrameGapMs, false) >= 0;
}

bool McuDevice::Ack() { return Reply(std::span(&kMcuAck, 1)); }

bool McuDevice::Nack(std::string_view reason, uint8_t command) {
  events_.Emit("nack", JsonFields().Str("reason", reason).Str("command", Hex(command, 2)));
  return Reply(std::span(&kMcuNack, 1));
}

McuDevice::Step McuDevice::NackStep(std::string_view reason, uint8_t command) {
  return Nack(reason, command) ? Step::kEnded : Step::kPortFailed;
}

bool McuDevice::AnswerSync() {
  if (synced_) {
    events_.Emit("sync-again");
    return Reply(std::span(&kMcuNack, 1));
  }
  synced_ = true;
  events_.Emit("sync");
  return Ack();
}

bool McuDevice::ServeGet() {
  events_.Emit("get");
  std::vector<uint8_t> reply = {static_cast<uint8_t>(std::size(kCommands)), kMcuBootloaderVersion};
  for (const CommandRow& row : kCommands) reply.push_back(row.code);
  reply.push_back(kMcuAck);
  return Reply(reply);
}

bool McuDevice::ServeGetVersion() {
  events_.Emit("get-version");
  // Two option bytes follow the version on a USART bootloader.
  const uint8_t reply[] = {kMcuBootloaderVersion, 0x00, 0x00, kMcuAck};
  return Reply(reply);
}

bool McuDevice::ServeGetId() {
  events_.Emit("get-id");
  const uint8_t reply[] = {0x01, static_cast<uint8_t>(settings_.product_id >> 8),
                           static_cast<uint8_t>(settings_.product_id), kMcuAck};
  return Reply(reply);
}

bool McuDevice::ServeRead() {
  uint32_t address = 0;
  if (const Step step = TakeAddress(kReadMemory, &address); step != Step::kGoOn) {
    return step == Step::kEnded;
  }
  if (!memory_.Read(address, 1)) return Nack("address", kReadMemory);
  if (!Ack()) return false;
  uint8_t length[2] = {};
  if (const Step step = Take(kReadMemory, length); step != Step::kGoOn) {
    return step == Step::kEnded;
  }
  if (length[1] != static_cast<uint8_t>(~length[0])) return Nack("checksum", kReadMemory);
  const uint32_t count = length[0] + 1u;
  auto bytes = memory_.Read(address, count);
  if (!bytes) return Nack("address", kReadMemory);
  events_.Emit("read", AddressField(address).Int("length", count));
  bytes->insert(bytes->begin(), kMcuAck);
  return Reply(*bytes);
}

bool McuDevice::ServeGo() {
  uint32_t address = 0;
  if (const Step step = TakeAddress(kGo, &address); step != Step::kGoOn) {
    return step == Step::kEnded;
  }
  if (!memory_.Runnable(address)) return Nack("address", kGo);
  if (!Ack()) return false;
  events_.Emit("go", AddressField(address));
  if (address == flash_.base()) {
    events_.Emit("loader-running");
    return true;
  }
  app_running_ = true;
  events_.Emit("app-running", AddressField(address));
  return true;
}

bool McuDevice::ServeWrite() {
  uint32_t address = 0;
  if (const Step step = TakeAddress(kWriteMemory, &address); step != Step::kGoOn) {
    return step == Step::kEnded;
  }
  if (!flash_.Contains(address, 1)) return Nack("address", kWriteMemory);
  if (!Ack()) return false;
  uint8_t count_code = 0;
  if (const Step step = Take(kWriteMemory, {&count_code, 1}); step != Step::kGoOn) {
    return step == Step::kEnded;
  }
  // The data bytes, then the XOR of the count byte and the data.
  std::vector<uint8_t> frame(count_code + 2u);
  if (const Step step = Take(kWriteMemory, frame); step != Step::kGoOn) {
    return step == Step::kEnded;
  }
  const auto data = std::span(frame).first(frame.size() - 1);
  if (Xor(data, count_code) != frame.back()) return Nack("checksum", kWriteMemory);
  if (!flash_.Contains(address, data.size())) return Nack("address", kWriteMemory);

  busy_((data.size() + 1) / 2 * settings_.program_us);
  const bool dirty = flash_.Write(address, data);
  const auto length = static_cast<int64_t>(data.size());
  events_.Emit("write", AddressField(address).Int("length", length).Bool("dirty", dirty));
  if (dirty) events_.Emit("dirty-write", AddressField(address).Int("length", length));
  return Ack();
}

bool McuDevice::ServeErase() {
  uint8_t count_code = 0;
  if (const Step step = Take(kErase, {&count_code, 1}); step != Step::kGoOn) {
    return step == Step::kEnded;
  }
  return count_code == kGlobalErase ? EraseAll() : ErasePages(count_code);
}

bool McuDevice::EraseAll() {
  uint8_t check = 0;
  if (const Step step = Take(kErase, {&check, 1}); step != Step::kGoOn) {
    return step == Step::kEnded;
  }
  if (check != static_cast<uint8_t>(~kGlobalErase)) return Nack("checksum", kErase);
  busy_(uint64_t{settings_.mass_erase_ms} * 1000);
  flash_.EraseAll();
  events_.Emit("erase", JsonFields().Bool("global", true));
  return Ack();
}

bool McuDevice::ErasePages(uint8_t count_code) {
  // The page numbers, then the XOR of the count byte and the page numbers.
  std::vector<uint8_t> frame(count_code + 2u);
  if (const Step step = Take(kErase, frame); step != Step::kGoOn) return step == Step::kEnded;
  const auto pages = std::span(frame).first(frame.size() - 1);
  if (Xor(pages, count_code) != frame.back()) return Nack("checksum", kErase);
  for (const uint8_t page : pages) {
    if (page >= flash_.pages()) return Nack("address", kErase);
  }
  busy_(uint64_t{settings_.page_erase_ms} * 1000 * pages.size());
  std::string list;
  for (const uint8_t page : pages) {
    flash_.ErasePage(page);
    list.append(list.empty() ? "" : ",").append(std::to_string(page));
  }
  events_.Emit("erase", JsonFields().Raw("pages", "[" + list + "]"));
  return Ack();
}

}  // namespace flashkit::sim
