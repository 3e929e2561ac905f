#pragma once

#include <atomic>
#include <cstdint>
#include <cstdio>
#include <memory>
#include <string>
#include <thread>

#include "common/crc16_table.h"
#include "common/request_packet.h"
#include "gui/links/usb_link.h"
#include "gui/usb_download_view.h"
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

 private:
  void StartSender();
  void SenderThread();
  // Implementation-specific members follow.
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
};

}  // namespace flashkit
