// What a controller sends back. Over the network (and on a serial line
// carrying network frames) a reply is a network frame whose one payload byte
// is the status; on an RS-485 line it is a short frame FE, a kind byte, four
// bytes and the status at byte 6.
#include <cstring>

#include "DecodeUtil.h"
#include "Frame.h"

namespace vexasim {

using namespace detail;

namespace {

// "accepted" for "1" and "O" (the voice module's yes), "refused" for "2" and
// "3"; a 00 status counts as accepted in the RS-485 reply (kind byte 97).
void addStatus(Frame& f, uint8_t status, bool rs485Kind) {
  addText(f, "status", &status, 1);
  const char* meaning = "unknown";
  if (status == '1' || status == 'O' || (rs485Kind && status == 0)) meaning = "accepted";
  if (status == '2' || status == '3') meaning = "refused";
  addWord(f, "meaning", meaning);
}

}  // namespace

Frame decodeReply(const uint8_t* p, size_t n) {
  Frame f;
  f.name = "Reply";
  if (n >= 4 && std::memcmp(p, "\xFE\x5C\x4B\x89", 4) == 0) {
    if (!readNetworkEnvelope(p, n, f)) return f;
    f.kind = "net";
    if (f.payload.empty()) {
      fail(f, "reply without a status byte");
      return f;
    }
    addStatus(f, f.payload[0], false);
    noExtraBytes(f.payload.data(), f.payload.size(), 1, f);
    return f;
  }
  f.raw.assign(p, p + n);
  if (n >= 2 && p[0] == 0xFE) {
    f.kind = "serial";
    f.command = p[1];
    if (n < 7) {
      fail(f, "serial reply of " + std::to_string(n) + " bytes ends before its status byte");
      addHex(f, "payload", p, n);
      return f;
    }
    addStatus(f, p[6], p[1] == 0x97);
    noExtraBytes(p, n, 7, f);
    return f;
  }
  f.kind = "unknown";
  fail(f, std::to_string(n) + " bytes that are no reply");
  if (n) addHex(f, "payload", p, n);
  return f;
}

}  // namespace vexasim
