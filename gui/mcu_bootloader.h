#pragma once

#include <cstdint>
#include <memory>
#include <string>

#include "gui/download_progress.h"
#include "gui/links/message_boxes.h"
#include "gui/links/ring_port.h"
#include "gui/links/trace_log.h"
#include "platform/clock.h"

namespace flashkit {

// Writes a firmware image and its companion image into a microcontroller's
// flash through its USART bootloader, and starts it. Runs on the dialog's
// thread; progress goes to the owner window synchronously.
class McuBootloader {
 public:
  McuBootloader(std::unique_ptr<RingPort> port, MessageBoxes& boxes, platform::Clock& clock,
                const std::string& log_path = "log.txt");
  virtual ~McuBootloader();

  int32_t SetOwnerWindow(ProgressWindow* owner);
  // 1 when the companion image was written completely, 0 otherwise.
  int32_t Download(std::string file_name, std::string port_text, std::string baud_text);

  int32_t Exchange(int32_t idle_limit);
  int32_t Sync();
  int32_t GetId();
  int32_t Go(uint32_t address);
  int32_t Erase(uint8_t count, uint8_t page);
  int32_t WriteMemory(uint32_t address, uint8_t length_code, const uint8_t* data);
  static uint8_t XorChecksum(int32_t length, const uint8_t* bytes);

  TraceLog& log() { return m_Log; }

 private:
  uint8_t m_TxBuf[512] = {};
  uint8_t m_RxBuf[512] = {};
  int32_t m_RxCount = 0;
  int32_t m_TxLen = 0;
  int32_t m_RxWant = 0;
  ProgressWindow* m_hOwner = nullptr;
  TraceLog m_Log;
  std::unique_ptr<RingPort> m_Port;
  MessageBoxes& boxes_;
  platform::Clock& clock_;
};

}  // namespace flashkit
