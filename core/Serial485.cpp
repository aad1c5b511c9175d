// Bus frames of the serial line: the RS-485 frame that carries an eight-byte
// device address, the short RS-485 voice frame, and their check bytes.
//
// Both frames are big-endian, start with FE and end with an XOR byte over
// everything after the FE. The RS-485 frame may carry a three-byte option
// block (01, option1, option2) and a CRC-16 before the XOR byte. A frame that
// would not fit the 3000-byte record comes back invalid and is never sent.
#include <cstdlib>
#include <string>
#include <vector>

#include "core/BufferWriter.h"
#include "core/CBuffObj.h"
#include "core/Crc16Tables.h"
#include "core/Protocol.h"
#include "model/GlobalMember.h"

namespace {

// The address number as the C library's atoi reads it (leading blanks,
// optional sign, digits, anything else ends the number; no digits gives 0),
// without atoi's undefined behaviour on overflow: strtol saturates and the
// value is cut to int the way the platform's atoi does it.
int AtoiValue(const char* text) {
  return static_cast<int>(std::strtol(text, nullptr, 10));
}

// The eight address bytes: eight "_"-separated numbers piecewise, anything
// else as seven zero bytes and the whole string's number.
void WriteDeviceAddress(BufferWriter& w, const char* deviceAddress) {
  const std::string address = deviceAddress != nullptr ? deviceAddress : "";
  const std::vector<std::string> pieces = GlobalMember::SplitStr(address, "_");
  if (pieces.size() == 8) {
    for (const std::string& piece : pieces) w.u8(AtoiValue(piece.c_str()));
    return;
  }
  for (int i = 0; i < 7; ++i) w.u8(0);
  w.u8(AtoiValue(address.c_str()));
}

// A copy of the frame in a writer, ready to have check bytes appended; the
// writer is already overflowed when the frame is invalid.
BufferWriter Reopen(const CBuffObj::tagBufferInfo& frame) {
  BufferWriter w;
  w.record(frame);
  return w;
}

}  // namespace

CBuffObj::tagBufferInfo CBuffObj::CompletePacketBuffer_485(tagBufferInfo payload, short serialCode,
                                                           char* deviceAddress, int option1,
                                                           int option2, bool withCrc) {
  if (!IsValid(payload)) return InvalidBuffer();
  const bool withOptions = option1 > 0;
  // The option block counts 2 and the CRC 3 in the length field, so the field
  // is the frame length less 2 when both or neither are present.
  const long lengthField = 14L + payload.nBufferLen + (withOptions ? 2 : 0) + (withCrc ? 3 : 0);
  BufferWriter w;
  w.u8(protocol::kFrameStart).u8(protocol::kBusFrameKind).u16be(lengthField);
  w.u8(protocol::kBusMark).u8(serialCode).u8(0x00);
  WriteDeviceAddress(w, deviceAddress);
  if (withOptions) w.u8(0x01).u8(option1).u8(option2);
  w.record(payload);
  tagBufferInfo frame = w.finish();
  if (withCrc) frame = CRC16Check(frame);
  return XORCheck(frame);
}

CBuffObj::tagBufferInfo CBuffObj::CompletePacketBuffer_PlayVoice_485(tagBufferInfo payload,
                                                                     short serialCode,
                                                                     char* deviceAddress) {
  if (!IsValid(payload)) return InvalidBuffer();
  BufferWriter w;
  w.u8(protocol::kFrameStart).u8(AtoiValue(deviceAddress != nullptr ? deviceAddress : ""));
  w.u16be(payload.nBufferLen + 5L).u8(protocol::kVoiceBusMark).u8(serialCode);
  w.record(payload);
  return XORCheck(w.finish());
}

CBuffObj::tagBufferInfo CBuffObj::CRC16Check(tagBufferInfo frame) {
  if (!IsValid(frame)) return InvalidBuffer();
  BufferWriter w = Reopen(frame);
  // The leading FE is not covered.
  const size_t n = static_cast<size_t>(frame.nBufferLen);
  const uint16_t crc = n > 1 ? Crc16Modbus(w.data() + 1, n - 1) : 0xFFFF;
  w.u8(crc & 0xFF).u8(crc >> 8);
  return w.finish();
}

CBuffObj::tagBufferInfo CBuffObj::XORCheck(tagBufferInfo frame) {
  if (!IsValid(frame)) return InvalidBuffer();
  BufferWriter w = Reopen(frame);
  uint8_t check = 0;
  for (size_t i = 1; i < static_cast<size_t>(frame.nBufferLen); ++i) check ^= w.data()[i];
  w.u8(check);
  return w.finish();
}
