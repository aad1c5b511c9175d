// The line-up record: an addressed record with its own length byte and a
// two-byte nibble check over everything before it.
#include <cstdint>
#include <cstring>

#include "core/BufferWriter.h"
#include "core/CBuffObj.h"

namespace {

int KindByte(int lineKind) { return lineKind == 1 ? 0x1F : lineKind == 2 ? 0x1E : 0x0A; }

}  // namespace

CBuffObj::tagBufferInfo CBuffObj::LineUpBuffer(char* text, int slotNo, int lineKind,
                                               int unitAddress, bool bracketed) {
  if (text == nullptr) return InvalidBuffer();
  const size_t length = std::strlen(text);
  // Record length minus one: everything but the unit address byte.
  const size_t lengthField = length + (bracketed ? 11 : 9);
  BufferWriter w;
  w.u8(unitAddress).u8(0x00).u8(static_cast<long>(lengthField & 0xFF)).u8(0x00);
  w.u8('S').u8(0x00).u8(slotNo);
  if (bracketed) w.u8(0x1D);
  w.u8(KindByte(lineKind));
  w.bytes(text, length);
  if (bracketed) w.u8(0x1C);
  if (!w.ok()) return InvalidBuffer();

  uint8_t x = 0;
  for (size_t i = 0; i < w.pos(); ++i) x ^= w.data()[i];
  // The high check byte is X read as a signed byte and shifted right
  // arithmetically: 0x00..0x07 below 0x80, 0xF8..0xFF from 0x80 on.
  const uint8_t high = static_cast<uint8_t>((x >> 4) | ((x & 0x80) ? 0xF0 : 0x00));
  w.u8(high).u8(x & 0x0F);
  return w.finish();
}
