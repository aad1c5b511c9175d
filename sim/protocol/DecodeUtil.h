// Small helpers shared by the emulator's decoders: reading integers, the
// check sums of the serial line, and adding typed fields and faults to a
// Frame. The text helpers (Text.h) come with them.
#ifndef VEXA_SIM_DECODEUTIL_H
#define VEXA_SIM_DECODEUTIL_H

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>

#include "Frame.h"
#include "Text.h"

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

void addNumber(Frame& f, std::string name, long long value);
// A word of the decoder's own, printed as it is; `stands` is the number it
// stands for, when it stands for one (see Field::number).
void addWord(Frame& f, std::string name, std::string word, std::optional<long long> stands = std::nullopt);
void addHex(Frame& f, std::string name, const uint8_t* p, size_t n);
// A text field: its bytes, printed quoted and shown with GBK as UTF-8.
void addText(Frame& f, std::string name, const uint8_t* p, size_t n);
// A date-time text "YYYYMMDD00hhmmss" (the clock record's and the
// greeting's): a text field that, when its sixteen bytes are digits, stands
// for the number YYYYMMDDhhmmss.
void addDateTimeText(Frame& f, std::string name, const uint8_t* p);
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
