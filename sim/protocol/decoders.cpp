// Frame splitting and frame decoding, with the decoder tables of the command
// codes. A command family adds its payload decoder in its own
// decode_<family>.cpp and one line (plus its declaration) here.
#include <cstring>

#include "DecodeUtil.h"
#include "Reassembly.h"
#include "Frame.h"

namespace vexasim {

// --- payload decoders of the command families --------------------------------
// decode_play.cpp
void decodePlayShowPage(const uint8_t* p, size_t n, Frame& out);
void decodeEmptyPayload(const uint8_t* p, size_t n, Frame& out);
void decodeRelay(const uint8_t* p, size_t n, Frame& out);
void decodeSetBright(const uint8_t* p, size_t n, Frame& out);
// decode_login.cpp
void decodeLoginGreeting(const uint8_t* p, size_t n, Frame& out);
// decode_serial.cpp
void decodeClockBytes(const uint8_t* p, size_t n, Frame& out);
void decodeBusVoice(const uint8_t* p, size_t n, Frame& out);
// decode_bar.cpp
void decodeBarParams(const uint8_t* p, size_t n, Frame& out);
void decodeBarContent(const uint8_t* p, size_t n, Frame& out);
// decode_template.cpp
void decodeTemplateBlocks(const uint8_t* p, size_t n, Frame& out);
// decode_pageset.cpp
void decodePageSet(const uint8_t* p, size_t n, Frame& out);
// decode_text.cpp
void decodeCoordinateText(const uint8_t* p, size_t n, Frame& out);
void decodeCollectedData(const uint8_t* p, size_t n, Frame& out);
// decode_content.cpp
void decodeClock(const uint8_t* p, size_t n, Frame& out);
void decodeLineUp(const uint8_t* p, size_t n, Frame& out);
void decodeVoice(const uint8_t* p, size_t n, Frame& out);
// decode_image.cpp
void decodePlayImage(const uint8_t* p, size_t n, Frame& out);
void decodeMultimedia(const uint8_t* p, size_t n, Frame& out);

namespace {

struct NetDecoder {
  int code;
  const char* name;
  PayloadDecoder decode;
};

// Network command code (frame byte 8) -> payload decoder.
const NetDecoder kNetDecoders[] = {
    {0x22, "PageSet", decodePageSet},
    {0x31, "TemplateBlock", decodeTemplateBlocks},
    {0x51, "StartPlay", decodeEmptyPayload},
    {0x52, "StopPlay", decodeEmptyPayload},
    {0x60, "CoordinateText", decodeCoordinateText},
    {0x61, "Relay", decodeRelay},
    {0x62, "LoginGreeting", decodeLoginGreeting},
    {0x63, "TimeCheck", decodeClock},
    {0x64, "LineUp", decodeLineUp},
    {0x65, "CollectedData", decodeCollectedData},
    {0x66, "PlayShowPage", decodePlayShowPage},
    {0x67, "PlayImageGroup", decodePlayImage},
    {0x68, "PlayVoice", decodeVoice},
    {0x6C, "Multimedia", decodeMultimedia},
    {0x76, "SetBright", decodeSetBright},
    {0x78, "Multimedia", decodeMultimedia},
};

// Serial command code (byte 5 of an RS-485 or RS-485 voice frame) -> payload
// decoder. The payloads are those of the network commands.
const NetDecoder kSerialDecoders[] = {
    {0x32, "Relay", decodeRelay},
    {0x34, "TimeCheck", decodeClockBytes},
    {0x35, "PlayImageGroup", decodePlayImage},
    {0x36, "PlayShowPage", decodePlayShowPage},
    {0x37, "CollectedData", decodeCollectedData},
    {0x54, "InternalText", decodeTemplateBlocks},
    {0x73, "PlayVoice", decodeBusVoice},
};

// Bar-screen frame kind (byte 5) -> decoder of the bytes from frame offset 6
// up to the check byte.
const NetDecoder kBarDecoders[] = {
    {0x48, "BarParams", decodeBarParams},
    {0x49, "BarContent", decodeBarContent},
};

const uint8_t kMagic[4] = {0xFE, 0x5C, 0x4B, 0x89};
constexpr size_t kNetHeader = 17;   // bytes before the payload
constexpr size_t kNetOverhead = 19; // header and end mark

template <size_t N>
const NetDecoder* lookup(const NetDecoder (&table)[N], int code) {
  for (const NetDecoder& d : table)
    if (d.code == code) return &d;
  return nullptr;
}

// Runs the table's decoder for code over the payload, or shows the payload as
// hex when the code has none.
template <size_t N>
void decodePayload(const NetDecoder (&table)[N], int code, Frame& f) {
  const NetDecoder* d = lookup(table, code);
  if (d) f.name = d->name;
  if (d && d->decode) {
    d->decode(f.payload.data(), f.payload.size(), f);
  } else if (!f.payload.empty()) {
    detail::addHex(f, "payload", f.payload.data(), f.payload.size());
  }
}

bool startsWithMagic(const uint8_t* p, size_t n) { return n >= 4 && std::memcmp(p, kMagic, 4) == 0; }

Frame unknownFrame(const uint8_t* p, size_t n, const std::string& why) {
  Frame f;
  f.kind = "unknown";
  f.raw.assign(p, p + n);
  detail::fail(f, why);
  return f;
}

// Checks shared by the frames of the serial line: big-endian length at 2
// counting all but two bytes, XOR check byte over bytes 1 .. n-2.
void checkSerialTail(const uint8_t* p, size_t n, Frame& f) {
  size_t lengthField = detail::be16(p + 2);
  if (lengthField + 2 != n)
    detail::fail(f, "length field " + std::to_string(lengthField) + " does not fit a frame of " +
                        std::to_string(n) + " bytes");
  uint8_t want = detail::xorOf(p + 1, n - 2);
  if (p[n - 1] != want)
    detail::fail(f, "XOR byte " + detail::hexBytes(p + n - 1, 1) + ", expected " + detail::hexBytes(&want, 1));
}

Frame decodeRs485(const uint8_t* p, size_t n) {
  Frame f;
  f.kind = "rs485";
  f.raw.assign(p, p + n);
  f.command = p[5];
  if (n < 16) {
    detail::fail(f, "RS-485 frame of " + std::to_string(n) + " bytes is shorter than its 16-byte minimum");
    return f;
  }
  checkSerialTail(p, n, f);
  if (p[6] != 0) detail::fail(f, "byte 6 is " + detail::hexBytes(p + 6, 1) + ", expected 00");
  detail::addHex(f, "address", p + 7, 8);

  // The internal-text code carries the option block and a CRC; for codes
  // without a known layout a valid CRC after an option block says the same.
  size_t end = n - 1;  // index of the XOR byte
  bool withOptions = f.command == 0x54;
  if (!withOptions && n >= 21 && p[15] == 0x01) {
    uint16_t crc = detail::crc16Modbus(p + 1, n - 4);
    withOptions = !lookup(kSerialDecoders, f.command) && p[n - 3] == (crc & 0xFF) && p[n - 2] == (crc >> 8);
  }
  size_t start = 15;
  if (withOptions) {
    if (n < 21) {
      detail::fail(f, "frame too short for its option block and CRC");
      return f;
    }
    if (p[15] != 0x01) detail::fail(f, "option block starts with " + detail::hexBytes(p + 15, 1) + ", expected 01");
    detail::addHex(f, "options", p + 15, 3);
    start = 18;
    uint16_t crc = detail::crc16Modbus(p + 1, n - 4);
    bool crcOk = p[n - 3] == (crc & 0xFF) && p[n - 2] == (crc >> 8);
    detail::addWord(f, "crc", crcOk ? "ok" : "bad");
    if (!crcOk) {
      uint8_t expect[2] = {uint8_t(crc & 0xFF), uint8_t(crc >> 8)};
      detail::fail(f, "CRC " + detail::hexBytes(p + n - 3, 2) + ", expected " + detail::hexBytes(expect, 2));
    }
    end = n - 3;
  }
  f.payload.assign(p + start, p + end);
  decodePayload(kSerialDecoders, f.command, f);
  return f;
}

// The RS-485 voice frame and the bar-screen frames: a one-byte address at 1,
// the code at 5 and the payload from 6 up to the check byte, decoded by the
// table's entry for the code.
template <size_t N>
Frame decodeShortSerial(const uint8_t* p, size_t n, const char* kind, const NetDecoder (&table)[N]) {
  Frame f;
  f.kind = kind;
  f.raw.assign(p, p + n);
  f.command = p[5];
  if (n < 7) {
    detail::fail(f, "frame of " + std::to_string(n) + " bytes is shorter than its 7-byte minimum");
    return f;
  }
  checkSerialTail(p, n, f);
  detail::addNumber(f, "address", p[1]);
  f.payload.assign(p + 6, p + n - 1);
  decodePayload(table, f.command, f);
  return f;
}

// Kind of a serial-line frame from its first bytes (at least 6 known).
enum class SerialKind { Network, Rs485, Voice, Bar, None };

SerialKind serialKind(const uint8_t* p, size_t n) {
  if (startsWithMagic(p, n)) return SerialKind::Network;
  if (n < 6 || p[0] != 0xFE) return SerialKind::None;
  if (p[4] == 0x97 && (p[5] == 0x48 || p[5] == 0x49)) return SerialKind::Bar;
  if (p[4] == 0x97 && p[1] == 0x98) return SerialKind::Rs485;
  if (p[4] == 0x99) return SerialKind::Voice;
  return SerialKind::None;
}

}  // namespace

namespace detail {

bool readNetworkEnvelope(const uint8_t* p, size_t n, Frame& f) {
  f.kind = "net";
  f.raw.assign(p, p + n);
  if (!startsWithMagic(p, n)) {
    f.kind = "unknown";
    detail::fail(f, "does not start with FE 5C 4B 89");
    if (n) detail::addHex(f, "payload", p, n);
    return false;
  }
  if (n < kNetOverhead) {
    detail::fail(f, "frame of " + std::to_string(n) + " bytes is shorter than the 19-byte minimum");
    if (n > 8) f.command = p[8];
    if (n > 9) f.subCode = p[9];
    return false;
  }
  f.command = p[8];
  f.subCode = p[9];
  uint32_t total = detail::le32(p + 4);
  uint32_t payloadLen = detail::le32(p + 13);
  if (total != n) detail::fail(f, "total length field " + std::to_string(total) + ", frame has " + std::to_string(n) + " bytes");
  if (payloadLen != n - kNetOverhead)
    detail::fail(f, "payload length field " + std::to_string(payloadLen) + ", payload has " +
                        std::to_string(n - kNetOverhead) + " bytes");
  if (p[n - 2] != 0xFF || p[n - 1] != 0xFF)
    detail::fail(f, "end mark " + detail::hexBytes(p + n - 2, 2) + ", expected FF FF");
  f.payload.assign(p + kNetHeader, p + n - 2);
  return true;
}

}  // namespace detail

Frame decodeNetworkFrame(const uint8_t* p, size_t n) {
  Frame f;
  if (detail::readNetworkEnvelope(p, n, f)) decodePayload(kNetDecoders, f.command, f);
  return f;
}

Frame decodeSerialFrame(const uint8_t* p, size_t n) {
  switch (serialKind(p, n)) {
    case SerialKind::Network: return decodeNetworkFrame(p, n);
    case SerialKind::Rs485: return decodeRs485(p, n);
    case SerialKind::Voice: return decodeShortSerial(p, n, "voice485", kSerialDecoders);
    case SerialKind::Bar: return decodeShortSerial(p, n, "bar", kBarDecoders);

    case SerialKind::None: break;
  }
  return unknownFrame(p, n, "bytes that start no known frame");
}

long completeFrameLength(const uint8_t* p, size_t n, bool serial) {
  if (n == 0) return 0;
  if (p[0] != 0xFE) return -1;
  // A network frame: the magic, checked as far as it has arrived.
  size_t known = n < 4 ? n : 4;
  bool magicSoFar = std::memcmp(p, kMagic, known) == 0;
  if (magicSoFar && n < 4) return 0;
  if (magicSoFar) {
    if (n < 8) return 0;
    uint32_t total = detail::le32(p + 4);
    if (total < kNetOverhead || total > kFrameLimit) return -1;
    return n >= total ? long(total) : 0;
  }
  if (!serial) return -1;
  if (n < 6) return 0;
  SerialKind kind = serialKind(p, n);
  if (kind == SerialKind::None) return -1;
  size_t total = size_t(detail::be16(p + 2)) + 2;
  size_t minimum = kind == SerialKind::Rs485 ? 16 : 7;
  if (total < minimum || total > kFrameLimit) return -1;
  return n >= total ? long(total) : 0;
}

}  // namespace vexasim
