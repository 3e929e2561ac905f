#pragma once

#include <cstdint>
#include <string_view>
#include <vector>

#include "tests/support/fake_port.h"

namespace flashkit::testing {

// Frames as a sender puts them on the wire.
Bytes DataBlock(uint8_t number, std::string_view data, bool crc = true);  // 128-byte SOH block
Bytes HeaderBlock(std::string_view name, uint32_t size);                   // YMODEM block 0
Bytes ClosingBlock();                                                      // empty block 0
Bytes Eot();

// One turn of a scripted sender: the receiver must write `expect`, and the
// sender answers with `reply` (possibly nothing).
struct SenderTurn {
  uint8_t expect;
  Bytes reply;
};

// Plays a sender against the receiver under test; writes past the script
// (a cancel, say) are recorded by the port and otherwise ignored.
void PlaySender(FakePort& port, std::vector<SenderTurn> turns);

// Plays a receiver against the sender under test: `start` shortly after the
// sender begins listening, ACK to every frame, and in YMODEM the start
// character again after block 0 and after the EOT.
void PlayReceiver(FakePort& port, uint8_t start, bool ymodem);

}  // namespace flashkit::testing
