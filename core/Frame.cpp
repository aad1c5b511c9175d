// The network frame around a payload.
#include "core/BufferWriter.h"
#include "core/CBuffObj.h"
#include "core/Protocol.h"

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
