#pragma once

#include <array>
#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <string>

#include "engines/download_progress.h"
#include "engines/firmware_image.h"
#include "engines/mcu_protocol.h"
#include "gui/links/message_boxes.h"
#include "gui/links/ring_port.h"
#include "gui/links/trace_log.h"
#include "platform/clock.h"

namespace flashkit {

// How a download runs beyond what the dialog chooses; the defaults are the
// dialog's own.
struct McuDownloadSettings {
  enum class Companion { kSearch, kFile, kNone };

  mcu::ReplyLimits limits = mcu::ReplyLimits::kDialog;
  // The baud rate itself; nothing: the baud text decides.
  std::optional<uint32_t> baud;
  Companion companion = Companion::kSearch;
  std::string companion_file;  // kFile: the companion image's path
  // Where the companion search looks; empty: the current folder.
  std::string companion_folder;
  // Reads every written range back and stops at the first byte that differs.
  bool verify = false;
  // A line that does not open ends the download at once, instead of showing
  // up as exchanges that stay empty.
  bool require_line = false;
  // Told how far the read-back of a range has got: at its start, then
  // after each block.
  std::function<void(uint64_t done, uint64_t total)> on_verify;
};

// Writes a firmware image and its companion image into a microcontroller's
// flash through its USART bootloader, and starts it. Runs on the dialog's
// thread; progress goes to the owner window synchronously.
class McuBootloader {
 public:
  McuBootloader(std::unique_ptr<RingPort> port, MessageBoxes& boxes, platform::Clock& clock,
                const std::string& log_path = "log.txt");
  virtual ~McuBootloader();

  int32_t SetOwnerWindow(ProgressWindow* owner);
  void Configure(const McuDownloadSettings& settings) { settings_ = settings; }
  // 1 when the companion image was written completely, 0 otherwise. The
  // port text is the COM number's digits or a serial line's path.
  int32_t Download(std::string file_name, std::string port_text, std::string baud_text);
  // Why the last Download returned 0, in a sentence for the user; empty after
  // one that returned 1.
  const std::string& FailureText() const { return failure_; }
  // What the last Get ID reported, its payload as one number.
  std::optional<uint32_t> ProductId() const { return product_id_; }
  // True when the last Download read back every range it wrote, as written.
  bool Verified() const { return verified_; }
  // Bytes of the images' blocks the board acknowledged in the last Download
  // (the fill of a last block not counted), over all its passes.
  uint64_t BytesWritten() const { return bytes_written_; }

  int32_t Exchange(int32_t idle_limit);
  int32_t Sync();
  int32_t GetId();
  int32_t Go(uint32_t address);
  int32_t Erase(uint8_t count, uint8_t page);
  int32_t WriteMemory(uint32_t address, uint8_t length_code, const uint8_t* data);
  // 1 with length_code + 1 bytes read into `data`, 0 when a stage was not
  // acknowledged or the bytes did not all come.
  int32_t ReadMemory(uint32_t address, uint8_t length_code, uint8_t* data);
  static uint8_t XorChecksum(int32_t length, const uint8_t* bytes);

  TraceLog& log() { return m_Log; }

 private:
  // Puts `frame` in m_TxBuf and exchanges it with the stage's limits; a
  // nonzero `want` replaces the stage's reply length.
  int32_t Send(mcu::Stage stage, const uint8_t* frame, int32_t length, int32_t want = 0);
  template <size_t N>
  int32_t Send(mcu::Stage stage, const std::array<uint8_t, N>& frame) {
    return Send(stage, frame.data(), static_cast<int32_t>(N));
  }
  // The four address bytes, most significant first, and their XOR.
  int32_t SendAddress(mcu::Stage stage, uint32_t address);
  bool Acked() const { return m_RxBuf[0] == mcu::kAck; }

  // One attempt at an image: read it, Get ID, then its blocks. True when
  // every block was written; each Get ID failure counts in `attempts`.
  bool WriteImage(FirmwareImage& image, const std::string& name, uint32_t address,
                  int32_t& attempts);
  bool WriteBlocks(const FirmwareImage& image, uint32_t address);
  // Reads `size` bytes back from `address`; false, with the reason in
  // failure_, at the first that differs or cannot be read.
  bool VerifyRange(uint32_t address, const uint8_t* data, uint64_t size);
  // The companion image, by the settings: opened into `image`, its name
  // returned; nothing when there is none.
  std::optional<std::string> OpenCompanion(FirmwareImage& image) const;
  void Progress(uint32_t wparam, int32_t lparam);
  // The sentence for a download that ended in "Fail".
  std::string FailCause(const std::string& port_name) const;

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

  // What went wrong in the running download, for FailureText.
  std::string failure_;
  std::string port_failure_;                // the line did not open, and why
  std::string unreadable_;                  // an image that could not be read
  bool answered_ = false;                   // some reply came from the board
  std::optional<uint32_t> rejected_block_;  // a block not accepted after its tries

  McuDownloadSettings settings_;
  std::optional<uint32_t> product_id_;
  bool verified_ = false;
  uint64_t bytes_written_ = 0;
  bool verify_failed_ = false;  // ends the download at once: writing again will not mend it
};

}  // namespace flashkit
