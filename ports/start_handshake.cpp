#include <string_view>
#include <vector>

#include "common/request_packet.h"
#include "platform/signals.h"
#include "ports/device_port.h"
#include "ports/status.h"

namespace flashkit {
namespace {

// Which request a board expects, told by the start of the image's name. The
// first row that matches decides; names compare case-sensitively from their
// first character, directory part and all.
enum class Match { kWhole, kPrefix };

struct PacketChoice {
  Match match;
  std::string_view text;
  RequestForm form;
  ImageType type;  // for the 12-byte packet
};

constexpr PacketChoice kPacketChoices[] = {
    {Match::kWhole, "ZQT410_TAXI_SK.bin", RequestForm::kTaxi, ImageType::kOther},
    {Match::kPrefix, "ZQT410_DG", RequestForm::kDg, ImageType::kOther},
    // The first 12 characters of "ZQT410_IAP_DG": its last letter is not looked at.
    {Match::kPrefix, "ZQT410_IAP_D", RequestForm::kIapDg, ImageType::kOther},
    {Match::kPrefix, "ZQT410_IAP", RequestForm::kPacket, ImageType::kIap},
    {Match::kPrefix, "iap", RequestForm::kPacket, ImageType::kIap},
};
constexpr PacketChoice kAnyOtherName{Match::kPrefix, "", RequestForm::kPacket, ImageType::kOther};

const PacketChoice& ChoosePacket(std::string_view name) {
  for (const PacketChoice& choice : kPacketChoices) {
    const bool hit = choice.match == Match::kWhole ? name == choice.text : name.starts_with(choice.text);
    if (hit) return choice;
  }
  return kAnyOtherName;
}

std::vector<uint8_t> PacketBytes(const PacketChoice& choice, const Crc16Table& crc) {
  for (const ShortRequest& request : ShortRequests()) {
    if (request.form == choice.form) return {request.bytes.begin(), request.bytes.end()};
  }
  RequestPacket packet;
  packet.Fill(choice.type, crc);
  return {packet.bytes.begin(), packet.bytes.end()};
}

struct LinkTexts {
  const char* packet_failed;
  const char* start_byte_failed;
};
constexpr LinkTexts kComTexts{"Start char error1_1", "Start char error2_1"};
constexpr LinkTexts kUsbTexts{"Start char error1_2", "Start char error2"};

constexpr int kWaitingLines = 1000;
constexpr uint8_t kStartByte = '1';
constexpr uint8_t kReady = 'C';
constexpr uint8_t kEndOfAnswer = 0x00;
constexpr uint32_t kFirstPromptDelayMs = 1000;
constexpr uint32_t kPromptGapMs = 10;
constexpr int kUsbStartBytes = 10;

// One platform write, its count not looked at: the handshake has no time-out.
bool WriteOnce(platform::Device* device, const uint8_t* data, size_t length) {
  return device != nullptr && device->Write(data, length).ok();
}

// Reads what the device has answered, a byte at a time, until it runs out,
// sends 0x00, or sends the ready character.
bool AnsweredReady(platform::Device& line) {
  for (;;) {
    uint8_t byte = 0;
    const platform::IoResult result = line.Read(&byte, 1);
    if (!result.ok() || result.count == 0 || byte == kEndOfAnswer) return false;
    if (byte == kReady) return true;
  }
}

}  // namespace

int32_t DevicePort::SendRequest(const char* name, bool use_usb) {
  const LinkTexts& texts = use_usb ? kUsbTexts : kComTexts;
  const std::vector<uint8_t> packet =
      PacketBytes(ChoosePacket(name != nullptr ? name : ""), crc_);
  if (!WriteOnce(Sender(use_usb), packet.data(), packet.size())) {
    out_.Print(texts.packet_failed);
    return status::kSourceFailed;
  }
  ShowWaiting();
  const int32_t result = use_usb ? PromptPipe() : PromptUntilReady();
  if (result == status::kSourceFailed) out_.Print(texts.start_byte_failed);
  return result;
}

void DevicePort::ShowWaiting() {
  out_.Print("\r\n");
  for (int i = 0; i < kWaitingLines; ++i) out_.Print("Waiting........\r");
  out_.Print("Try to send Request packet!\n");
}

// The device reads the pipe in its own time; nothing comes back here.
int32_t DevicePort::PromptPipe() {
  for (int i = 0; i < kUsbStartBytes; ++i) {
    if (!WriteOnce(m_WRDev.get(), &kStartByte, 1)) return status::kSourceFailed;
    system_.clock().SleepMs(kPromptGapMs);
  }
  return 0;
}

// Prompts until the device is ready, however long that takes: for a board
// that never answers, the user's Ctrl-C ends the wait.
int32_t DevicePort::PromptUntilReady() {
  platform::Clock& clock = system_.clock();
  const uint64_t started = clock.NowMs();
  clock.SleepMs(kFirstPromptDelayMs);
  for (;;) {
    if (platform::StopSignal() != 0) return status::kInterrupted;
    if (prompt_limit_ms_ != 0 && clock.NowMs() - started >= prompt_limit_ms_) return status::kTimeout;
    out_.Print(".");
    if (!WriteOnce(m_hCom.get(), &kStartByte, 1)) return status::kSourceFailed;
    if (AnsweredReady(*m_hCom)) return 1;
    clock.SleepMs(kPromptGapMs);
  }
}

}  // namespace flashkit
