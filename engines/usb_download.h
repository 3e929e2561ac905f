#pragma once

#include <atomic>
#include <cstdint>
#include <cstdio>
#include <memory>
#include <mutex>
#include <string>
#include <thread>

#include "common/crc16_table.h"
#include "common/request_packet.h"
#include "gui/links/usb_link.h"
#include "engines/usb_download_view.h"
#include "engines/usb_frames.h"
#include "platform/clock.h"

namespace flashkit {

// The framed image download over the USB bulk link. The connect retries,
// the request packet and the first frames run on the dialog's thread; in the
// size-announced flow a sender thread sends the data frames while the
// dialog's 1 ms timer reports progress.
class UsbFramedDownload {
 public:
  UsbFramedDownload(UsbLink& link, UsbDownloadView& view, platform::Clock& clock);
  // Stops the sender thread and waits for it.
  ~UsbFramedDownload();
  UsbFramedDownload(const UsbFramedDownload&) = delete;
  UsbFramedDownload& operator=(const UsbFramedDownload&) = delete;

  // `file_name` is the bare name, opened relative to the current folder;
  // `condition` is "RUN" or "FINISH". Returns while the sender may still run.
  void UsbDownload(const std::string& file_name, const std::string& condition);
  int32_t ConnectUsb();
  // The dialog's timer message.
  void OnTimer(int32_t id);
  // True from StartSender until the sender thread has finished its work.
  bool SenderRunning() const;
  // Waits until a started sender thread has ended by itself (each of its
  // exchanges is bounded by the link's read time-out).
  void WaitForSender();
  // Of the last download that stopped early, the bytes the device took or
  // answered before it stopped.
  int32_t BytesBeforeStop() const { return stopped_at_; }

 private:
  void StartSender();
  void SenderThread();
  // Implementation-specific members follow.
  // Pauses 100 ms, then up to 1000 tries of ConnectUsb 100 ms apart.
  bool ConnectWithRetries();
  // Opens, measures and reads the image into m_pImage; false (the user
  // told why) when it cannot be had or is larger than `limit` bytes.
  bool LoadImage(const std::string& file_name, uint32_t limit);
  void SizeAnnouncedFlow(const std::string& file_name);
  void NamedImageFlow(const UsbImageKind& kind, bool run);
  // True when the link took the whole frame.
  bool SendFrame(const UsbFrame& frame);
  // The frame, then the device's one-byte answer.
  bool Exchange(const UsbFrame& frame);
  void ReleaseImage();
  void StopAnimations();
  // Lets the image go and stops both animations.
  void Leave();
  // The end of every download that got as far as connecting.
  void EndDownload();
  // Ends a download on the dialog's thread whose device took or answered
  // only `sent` bytes, and tells the user.
  void GiveUp(int32_t sent);
  // The device took or answered only `sent` bytes of `total`.
  void ReportStopped(int32_t sent, int32_t total);
  UsbLink& m_Usb;
  UsbDownloadView& view_;
  platform::Clock& clock_;
  Crc16Table m_Crc;

  RequestPacket m_RequestPacket{};
  std::FILE* m_ImageFile = nullptr;
  int32_t m_PayloadSize = 0;
  std::atomic<int32_t> m_BytesSent{0};
  int32_t m_TotalSize = 0;
  std::unique_ptr<uint8_t[]> m_pImage;
  std::atomic<bool> m_hSenderThread{false};
  std::thread sender_;
  // Set by the destructor; from then on the sender makes no call on the view.
  std::mutex finish_mutex_;
  bool stopping_ = false;
  std::atomic<int32_t> stopped_at_{0};
};

}  // namespace flashkit
