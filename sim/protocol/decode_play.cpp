// Play control family: play a show page, start and stop playing, relays,
// brightness. Each value byte of these payloads is followed by its
// complement, which the controller checks and so do we.
#include "DecodeUtil.h"
#include "Frame.h"

namespace vexasim {

using namespace detail;

// page, ~page
void decodePlayShowPage(const uint8_t* p, size_t n, Frame& out) {
  if (!needPayload(p, n, 2, out)) return;
  addNumber(out, "page", p[0]);
  complementField(out, "page", p[0], p[1]);
  noExtraBytes(p, n, 2, out);
}

// Start and stop playing carry nothing.
void decodeEmptyPayload(const uint8_t* p, size_t n, Frame& out) { noExtraBytes(p, n, 0, out); }

namespace {

std::string relayAction(uint8_t code) {
  if (code == 0xFF) return "no change";
  if (code == 0xFC) return "on";
  if (code == 0xFD) return "off";
  if (code >= 0xB0 && code <= 0xBF) return "pulse " + std::to_string(code - 0xAF);
  return "code " + hexBytes(&code, 1);
}

}  // namespace

// Eight slots, one per relay: action code, ~code.
void decodeRelay(const uint8_t* p, size_t n, Frame& out) {
  if (!needPayload(p, n, 16, out)) return;
  for (int k = 0; k < 8; ++k) {
    std::string name = "relay" + std::to_string(k + 1);
    addWord(out, name, relayAction(p[2 * k]), p[2 * k]);  // the word and the action code it stands for
    complementField(out, name, p[2 * k], p[2 * k + 1]);
  }
  noExtraBytes(p, n, 16, out);
}

// value1, ~value1, value2, ~value2
void decodeSetBright(const uint8_t* p, size_t n, Frame& out) {
  if (!needPayload(p, n, 4, out)) return;
  addNumber(out, "value1", p[0]);
  complementField(out, "value1", p[0], p[1]);
  addNumber(out, "value2", p[2]);
  complementField(out, "value2", p[2], p[3]);
  noExtraBytes(p, n, 4, out);
}

}  // namespace vexasim
