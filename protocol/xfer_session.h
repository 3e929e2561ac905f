#pragma once

#include <cstdint>

#include "ports/port.h"
#include "ports/text_out.h"
#include "protocol/header_sink.h"
#include "protocol/transfer_sink.h"
#include "protocol/transfer_source.h"

namespace flashkit {

namespace xfer {
inline constexpr uint8_t kSoh = 0x01;
inline constexpr uint8_t kStx = 0x02;
inline constexpr uint8_t kEot = 0x04;
inline constexpr uint8_t kAck = 0x06;
inline constexpr uint8_t kNak = 0x15;
inline constexpr uint8_t kCan = 0x18;
inline constexpr uint8_t kFill = 0x1A;
inline constexpr uint8_t kCrcStart = 'C';
inline constexpr uint8_t kStreamStart = 'G';
}  // namespace xfer

// One XMODEM/YMODEM transfer over a Port, in either direction. Results are
// 0 or counts on success and negative status codes on failure. The session
// prints only the waiting dots of the sender, through `out`.
class XferSession {
 public:
  XferSession(Port& port, TextOut& out);

  // Primitives shared by both directions.
  int32_t ReadByte(uint32_t timeout_ms, bool use_usb);
  int32_t WriteByte(uint8_t byte, bool use_usb);
  void SendCancel(bool use_usb);
  static uint16_t UpdateCrc(uint16_t crc, uint8_t byte);
  static uint16_t BlockCrc(const uint8_t* data, uint32_t length);
  static uint8_t BlockChecksum(const uint8_t* data, uint32_t length);

  // Sender.
  int32_t ClassifyReply(int32_t reply);
  int32_t WaitForStart(uint32_t timeout_ms, bool use_usb);
  int32_t SendBlock(const uint8_t* data, uint32_t length, bool use_usb);
  int32_t SendBuffer(const uint8_t* data, uint32_t length, bool use_usb);
  int32_t SendStream(TransferSource& source, bool use_usb);
  static int32_t BuildHeaderBlock(uint8_t* block, const char* name, uint32_t size);
  int32_t SendXmodem(TransferSource& source, uint32_t timeout_ms, bool use_1k, bool use_usb);
  int32_t SendYmodem(const char* name, uint32_t size, TransferSource& source, uint32_t timeout_ms,
                     bool use_usb);

  // Receiver.
  int32_t ReceiveBlock(TransferSink& sink, bool use_usb);
  int32_t Solicit(TransferSink& sink, uint32_t timeout_ms, bool use_usb);
  int32_t ReceiveXmodem(TransferSink& sink, uint32_t timeout_ms, bool use_crc16, bool use_usb);
  int32_t ReceiveYmodem(TransferSink& sink, uint32_t timeout_ms, bool streaming, bool use_usb);

 private:
  // Sender helpers.
  int32_t SendXmodemSteps(TransferSource& source, uint32_t timeout_ms, bool use_1k, bool use_usb);
  int32_t SendYmodemSteps(const char* name, uint32_t size, TransferSource& source,
                          uint32_t timeout_ms, bool use_usb);
  // A sender stopped by the user tells the receiver, which would otherwise
  // keep asking for blocks that never come.
  int32_t CancelIfInterrupted(int32_t result, bool use_usb);
  int32_t TransmitFrame(const uint8_t* frame, uint32_t length, bool use_usb);
  int32_t AwaitAnswer(bool wait_for_answer, bool use_usb);
  int32_t ExpectStartAgain(bool use_usb);
  // Reads and drops input until `quiet_ms` pass without a byte (or the port fails).
  void DiscardUntilSilence(uint32_t quiet_ms, bool use_usb);

  // Receiver helpers.
  int32_t ReadFrame(uint8_t* frame, uint32_t* block_size, bool use_usb);
  bool FrameAccepted(const uint8_t* frame, uint32_t block_size) const;
  // An intact frame of the block accepted just before: its ACK was lost.
  bool FrameRepeated(const uint8_t* frame, uint32_t block_size) const;
  // Receives blocks while `result` (of the previous step) is positive.
  int32_t ReceiveUntilEnd(TransferSink& sink, int32_t result, bool use_usb);

  Port& port;
  TextOut& out;
  uint32_t block_number = 0;
  bool use_crc = false;
  bool ack_each_block = true;
  uint8_t mode_char = 0;
  uint8_t reply_char = 0;
  int32_t cancel_count = 0;
  // The block before block_number was accepted and acknowledged, so the
  // sender may send it again when that ACK did not reach it.
  bool previous_acked = false;
  // YMODEM: that block was block 0, answered with ACK and the start
  // character; a sender that lost the ACK took the start character for a
  // rejection, so both are sent again.
  bool previous_was_header = false;
};

}  // namespace flashkit
