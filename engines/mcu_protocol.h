#pragma once

#include <array>
#include <cstdint>

// The part of the STM32 USART bootloader protocol that McuBootloader speaks,
// and the flash layout of the boards it writes.
namespace flashkit::mcu {

inline constexpr uint8_t kAck = 0x79;
inline constexpr uint8_t kSyncByte = 0x7F;

// Each command goes out as its code followed by the code's complement.
inline constexpr std::array<uint8_t, 2> kGetIdCommand = {0x02, 0xFD};
inline constexpr std::array<uint8_t, 2> kGoCommand = {0x21, 0xDE};
inline constexpr std::array<uint8_t, 2> kEraseCommand = {0x43, 0xBC};
inline constexpr std::array<uint8_t, 2> kWriteMemoryCommand = {0x31, 0xCE};
inline constexpr std::array<uint8_t, 2> kReadMemoryCommand = {0x11, 0xEE};
inline constexpr std::array<uint8_t, 2> kGlobalErase = {0xFF, 0x00};

inline constexpr uint32_t kFlashStart = 0x08000000;  // the loader's home and where Go jumps
inline constexpr uint32_t kApplicationAddress = 0x08008000;
inline constexpr uint32_t kMarkerAddress = 0x08007C00;
inline constexpr std::array<uint8_t, 4> kMarker = {0x55, 0xAA, 0x55, 0xAA};

inline constexpr const char* kLoaderName = "iap_cortex.bin";
inline constexpr std::array<const char*, 3> kCompanionNames = {"WDN-500S.bin", "ZQT410_TAXI.bin",
                                                               "ZQT410_STB.bin"};

inline constexpr uint32_t kBlockSize = 256;
inline constexpr uint8_t kBlockLengthCode = kBlockSize - 1;
inline constexpr int kTriesPerBlock = 10;
inline constexpr int kAttemptsPerDownload = 5;
inline constexpr int kSyncTries = 10;
inline constexpr int kGetIdReplyMax = 64;

// How long each stage waits (empty 1 ms polls in a row) and how many reply
// bytes end its wait early. Reading back is the command line's verify only.
enum class Stage {
  kSync,
  kGetId,
  kGo,
  kEraseCommand,
  kEraseParams,
  kWriteCommand,
  kWriteData,
  kReadCommand,
  kReadData
};

struct StageLimits {
  int32_t idle_limit;
  int32_t reply_want;
};

// The dialog's limits are tight: it was made for one board on an idle
// desk. A command-line flasher waits as long as a loaded machine and a
// large part's mass erase may need, as stm32flash does.
enum class ReplyLimits { kDialog, kCommandLine };

inline constexpr StageLimits LimitsOf(Stage stage, ReplyLimits limits = ReplyLimits::kDialog) {
  constexpr std::array<StageLimits, 9> kDialogTable = {{
      {10, 1},               // kSync
      {10, kGetIdReplyMax},  // kGetId
      {10, 1},               // kGo (command and address)
      {10, 1},               // kEraseCommand
      {20, 1},               // kEraseParams
      {20, 1},               // kWriteCommand (command and address)
      {50, 1},               // kWriteData
      {20, 1},               // kReadCommand (command and address)
      {50, 1 + kBlockSize},  // kReadData: ACK and the bytes
  }};
  constexpr std::array<StageLimits, 9> kCommandLineTable = {{
      {500, 1},
      {1000, kGetIdReplyMax},
      {1000, 1},
      {1000, 1},
      {40000, 1},
      {1000, 1},
      {2000, 1},
      {1000, 1},
      {2000, 1 + kBlockSize},
  }};
  const auto& table = limits == ReplyLimits::kDialog ? kDialogTable : kCommandLineTable;
  return table[static_cast<size_t>(stage)];
}

}  // namespace flashkit::mcu
