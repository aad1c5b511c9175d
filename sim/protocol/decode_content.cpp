// Clock record (0x63), line-up record (0x64) and voice record (0x68) of the
// network frame.
#include <cstdio>
#include <cstring>
#include <string>

#include "DecodeUtil.h"
#include "Frame.h"

namespace vexasim {

using namespace detail;

// decode_serial.cpp: the byte form of the clock record and the voice record
// without closing zeros, as the serial bus carries them.
void decodeClockBytes(const uint8_t* p, size_t n, Frame& out);
void decodeBusVoice(const uint8_t* p, size_t n, Frame& out);

namespace {

int twoDigits(const uint8_t* p) { return (p[0] - '0') * 10 + (p[1] - '0'); }

}  // namespace

// Text form: '1', '#', YYYYMMDD00hhmmss, '#' (19 bytes). Byte form: year
// since 2000, month, day, 00, hour, minute, second (7 bytes).
void decodeClock(const uint8_t* p, size_t n, Frame& out) {
  if (n == 7) {
    addWord(out, "form", "bytes");
    decodeClockBytes(p, n, out);
    return;
  }
  if (n != 19 || p[0] != '1' || p[1] != '#' || p[18] != '#') {
    fail(out, "clock record of " + std::to_string(n) + " bytes is neither \"1#<16 digits>#\" nor 7 bytes");
    addHex(out, "payload", p, n);
    return;
  }
  addWord(out, "form", "text");
  addDateTimeText(out, "dateTime", p + 2);
  const uint8_t* d = p + 2;
  for (size_t i = 0; i < 16; ++i) {
    if (d[i] < '0' || d[i] > '9') {
      fail(out, "date-time text holds a byte that is not a digit");
      return;
    }
  }
  const int month = twoDigits(d + 4), day = twoDigits(d + 6);
  if (month < 1 || month > 12) fail(out, "month " + std::to_string(month));
  if (day < 1 || day > 31) fail(out, "day " + std::to_string(day));
  if (d[8] != '0' || d[9] != '0') fail(out, "characters 9-10 of the date-time text are not \"00\"");
  if (twoDigits(d + 10) > 23 || twoDigits(d + 12) > 59 || twoDigits(d + 14) > 60)
    fail(out, "time of day out of range");
}

// unit, 00, length - 1, 00, 'S', 00, slot, [1D], kind, text, [1C], the
// nibble check of X (the XOR of all bytes before it): X as a signed byte
// shifted right by 4, then X & 0F.
void decodeLineUp(const uint8_t* p, size_t n, Frame& out) {
  if (!needPayload(p, n, 10, out)) return;
  const bool bracketed = p[7] == 0x1D;
  if (bracketed && !needPayload(p, n, 12, out)) return;
  const size_t b = bracketed ? 1 : 0;
  addNumber(out, "unitAddress", p[0]);
  addNumber(out, "slotNo", p[6]);
  addWord(out, "bracketed", bracketed ? "true" : "false");
  const uint8_t kind = p[7 + b];
  if (kind == 0x1F) addWord(out, "lineKind", "1");
  else if (kind == 0x1E) addWord(out, "lineKind", "2");
  else if (kind == 0x0A) addWord(out, "lineKind", "other");
  else fail(out, "kind byte " + hexBytes(&kind, 1) + ", expected 1F, 1E or 0A");
  addNumber(out, "lengthField", p[2]);
  if (p[2] != ((n - 1) & 0xFF)) fail(out, "length byte " + std::to_string(p[2]) + " for a record of " + std::to_string(n) + " bytes");
  if (p[1] != 0 || p[3] != 0 || p[5] != 0) fail(out, "bytes 1, 3 and 5 are not all 00");
  if (p[4] != 'S') fail(out, "byte 4 is " + hexBytes(p + 4, 1) + ", expected 53 ('S')");
  const size_t textAt = 8 + b, textEnd = n - 2 - b;
  addText(out, "text", p + textAt, textEnd - textAt);
  if (bracketed && p[n - 3] != 0x1C) fail(out, "closing bracket " + hexBytes(p + n - 3, 1) + ", expected 1C");

  const uint8_t x = xorOf(p, n - 2);
  const uint8_t want[2] = {uint8_t((x >> 4) | ((x & 0x80) ? 0xF0 : 0x00)), uint8_t(x & 0x0F)};
  const bool ok = p[n - 2] == want[0] && p[n - 1] == want[1];
  addWord(out, "check", ok ? "ok" : "bad");
  if (!ok) fail(out, "nibble check " + hexBytes(p + n - 2, 2) + ", expected " + hexBytes(want, 2));
}

// FD, big-endian L + 2, 01 00, the spoken text of L bytes, 00 00.
void decodeVoice(const uint8_t* p, size_t n, Frame& out) {
  if (!needPayload(p, n, 7, out)) return;
  const size_t counted = be16(p + 1);
  if (counted + 5 != n) {
    fail(out, "voice length field " + std::to_string(counted) + " for a record of " + std::to_string(n) +
                  " bytes (spoken text and closing 00 00)");
    decodeBusVoice(p, n, out);
    return;
  }
  if (p[n - 2] != 0 || p[n - 1] != 0) fail(out, "voice record ends with " + hexBytes(p + n - 2, 2) + ", expected 00 00");
  decodeBusVoice(p, n - 2, out);
}

}  // namespace vexasim
