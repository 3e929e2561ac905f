#include "tests/support/boot_device.h"

#include <algorithm>
#include <cstdio>

namespace flashkit::testing {
namespace {

constexpr uint8_t kAck = 0x79;
constexpr uint8_t kNack = 0x1F;
constexpr uint8_t kSync = 0x7F;
constexpr uint8_t kGetId = 0x02;
constexpr uint8_t kGo = 0x21;
constexpr uint8_t kErase = 0x43;
constexpr uint8_t kWrite = 0x31;

const std::map<int, const char*> kNames = {
    {kSync, "sync"}, {kGetId, "get id"}, {kGo, "go"}, {kErase, "erase"}, {kWrite, "write"}};

const std::map<BootDevice::Answer, const char*> kAnswerNames = {
    {BootDevice::Answer::kSilent, "silent"},
    {BootDevice::Answer::kNack, "nack"},
    {BootDevice::Answer::kGarbage, "garbage"},
    {BootDevice::Answer::kDoubleAck, "double ack"}};

uint8_t Xor(std::span<const uint8_t> bytes) {
  uint8_t sum = 0;
  for (uint8_t b : bytes) sum ^= b;
  return sum;
}

std::string Hex32(uint32_t value) {
  char text[9];
  std::snprintf(text, sizeof(text), "%08X", value);
  return text;
}

}  // namespace

void BootDevice::Attach(FakeRingPort& port) {
  port.on_write = [this](FakeRingPort& p, std::span<const uint8_t> frame) { OnFrame(p, frame); };
}

std::vector<uint8_t> BootDevice::FlashAt(uint32_t address, size_t length) const {
  std::vector<uint8_t> bytes;
  for (size_t i = 0; i < length; ++i) {
    auto it = flash.find(address + static_cast<uint32_t>(i));
    bytes.push_back(it == flash.end() ? 0xFF : it->second);
  }
  return bytes;
}

void BootDevice::Reply(FakeRingPort& port, std::vector<uint8_t> bytes) {
  port.Arrive(bytes, delay_ms_);
}

bool BootDevice::TakeAddress(FakeRingPort& port, std::span<const uint8_t> frame,
                             uint32_t& address) {
  if (frame.size() != 5 || Xor(frame.first(4)) != frame[4]) {
    commands.push_back("?");
    Reply(port, {kNack});
    return false;
  }
  address =
      uint32_t{frame[0]} << 24 | uint32_t{frame[1]} << 16 | uint32_t{frame[2]} << 8 | frame[3];
  return true;
}

void BootDevice::OnFrame(FakeRingPort& port, std::span<const uint8_t> frame) {
  const Expect expect = expect_;
  expect_ = Expect::kCommand;
  uint32_t address = 0;
  switch (expect) {
    case Expect::kCommand:
      if (frame.size() == 1 && frame[0] == kSync) return OnCommand(port, kSync);
      if (frame.size() == 2 && (frame[0] ^ frame[1]) == 0xFF) return OnCommand(port, frame[0]);
      break;
    case Expect::kGoAddress:
      if (!TakeAddress(port, frame, address)) return;
      commands.push_back("go " + Hex32(address));
      return Reply(port, {kAck});
    case Expect::kWriteAddress:
      if (!TakeAddress(port, frame, write_address_)) return;
      expect_ = Expect::kWriteData;
      return Reply(port, {kAck});
    case Expect::kWriteData:
      if (frame.size() >= 3 && frame.size() == size_t{frame[0]} + 3u &&
          Xor(frame.first(frame.size() - 1)) == frame.back()) {
        for (size_t i = 1; i + 1 < frame.size(); ++i) {
          flash[write_address_ + static_cast<uint32_t>(i - 1)] = frame[i];
        }
        commands.push_back("write " + Hex32(write_address_) + " +" +
                           std::to_string(frame.size() - 2));
        return Reply(port, {kAck});
      }
      break;
    case Expect::kEraseParams:
      if (frame.size() == 2 && frame[0] == 0xFF && frame[1] == 0x00) {
        flash.clear();
        commands.push_back("erase all");
        return Reply(port, {kAck});
      }
      if (frame.size() == 3 && (frame[0] ^ frame[1]) == frame[2]) {
        commands.push_back("erase " + std::to_string(frame[0]) + " from " +
                           std::to_string(frame[1]));
        return Reply(port, {kAck});
      }
      break;
  }
  commands.push_back("?");
  Reply(port, {kNack});
}

void BootDevice::OnCommand(FakeRingPort& port, uint8_t code) {
  auto name = kNames.find(code);
  if (name == kNames.end()) {
    commands.push_back("?");
    return Reply(port, {kNack});
  }
  const int nth = ++seen_[code];
  const int nth_any = ++seen_[kAnyCommand];
  auto fault = std::find_if(faults_.begin(), faults_.end(), [&](const Fault& f) {
    const int n = f.command == kAnyCommand ? nth_any : nth;
    return (f.command == kAnyCommand || f.command == code) && n >= f.first && n <= f.last;
  });

  std::vector<uint8_t> reply;
  if (fault != faults_.end()) {
    commands.push_back(std::string(name->second) + ": " + kAnswerNames.at(fault->answer));
    switch (fault->answer) {
      case Answer::kSilent:
        return;
      case Answer::kNack:
        return Reply(port, {kNack});
      case Answer::kGarbage:
        return Reply(port, {0xA5});
      case Answer::kDoubleAck:
        reply.push_back(kAck);
        break;
    }
  }

  switch (code) {
    case kSync:
      if (fault == faults_.end()) commands.push_back("sync");
      reply.push_back(kAck);
      break;
    case kGetId:
      if (fault == faults_.end()) commands.push_back("get id");
      reply.insert(reply.end(), {kAck, 0x01, 0x04, 0x10, kAck});
      break;
    case kGo:
      expect_ = Expect::kGoAddress;
      reply.push_back(kAck);
      break;
    case kErase:
      expect_ = Expect::kEraseParams;
      reply.push_back(kAck);
      break;
    case kWrite:
      expect_ = Expect::kWriteAddress;
      reply.push_back(kAck);
      break;
  }
  Reply(port, reply);
}

}  // namespace flashkit::testing
