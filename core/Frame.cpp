// The record, the bounded writer's number formatting and the network frame.
#include <cstdio>

#include "core/BufferWriter.h"
#include "core/CBuffObj.h"
#include "core/Protocol.h"

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
  // The text "%0<width>ld" would give, cut to its first `width` characters,
  // built without a fixed scratch area so that any width is safe: the sign
  // (if any), then zeros up to the width, then the digits.
  if (width <= 0) return *this;
  char digits[24];
  int n = std::snprintf(digits, sizeof digits, "%ld", v);
  if (n <= 0) return *this;
  size_t len = static_cast<size_t>(n);
  size_t w = static_cast<size_t>(width);
  if (w <= len) return bytes(digits, w);
  const char* body = digits;
  if (v < 0) {
    u8('-');
    ++body;
    --len;
    --w;
  }
  for (size_t i = len; i < w; ++i) u8('0');
  return bytes(body, len);
}

CBuffObj::tagBufferInfo CBuffObj::CompletePacketBuffer(tagBufferInfo payload, short commandCode,
                                                       int subCode) {
  if (!IsValid(payload)) return InvalidBuffer();
  const uint32_t n = static_cast<uint32_t>(payload.nBufferLen);
  BufferWriter w;
  w.bytes(protocol::kNetworkMagic, sizeof protocol::kNetworkMagic);
  w.u32le(n + protocol::kNetworkFrameOverhead);
  w.u8(commandCode).u8(subCode).u8(0).u8(0).u8(0);
  w.u32le(n);
  w.record(payload);
  w.u8(protocol::kFrameEnd).u8(protocol::kFrameEnd);
  return w.finish();
}
