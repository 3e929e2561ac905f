#pragma once

#include <cstddef>
#include <cstdint>
#include <span>
#include <string_view>

namespace flashkit::fuzz {

// One fuzz target's body: drives a part of the system with the fuzzer's
// bytes on a virtual clock. Aborts (through CheckThat) when the part breaks
// a promise it makes to its callers; the sanitizers catch the rest.
using HarnessRun = void (*)(const uint8_t* data, size_t size);

// The XMODEM/YMODEM receiver; the first byte chooses the mode.
void RunReceiver(const uint8_t* data, size_t size);
// YMODEM block 0 parsing.
void RunHeader(const uint8_t* data, size_t size);
// The XMODEM/YMODEM sender against arbitrary answers.
void RunSender(const uint8_t* data, size_t size);
// linkxfer's command line, the input split into arguments at zero bytes.
void RunCommandLine(const uint8_t* data, size_t size);
// The device start handshake's request and prompts.
void RunHandshake(const uint8_t* data, size_t size);
// The serial MCU bootloader download.
void RunMcuBootloader(const uint8_t* data, size_t size);
// The USB framed download.
void RunUsbDownload(const uint8_t* data, size_t size);

struct Harness {
  std::string_view target;  // fuzz/<target>_fuzz.cpp, fuzz/corpus/<target>/
  HarnessRun run;
};
std::span<const Harness> Harnesses();

// Aborts with `what` on standard error when `holds` is false.
void CheckThat(bool holds, const char* what);
// True for 0 or more and for the range of the codes in ports/status.h.
bool IsKnownResult(int32_t result);

}  // namespace flashkit::fuzz
