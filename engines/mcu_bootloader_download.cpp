#include <algorithm>
#include <cstdio>
#include <filesystem>
#include <optional>
#include <string>

#include "engines/mcu_bootloader.h"
#include "gui/links/serial_port.h"

namespace flashkit {
namespace {

constexpr uint8_t kByteSize = 8;
constexpr uint8_t kOneStopBit = 0;
constexpr uint8_t kEvenParity = 2;

constexpr char kNoCompanion[] =
    "The image was written, but no companion image (WDN-500S.bin, ZQT410_TAXI.bin or "
    "ZQT410_STB.bin) is beside it.";

std::string Unreadable(const std::string& name) { return "The image " + name + " could not be read."; }

std::string BaseName(const std::string& path) {
  return std::filesystem::path(path).filename().string();
}

}  // namespace

std::optional<std::string> McuBootloader::OpenCompanion(FirmwareImage& image) const {
  using Companion = McuDownloadSettings::Companion;
  if (settings_.companion == Companion::kNone) return std::nullopt;
  if (settings_.companion == Companion::kFile) {
    if (image.Open(settings_.companion_file)) return settings_.companion_file;
    return std::nullopt;
  }
  // The first of the names present in the folder.
  for (const char* name : mcu::kCompanionNames) {
    const std::string path = settings_.companion_folder.empty()
                                 ? std::string(name)
                                 : (std::filesystem::path(settings_.companion_folder) / name).string();
    if (image.Open(path)) return path;
  }
  return std::nullopt;
}

int32_t McuBootloader::Download(std::string file_name, std::string port_text,
                                std::string baud_text) {
  failure_.clear();
  port_failure_.clear();
  unreadable_.clear();
  answered_ = false;
  rejected_block_.reset();
  product_id_.reset();
  verified_ = false;
  verify_failed_ = false;
  bytes_written_ = 0;
  const bool by_path = port_text.starts_with('/');
  m_Port->SetPath(by_path ? port_text : std::string());
  const uint32_t baud = settings_.baud ? *settings_.baud : SerialPort::BaudFromText(baud_text);
  m_Port->SetParams(SerialPort::PortIndexFromText(port_text), baud, kByteSize, kOneStopBit,
                    kEvenParity);
  // A port that did not open shows up as exchanges that stay empty.
  if (m_Port->Open() != 1) port_failure_ = m_Port->OpenFailureText();
  const std::string port_name = by_path ? port_text : "COM" + port_text;
  if (!port_failure_.empty() && settings_.require_line) {
    failure_ = FailCause(port_name);
    m_Port->Close();
    return 0;
  }

  FirmwareImage image;
  if (!image.Open(file_name)) {
    m_Log.Format("fopen fail\n");
    failure_ = Unreadable(file_name);
    m_Port->Close();
    return 0;
  }

  uint32_t address = mcu::kApplicationAddress;
  if (BaseName(file_name) == mcu::kLoaderName) {
    // The loader replaces everything; the marker tells it the flash is fresh.
    address = mcu::kFlashStart;
    Sync();
    Erase(0, 0);
    WriteMemory(mcu::kMarkerAddress, static_cast<uint8_t>(mcu::kMarker.size() - 1),
                mcu::kMarker.data());
    if (settings_.verify &&
        !VerifyRange(mcu::kMarkerAddress, mcu::kMarker.data(), mcu::kMarker.size())) {
      image.Close();
      m_Port->Close();
      return 0;
    }
  }

  // One budget of attempts for the whole download, never reset.
  int32_t attempts = 0;
  bool companion = false;
  int32_t result = 0;
  std::string name = file_name;
  while (true) {
    if (!WriteImage(image, name, address, attempts)) {
      // Writing again would not mend what the read-back saw.
      if (verify_failed_) break;
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
    if (settings_.companion == McuDownloadSettings::Companion::kNone) {
      // Told there is none: the image alone is the download; start it.
      if (address != mcu::kApplicationAddress) Go(mcu::kFlashStart);
      result = 1;
      break;
    }
    const std::optional<std::string> found = OpenCompanion(image);
    if (!found) {
      m_Log.Format("fopen fail\n");
      failure_ = settings_.companion == McuDownloadSettings::Companion::kFile
                     ? Unreadable(settings_.companion_file)
                     : kNoCompanion;
      m_Port->Close();
      return 0;
    }
    name = *found;
    address = mcu::kApplicationAddress;
    companion = true;
  }
  image.Close();
  m_Port->Close();
  verified_ = settings_.verify && result == 1;
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
  if (!WriteBlocks(image, address)) return false;
  // Every block went out whole, padding included; that is what is read back.
  const uint64_t written = (image.size() + mcu::kBlockSize - 1) / mcu::kBlockSize * mcu::kBlockSize;
  return !settings_.verify || VerifyRange(address, image.data(), written);
}

bool McuBootloader::VerifyRange(uint32_t address, const uint8_t* data, uint64_t size) {
  if (settings_.on_verify) settings_.on_verify(0, size);
  uint8_t read[mcu::kBlockSize];
  for (uint64_t offset = 0; offset < size; offset += mcu::kBlockSize) {
    const uint32_t at = address + static_cast<uint32_t>(offset);
    const uint32_t count = static_cast<uint32_t>(std::min<uint64_t>(mcu::kBlockSize, size - offset));
    char text[160];
    if (ReadMemory(at, static_cast<uint8_t>(count - 1), read) != 1) {
      std::snprintf(text, sizeof text,
                    "The board did not read back 0x%08X (Read Memory refused or unanswered; is "
                    "its flash read-protected?); the image was written but not verified.",
                    static_cast<unsigned>(at));
      failure_ = text;
      verify_failed_ = true;
      return false;
    }
    for (uint32_t i = 0; i < count; ++i) {
      if (read[i] == data[offset + i]) continue;
      std::snprintf(text, sizeof text, "Verify failed at 0x%08X: written 0x%02X, read back 0x%02X.",
                    static_cast<unsigned>(at + i), data[offset + i], read[i]);
      failure_ = text;
      verify_failed_ = true;
      return false;
    }
    if (settings_.on_verify) settings_.on_verify(offset + count, size);
  }
  return true;
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
    if (acked == 1) bytes_written_ += std::min<uint64_t>(mcu::kBlockSize, image.size() - offset);
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
