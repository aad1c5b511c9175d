// The record, the bounded writer's number formatting and the network frame.
#include <cstdio>

#include "core/BufferWriter.h"
#include "core/CBuffObj.h"

CBuffObj::CBuffObj() = default;
CBuffObj::~CBuffObj() = default;

CBuffObj::tagBufferInfo EmptyBuffer() {
  CBuffObj::tagBufferInfo b;
  b.nBufferLen = 0;
  return b;
}

CBuffObj::tagBufferInfo InvalidBuffer() {
  CBuffObj::tagBufferInfo b;
  b.nBufferLen = -1;
  return b;
}

BufferWriter& BufferWriter::decimal(long v, int width) {
  char scratch[32];
  int n = std::snprintf(scratch, sizeof scratch, "%0*ld", width, v);
  if (n < 0) n = 0;
  // The field takes exactly `width` characters of the text; a shorter text
  // cannot occur because of the zero padding.
  size_t take = static_cast<size_t>(width);
  if (take > static_cast<size_t>(n)) take = static_cast<size_t>(n);
  return bytes(scratch, take);
}

CBuffObj::tagBufferInfo CBuffObj::CompletePacketBuffer(tagBufferInfo payload, short commandCode,
                                                       int subCode) {
  if (!IsValid(payload)) return InvalidBuffer();
  const uint32_t n = static_cast<uint32_t>(payload.nBufferLen);
  BufferWriter w;
  w.u8(0xFE).u8(0x5C).u8(0x4B).u8(0x89);
  w.u32le(n + 19);
  w.u8(commandCode).u8(subCode).u8(0).u8(0).u8(0);
  w.u32le(n);
  w.record(payload);
  w.u8(0xFF).u8(0xFF);
  return w.finish();
}
