#include <cstdio>
#include <optional>
#include <string>

#include "gui/links/serial_port.h"
#include "gui/mcu_bootloader.h"

namespace flashkit {
namespace {

constexpr uint8_t kByteSize = 8;
constexpr uint8_t kOneStopBit = 0;
constexpr uint8_t kEvenParity = 2;

constexpr char kNoCompanion[] =
    "The image was written, but no companion image (WDN-500S.bin, ZQT410_TAXI.bin or "
    "ZQT410_STB.bin) is beside it.";

std::string Unreadable(const std::string& name) { return "The image " + name + " could not be read."; }

// The first companion image present in the current folder.
const char* OpenCompanion(FirmwareImage& image) {
  for (const char* name : mcu::kCompanionNames) {
    if (image.Open(name)) return name;
  }
  return nullptr;
}

}  // namespace

int32_t McuBootloader::Download(std::string file_name, std::string port_text,
                                std::string baud_text) {
  failure_.clear();
  port_failure_.clear();
  unreadable_.clear();
  answered_ = false;
  rejected_block_.reset();
  const bool by_path = port_text.starts_with('/');
  m_Port->SetPath(by_path ? port_text : std::string());
  m_Port->SetParams(SerialPort::PortIndexFromText(port_text), SerialPort::BaudFromText(baud_text),
                    kByteSize, kOneStopBit, kEvenParity);
  // A port that did not open shows up as exchanges that stay empty.
  if (m_Port->Open() != 1) port_failure_ = m_Port->OpenFailureText();
  const std::string port_name = by_path ? port_text : "COM" + port_text;

  FirmwareImage image;
  if (!image.Open(file_name)) {
    m_Log.Format("fopen fail\n");
    failure_ = Unreadable(file_name);
    m_Port->Close();
    return 0;
  }

  uint32_t address = mcu::kApplicationAddress;
  if (file_name == mcu::kLoaderName) {
    // The loader replaces everything; the marker tells it the flash is fresh.
    address = mcu::kFlashStart;
    Sync();
    Erase(0, 0);
    WriteMemory(mcu::kMarkerAddress, static_cast<uint8_t>(mcu::kMarker.size() - 1),
                mcu::kMarker.data());
  }

  // One budget of attempts for the whole download, never reset.
  int32_t attempts = 0;
  bool companion = false;
  int32_t result = 0;
  std::string name = file_name;
  while (true) {
    if (!WriteImage(image, name, address, attempts)) {
      if (++attempts >= mcu::kAttemptsPerDownload) {
        boxes_.Show("Fail");
        failure_ = FailCause(port_name);
        result = 0;
        break;
      }
      // A failed companion is retried as if it were the chosen image, so
      // after it succeeds the companion search runs (and writes) once more.
      companion = false;
      continue;
    }
    if (companion) {
      Go(mcu::kFlashStart);
      result = 1;
      break;
    }
    if (address == mcu::kApplicationAddress) Go(mcu::kFlashStart);
    image.Close();
    const char* found = OpenCompanion(image);
    if (found == nullptr) {
      m_Log.Format("fopen fail\n");
      failure_ = kNoCompanion;
      m_Port->Close();
      return 0;
    }
    name = found;
    address = mcu::kApplicationAddress;
    companion = true;
  }
  image.Close();
  m_Port->Close();
  return result;
}

bool McuBootloader::WriteImage(FirmwareImage& image, const std::string& name, uint32_t address,
                               int32_t& attempts) {
  while (true) {
    const std::optional<uint64_t> size = image.Measure();
    // An image that cannot be measured, or would run past the end of the
    // address space, is not sent at all.
    if (!size || !ImageFitsAbove(address, *size, mcu::kBlockSize)) {
      unreadable_ = name;
      return false;
    }
    m_Log.Format("\n>> %s %d\n\n", name.c_str(), static_cast<int>(*size));
    if (!image.Load(*size, mcu::kBlockSize)) {
      unreadable_ = name;
      return false;
    }
    if (GetId() == 1) break;
    if (++attempts >= mcu::kAttemptsPerDownload) break;  // the blocks are tried regardless
  }

  Progress(static_cast<uint32_t>(image.size() / mcu::kBlockSize + 1), kProgressStart);
  return WriteBlocks(image, address);
}

// The most basic failure first: with no line, nothing else could work.
std::string McuBootloader::FailCause(const std::string& port_name) const {
  if (!port_failure_.empty()) {
    return "The port " + port_name + " could not be opened: " + port_failure_ + ".";
  }
  if (!unreadable_.empty()) return Unreadable(unreadable_);
  if (!answered_) {
    return "The board did not answer at " + port_name +
           " (is it in its bootloader, and at this baud rate?).";
  }
  if (rejected_block_) {
    char text[96];
    std::snprintf(text, sizeof text, "The block at 0x%08X was not accepted after %d tries.",
                  static_cast<unsigned>(*rejected_block_), mcu::kTriesPerBlock);
    return text;
  }
  return "The board answered, but not as its bootloader should.";
}

bool McuBootloader::WriteBlocks(const FirmwareImage& image, uint32_t address) {
  uint32_t blocks = 0;
  bool written = true;
  for (uint64_t offset = 0; offset < image.size(); offset += mcu::kBlockSize) {
    const uint32_t at = address + static_cast<uint32_t>(offset);
    int32_t acked = 0;
    for (int tries = 0; tries < mcu::kTriesPerBlock && acked != 1; ++tries) {
      acked = WriteMemory(at, mcu::kBlockLengthCode, image.data() + offset);
    }
    Progress(++blocks, kProgressPosition);
    if (acked != 1) {
      rejected_block_ = at;
      written = false;
      break;
    }
  }
  Progress(blocks + 1, kProgressEnd);
  return written;
}

}  // namespace flashkit
