// Payloads that only the serial bus carries: the clock record in its byte
// form (RS-485 code 0x34) and the voice record of the RS-485 voice frame
// (code 0x73), which has no trailing zero bytes. The bus address, option
// block and CRC are checked by the frame splitter; the other bus codes carry
// the network payloads and use their decoders.
#include <cstdio>
#include <cstring>
#include <string>

#include "DecodeUtil.h"
#include "Frame.h"

namespace vexasim {

using namespace detail;

// year - 2000, month, day, 00, hour, minute, second.
void decodeClockBytes(const uint8_t* p, size_t n, Frame& out) {
  if (!needPayload(p, n, 7, out)) return;
  char text[32];
  std::snprintf(text, sizeof text, "%04d-%02d-%02d %02d:%02d:%02d", 2000 + p[0], p[1], p[2], p[4], p[5], p[6]);
  const long long stands = (2000LL + p[0]) * 10000000000LL + p[1] * 100000000LL + p[2] * 1000000LL +
                           p[4] * 10000LL + p[5] * 100LL + p[6];
  addWord(out, "dateTime", text, stands);  // standing for YYYYMMDDhhmmss, as the text form's digits do
  if (p[1] < 1 || p[1] > 12) fail(out, "month " + std::to_string(p[1]));
  if (p[2] < 1 || p[2] > 31) fail(out, "day " + std::to_string(p[2]));
  if (p[3] != 0) fail(out, "byte 3 is " + hexBytes(p + 3, 1) + ", expected 00");
  if (p[4] > 23 || p[5] > 59 || p[6] > 60) fail(out, "time of day out of range");
  noExtraBytes(p, n, 7, out);
}

namespace {

// Reads one voice tag at the front of s: "[v<digits>]", "sound<d>01 ",
// "[m3] " or "[m51] ". Returns its length, 0 when none is there.
size_t tagLength(const std::string& s, size_t at, const char* kind) {
  if (std::strcmp(kind, "v") == 0) {
    if (s.compare(at, 2, "[v") != 0) return 0;
    size_t i = at + 2;
    while (i < s.size() && s[i] >= '0' && s[i] <= '9') ++i;
    if (i == at + 2 || i >= s.size() || s[i] != ']') return 0;
    return i + 1 - at;
  }
  if (std::strcmp(kind, "sound") == 0) {
    for (const char* t : {"sound101 ", "sound201 ", "sound301 "})
      if (s.compare(at, std::strlen(t), t) == 0) return std::strlen(t);
    return 0;
  }
  for (const char* t : {"[m3] ", "[m51] "})
    if (s.compare(at, std::strlen(t), t) == 0) return std::strlen(t);
  return 0;
}

}  // namespace

// FD, big-endian L + 2, 01 00, the spoken text of L bytes (voice tags in
// front of the text), nothing after it.
void decodeBusVoice(const uint8_t* p, size_t n, Frame& out) {
  if (!needPayload(p, n, 5, out)) return;
  if (p[0] != 0xFD) fail(out, "voice record starts with " + hexBytes(p, 1) + ", expected FD");
  if (p[3] != 0x01 || p[4] != 0x00) fail(out, "voice record bytes 3-4 are " + hexBytes(p + 3, 2) + ", expected 01 00");
  const size_t counted = be16(p + 1);
  if (counted < 2 || counted - 2 != n - 5)
    fail(out, "voice length field " + std::to_string(counted) + " for a spoken text of " + std::to_string(n - 5) +
                  " bytes (no trailing zeros on the bus)");
  const std::string spoken(reinterpret_cast<const char*>(p + 5), n - 5);
  addText(out, "spokenText", p + 5, n - 5);
  size_t at = 0;
  for (const char* kind : {"v", "sound", "m"}) {
    const size_t len = tagLength(spoken, at, kind);
    if (len == 0) continue;
    addText(out, std::string(kind) + "Tag", p + 5 + at, len);
    at += len;
  }
  addText(out, "text", p + 5 + at, n - 5 - at);
}

}  // namespace vexasim
