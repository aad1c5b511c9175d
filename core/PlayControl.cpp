// Play control, relay and brightness payloads: value bytes each followed by
// their complement, so the controller can check them.
#include "core/BufferWriter.h"
#include "core/CBuffObj.h"

namespace {
int Complement(int v) { return (v & 0xFF) ^ 0xFF; }
}  // namespace

CBuffObj::tagBufferInfo CBuffObj::PlayShowPageBuffer(int pageNo) {
  BufferWriter w;
  w.u8(pageNo).u8(Complement(pageNo));
  return w.finish();
}

CBuffObj::tagBufferInfo CBuffObj::RelayBuffer(int relayNo, int action, int delay) {
  int code = 0xFF;  // no change
  if (delay <= 0) {
    if (action == 1) code = 0xFC;       // on
    else if (action == 2) code = 0xFD;  // off
  } else if (delay <= 16) {
    code = 0xAF + delay;  // timed pulse, B0..BF
  }
  BufferWriter w;
  for (int slot = 1; slot <= 8; ++slot) {
    int c = slot == relayNo ? code : 0xFF;
    w.u8(c).u8(Complement(c));
  }
  return w.finish();
}

CBuffObj::tagBufferInfo CBuffObj::SetBrightBuffer(int value1, int value2) {
  BufferWriter w;
  w.u8(value1).u8(Complement(value1)).u8(value2).u8(Complement(value2));
  return w.finish();
}
