// Small helpers shared by the emulator's decoders: reading integers, the
// check sums of the serial line, and adding fields and faults to a Frame.
#ifndef VEXA_SIM_DECODEUTIL_H
#define VEXA_SIM_DECODEUTIL_H

#include <cstddef>
#include <cstdint>
#include <string>

#include "Frame.h"

namespace vexasim {
namespace detail {

inline uint16_t le16(const uint8_t* p) { return uint16_t(p[0] | (p[1] << 8)); }
inline uint16_t be16(const uint8_t* p) { return uint16_t((p[0] << 8) | p[1]); }
inline uint32_t le32(const uint8_t* p) {
  return uint32_t(p[0]) | (uint32_t(p[1]) << 8) | (uint32_t(p[2]) << 16) | (uint32_t(p[3]) << 24);
}

// XOR of n bytes.
uint8_t xorOf(const uint8_t* p, size_t n);
// CRC-16/MODBUS (reflected 0x8005, start FFFF, no final XOR).
uint16_t crc16Modbus(const uint8_t* p, size_t n);

// "01 FE": uppercase hex bytes separated by single spaces.
std::string hexBytes(const uint8_t* p, size_t n);
// "0x66"
std::string hexCode(int code);
// A byte text as a quoted string: printable ASCII as is, '"' and '\' escaped
// with a backslash, every other byte as \xNN. This is the value of a text
// field: it keeps the exact bytes.
std::string quotedText(const uint8_t* p, size_t n);
// The GBK double-byte character lead, trail appended to out as UTF-8; false
// (out unchanged) when the pair is no character.
bool gbkToUtf8(uint8_t lead, uint8_t trail, std::string& out);
// A sign text for a person to read, quoted as quotedText() does but with each
// GBK double-byte character shown as UTF-8: only control bytes and bytes
// that start or end no character stay \xNN. Every printer of frames (the
// emulator's lines, the decode command, the sign page's frame list) shows
// texts this way (Field::shown).
std::string shownText(const uint8_t* p, size_t n);

// A JSON string: UTF-8 characters as they are, control characters and any
// byte that is no UTF-8 escaped.
std::string jsonString(const std::string& s);

void addField(Frame& f, std::string name, std::string value);
void addNumber(Frame& f, std::string name, long value);
void addHex(Frame& f, std::string name, const uint8_t* p, size_t n);
// A text field: its bytes quoted, and shown with GBK as UTF-8.
void addText(Frame& f, std::string name, const uint8_t* p, size_t n);
// Marks the frame as failing its checks and appends the reason.
void fail(Frame& f, const std::string& why);

// True when the payload holds at least want bytes; otherwise flags the frame
// and shows the payload as hex.
bool needPayload(const uint8_t* p, size_t n, size_t want, Frame& f);
// Flags bytes after the expected end of the payload and shows them as hex.
void noExtraBytes(const uint8_t* p, size_t n, size_t used, Frame& f);
// The network frame around a payload: sets kind, raw, command and sub-code,
// flags a wrong magic, length field or end mark, and takes the payload.
// False when there is no payload to decode (no magic, or too short).
bool readNetworkEnvelope(const uint8_t* p, size_t n, Frame& f);
// Adds "<name>Check" = ok/bad for a value byte followed by its complement,
// flagging the frame when the complement is wrong.
void complementField(Frame& f, const std::string& name, uint8_t value, uint8_t check);

}  // namespace detail
}  // namespace vexasim

#endif  // VEXA_SIM_DECODEUTIL_H
