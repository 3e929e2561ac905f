#include <optional>
#include <string>

#include "gui/links/serial_port.h"
#include "gui/mcu_bootloader.h"

namespace flashkit {
namespace {

constexpr uint8_t kByteSize = 8;
constexpr uint8_t kOneStopBit = 0;
constexpr uint8_t kEvenParity = 2;

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
  m_Port->SetParams(SerialPort::PortIndexFromText(port_text), SerialPort::BaudFromText(baud_text),
                    kByteSize, kOneStopBit, kEvenParity);
  // A port that did not open shows up as exchanges that stay empty.
  m_Port->Open();

  FirmwareImage image;
  if (!image.Open(file_name)) {
    m_Log.Format("fopen fail\n");
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
    if (!size || !ImageFitsAbove(address, *size, mcu::kBlockSize)) return false;
    m_Log.Format("\n>> %s %d\n\n", name.c_str(), static_cast<int>(*size));
    if (!image.Load(*size, mcu::kBlockSize)) return false;
    if (GetId() == 1) break;
    if (++attempts >= mcu::kAttemptsPerDownload) break;  // the blocks are tried regardless
  }

  Progress(static_cast<uint32_t>(image.size() / mcu::kBlockSize + 1), kProgressStart);
  return WriteBlocks(image, address);
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
      written = false;
      break;
    }
  }
  Progress(blocks + 1, kProgressEnd);
  return written;
}

}  // namespace flashkit
