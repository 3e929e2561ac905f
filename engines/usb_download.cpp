#include "engines/usb_download.h"

#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <filesystem>
#include <optional>
#include <new>

namespace flashkit {
namespace {

constexpr uint32_t kConnectPauseMs = 100;
constexpr int kConnectTries = 1000;
// The device re-enumerates after the request packet.
constexpr uint32_t kReenumerateMs = 1000;
constexpr uint32_t kHeaderPauseMs = 1;
constexpr uint32_t kTimerPeriodMs = 1;
constexpr char kRunCondition[] = "RUN";

constexpr char kNotConfirmed[] =
    "The USB device did not confirm the end of the download (no 0x06 after the end frame); "
    "the image may not have been stored.";

std::string Refused(uint8_t answer) {
  char text[96];
  std::snprintf(text, sizeof text,
                "The device refused the image: it answered 0x%02X, not 0x06, to the end frame.",
                answer);
  return text;
}

constexpr char kNoConfirmation[] =
    "The device did not confirm the image: no 0x06 came within 100 ms of the end frame.";

std::string Quantity(uint64_t bytes) { return std::to_string(bytes) + " bytes"; }

}  // namespace

UsbFramedDownload::UsbFramedDownload(UsbLink& link, UsbDownloadView& view, platform::Clock& clock)
    : m_Usb(link), view_(view), clock_(clock) {}

UsbFramedDownload::~UsbFramedDownload() {
  {
    std::lock_guard<std::mutex> lock(finish_mutex_);
    stopping_ = true;
    m_hSenderThread = false;
  }
  WaitForSender();
  ReleaseImage();
}

bool UsbFramedDownload::SenderRunning() const { return m_hSenderThread; }

void UsbFramedDownload::WaitForSender() {
  if (sender_.joinable()) sender_.join();
}

void UsbFramedDownload::UsbDownload(const std::string& file_name, const std::string& condition) {
  if (SenderRunning()) {
    view_.ShowMessage("A USB download is still running; wait until it has ended.");
    return;
  }
  // The previous sender has cleared its mark and has nothing left to do.
  WaitForSender();
  stopped_at_ = 0;
  view_.PlayAnimation(kSendAnimationId);
  // The kind is in the name, wherever the file lies.
  const std::string name = std::filesystem::path(file_name).filename().string();
  const UsbImageKind& kind = UsbImageKindOf(name);
  const bool run = condition == kRunCondition;
  // Without the header a named image's size goes nowhere; it only has to
  // fit the byte count.
  const bool size_sent = kind.flow == UsbFlow::kSizeAnnounced || run;
  const uint32_t limit =
      size_sent ? UsbMaxImageSize(kind.flow) : static_cast<uint32_t>(INT32_MAX);
  if (!LoadImage(file_name, limit)) {
    Leave();
    return;
  }
  m_RequestPacket.Fill(kind.type, m_Crc);
  if (kind.flow == UsbFlow::kSizeAnnounced) {
    SizeAnnouncedFlow(name);
  } else {
    NamedImageFlow(kind, run);
  }
}

bool UsbFramedDownload::LoadImage(const std::string& file_name, uint32_t limit) {
  const std::string cannot_read = "The image file " + file_name + " cannot be read.";
  // A folder opens for reading as well, and measures as nonsense.
  std::error_code error;
  if (!std::filesystem::is_regular_file(file_name, error) ||
      (m_ImageFile = std::fopen(file_name.c_str(), "rb")) == nullptr) {
    view_.ShowMessage("The image file " + file_name + " cannot be opened.");
    return false;
  }
  long end = -1;
  if (std::fseek(m_ImageFile, 0, SEEK_END) == 0) end = std::ftell(m_ImageFile);
  if (end < 0 || std::fseek(m_ImageFile, 0, SEEK_SET) != 0) {
    view_.ShowMessage(cannot_read);
    return false;
  }
  const uint64_t size = static_cast<uint64_t>(end);
  // Beyond its digits the size field would describe another size.
  if (size > limit) {
    view_.ShowMessage(file_name + " is " + Quantity(size) + "; the USB download takes at most " +
                      std::to_string(limit) + " bytes for this kind of image.");
    return false;
  }
  m_pImage.reset(new (std::nothrow) uint8_t[size]);
  if (m_pImage == nullptr) {
    view_.ShowMessage("There is not enough memory to hold " + file_name + " (" + Quantity(size) +
                      ").");
    return false;
  }
  const size_t read = std::fread(m_pImage.get(), 1, size, m_ImageFile);
  if (std::ferror(m_ImageFile)) {
    view_.ShowMessage(cannot_read);
    return false;
  }
  m_TotalSize = static_cast<int32_t>(read);
  return true;
}

int32_t UsbFramedDownload::ConnectUsb() {
  if (m_Usb.Connect() == 1) {
    view_.AppendInfo("<CONNECTED>");
    view_.PlayAnimation(kConnectAnimationId);
    return 1;
  }
  view_.AppendInfo(".");
  view_.StopAnimation(kConnectAnimationId);
  return 0;
}

bool UsbFramedDownload::ConnectWithRetries() {
  clock_.SleepMs(kConnectPauseMs);
  for (int tries = 0; tries < kConnectTries; ++tries) {
    if (ConnectUsb() == 1) return true;
    clock_.SleepMs(kConnectPauseMs);
  }
  return false;
}

void UsbFramedDownload::SizeAnnouncedFlow(const std::string& file_name) {
  if (!ConnectWithRetries()) {
    Leave();
    return;
  }
  // The device answers the request by re-enumerating, not on the pipe.
  m_Usb.Write(m_RequestPacket.bytes.data(), static_cast<uint32_t>(m_RequestPacket.bytes.size()));
  m_Usb.Close();
  clock_.SleepMs(kReenumerateMs);
  if (!ConnectWithRetries()) {
    Leave();
    return;
  }
  if (!Exchange(SizeFrame(static_cast<uint32_t>(m_TotalSize)))) {
    GiveUp(0);
    return;
  }
  m_BytesSent = 0;
  m_PayloadSize = UsbPayloadSize(file_name);
  StartSender();
  view_.SetProgressRange(static_cast<uint32_t>(m_TotalSize / m_PayloadSize + 1));
  view_.SetTimer(kProgressTimerId, kTimerPeriodMs);
}

void UsbFramedDownload::StartSender() {
  if (m_hSenderThread) return;
  // Marked before the thread first looks at the mark.
  m_hSenderThread = true;
  sender_ = std::thread([this] { SenderThread(); });
}

void UsbFramedDownload::SenderThread() {
  bool ended = false;
  int32_t sent = 0;
  while (m_hSenderThread) {
    sent = m_BytesSent;
    if (sent < m_TotalSize) {
      const UsbFrame frame = DataFrame(m_pImage.get(), static_cast<uint32_t>(m_TotalSize),
                                       static_cast<uint32_t>(sent),
                                       static_cast<uint32_t>(m_PayloadSize));
      if (Exchange(frame)) {
        m_BytesSent = sent + m_PayloadSize;
        continue;
      }
    } else {
      // This flow ends with "run" whatever condition was chosen.
      ended = SendFrame(EndFrame(true));
    }
    break;
  }
  const int32_t total = m_TotalSize;
  m_Usb.Close();
  ReleaseImage();
  std::lock_guard<std::mutex> lock(finish_mutex_);
  // Stopped from outside: the dialog is going away and hears nothing more.
  if (stopping_) return;
  StopAnimations();
  m_hSenderThread = false;
  if (ended) {
    view_.ShowSettings(1);
  } else {
    ReportStopped(std::min(sent, total), total);
  }
}

void UsbFramedDownload::OnTimer(int32_t id) {
  if (id != kProgressTimerId) return;
  const int32_t sent = m_BytesSent;
  // A sender that stopped early leaves the count short for good.
  if (m_hSenderThread && sent < m_TotalSize) {
    view_.SendProgress(static_cast<uint32_t>(sent / m_PayloadSize + 1), 0);
  } else {
    view_.KillTimer(kProgressTimerId);
  }
}

void UsbFramedDownload::NamedImageFlow(const UsbImageKind& kind, bool run) {
  if (!ConnectWithRetries()) {
    Leave();
    return;
  }
  const uint32_t total = static_cast<uint32_t>(m_TotalSize);
  if (run) {
    if (!SendFrame(HeaderFrame(kind, total))) {
      GiveUp(0);
      return;
    }
    clock_.SleepMs(kHeaderPauseMs);
    view_.SetProgressRange(total / kNamedPayloadSize + 1);
    uint32_t frames = 0;
    for (uint32_t offset = 0; offset < total; offset += kNamedPayloadSize) {
      if (!SendFrame(DataFrame(m_pImage.get(), total, offset, kNamedPayloadSize))) {
        GiveUp(static_cast<int32_t>(offset));
        return;
      }
      view_.SendProgress(++frames, 0);
    }
  }
  view_.SetProgressPos(total);
  if (!SendFrame(EndFrame(run))) {
    GiveUp(run ? m_TotalSize : 0);
    return;
  }
  // Writes that went through prove only that the link took the bytes; the
  // device's 0x06 is the one sign that it has the image.
  std::optional<uint8_t> other;
  const bool confirmed = m_Usb.WaitForByte(kUsbAck, &other) == 1;
  EndDownload();
  if (confirmed) {
    view_.ShowSettings(1);
    return;
  }
  view_.ShowMessage(kNotConfirmed);
  view_.ShowOutcome(other ? Refused(*other) : kNoConfirmation);
}

bool UsbFramedDownload::SendFrame(const UsbFrame& frame) {
  return m_Usb.Write(frame.data(), frame.length) == static_cast<int32_t>(frame.length);
}

bool UsbFramedDownload::Exchange(const UsbFrame& frame) {
  if (!SendFrame(frame)) return false;
  // The answer's value means nothing; that it came paces the frames.
  uint8_t answer = 0;
  return m_Usb.Read(&answer, 1) == 1;
}

void UsbFramedDownload::ReleaseImage() {
  m_pImage.reset();
  if (m_ImageFile != nullptr) std::fclose(m_ImageFile);
  m_ImageFile = nullptr;
}

void UsbFramedDownload::StopAnimations() {
  view_.StopAnimation(kConnectAnimationId);
  view_.StopAnimation(kSendAnimationId);
}

void UsbFramedDownload::Leave() {
  ReleaseImage();
  StopAnimations();
}

void UsbFramedDownload::EndDownload() {
  m_Usb.Close();
  Leave();
}

void UsbFramedDownload::GiveUp(int32_t sent) {
  EndDownload();
  ReportStopped(sent, m_TotalSize);
}

void UsbFramedDownload::ReportStopped(int32_t sent, int32_t total) {
  stopped_at_ = sent;
  const std::string text = "The USB device stopped answering after " + std::to_string(sent) +
                           " of " + Quantity(static_cast<uint64_t>(total)) +
                           "; the download was stopped.";
  view_.ShowMessage(text);
  view_.ShowOutcome(text);
}

}  // namespace flashkit
