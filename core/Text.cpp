// Collected-data and coordinate-text records: a few addressing and style
// bytes, a one-byte text length and the text bytes as the caller gave them.
#include <cstring>

#include "core/BufferWriter.h"
#include "core/CBuffObj.h"

namespace {

// Two 4-bit values in one byte, high nibble first. Computed unsigned so that
// any int keeps just its low bits without overflowing.
long Nibbles(long high, long low) {
  return static_cast<long>(((static_cast<unsigned long>(high) << 4) |
                            static_cast<unsigned long>(low)) & 0xFFu);
}

}  // namespace

CBuffObj::tagBufferInfo CBuffObj::CollectionBuffer(char* text, int dataIndex, bool flagHigh,
                                                   bool flagLow, short styleHigh,
                                                   short styleLow, short attrHigh,
                                                   short attrLow) {
  if (text == nullptr) return InvalidBuffer();
  const size_t length = std::strlen(text);
  BufferWriter w;
  w.u8(dataIndex);
  w.u8((flagHigh ? 0x50 : 0x00) | (flagLow ? 0x05 : 0x00));
  w.u8(Nibbles(styleHigh, styleLow)).u8(Nibbles(attrHigh, attrLow));
  w.u8(static_cast<long>(length & 0xFF));  // the length byte keeps the low 8 bits
  w.bytes(text, length);
  return w.finish();
}

CBuffObj::tagBufferInfo CBuffObj::CoordinateTextBuffer(char* text, int x, int y, int textStyle,
                                                       int attrHigh, int attrLow) {
  if (text == nullptr) return InvalidBuffer();
  const size_t length = std::strlen(text);
  BufferWriter w;
  w.u8(0x80).u16le(x).u16le(y).u8(0x00).u8(textStyle).u8(Nibbles(attrHigh, attrLow));
  w.u8(static_cast<long>(length & 0xFF));
  w.bytes(text, length);
  return w.finish();
}
