// Collected-data and coordinate-text records: a few addressing and style
// bytes, a one-byte text length and the text bytes as the caller gave them.
#include <cstring>

#include "core/BufferWriter.h"
#include "core/CBuffObj.h"
#include "core/Protocol.h"

CBuffObj::tagBufferInfo CBuffObj::CollectionBuffer(char* text, int dataIndex, bool flagHigh,
                                                   bool flagLow, short styleHigh,
                                                   short styleLow, short attrHigh,
                                                   short attrLow) {
  if (text == nullptr) return InvalidBuffer();
  const size_t length = std::strlen(text);
  BufferWriter w;
  w.u8(dataIndex);
  w.u8((flagHigh ? 0x50 : 0x00) | (flagLow ? 0x05 : 0x00));
  w.u8(protocol::StyleByte(styleHigh, styleLow)).u8(protocol::StyleByte(attrHigh, attrLow));
  w.u8(static_cast<long>(length & 0xFF));  // the length byte keeps the low 8 bits
  w.bytes(text, length);
  return w.finish();
}

CBuffObj::tagBufferInfo CBuffObj::CoordinateTextBuffer(char* text, int x, int y, int textStyle,
                                                       int attrHigh, int attrLow) {
  if (text == nullptr) return InvalidBuffer();
  const size_t length = std::strlen(text);
  BufferWriter w;
  w.u8(0x80).u16le(x).u16le(y).u8(0x00).u8(textStyle).u8(protocol::StyleByte(attrHigh, attrLow));
  w.u8(static_cast<long>(length & 0xFF));
  w.bytes(text, length);
  return w.finish();
}

CBuffObj::tagBufferInfo CollectedDataRecord(CBuffObj& obj, char* text, int dataIndex,
                                            int textStyle, int attrHigh, int attrLow) {
  return obj.CollectionBuffer(text, dataIndex, false, false, static_cast<short>(textStyle),
                              static_cast<short>(textStyle), static_cast<short>(attrHigh),
                              static_cast<short>(attrLow));
}
