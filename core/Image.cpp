// Image-group blocks, multimedia frames and the play-image-group payload.
#include <string>

#include "core/BufferWriter.h"
#include "core/CBuffObj.h"
#include "core/Commands.h"
#include "core/Protocol.h"
#include "model/GlobalMember.h"

namespace {

constexpr size_t kPackTypeOffset = 36;  // block byte that carries the pack type

// The chunk bytes of a pack as a content record; invalid when the pack's
// length does not describe bytes it holds.
CBuffObj::tagBufferInfo ChunkOf(const GlobalMember::tagPackBuffer& pack) {
  if (pack.nDataLen < 0 || static_cast<size_t>(pack.nDataLen) > sizeof pack.chArrData)
    return InvalidBuffer();
  BufferWriter w;
  w.bytes(pack.chArrData, static_cast<size_t>(pack.nDataLen));
  return w.finish();
}

}  // namespace

// The image-group block is the short template block with content type '8':
// the header word carries the image count, the three trailer words the mark,
// the pack count and the pack index, and byte 36 the pack type ('1' for the
// first chunk of a group, '2' for the others) where text contents have '1'.
CBuffObj::tagBufferInfo CBuffObj::ImgGroupBuffer(GlobalMember::tagPackBuffer pack,
                                                 int materialId, int displayMode, int style1,
                                                 int style2, int style3, int levelCode,
                                                 bool primaryFlag, int imageCount,
                                                 bool lastChunk) {
  tagBufferInfo chunk = ChunkOf(pack);
  if (!IsValid(chunk)) return InvalidBuffer();
  tagBufferInfo block =
      TemplateBuffer(chunk, protocol::content::kImageGroup, 0, 0, materialId, displayMode, style1,
                     style2, style3, 0, 0, 0, levelCode, primaryFlag, 0, pack.nMark,
                     pack.nPackIndex, pack.nPackCount, imageCount, lastChunk);
  BufferWriter w;
  w.record(block);
  w.patch(kPackTypeOffset, pack.nPackType);
  return w.finish();
}

// A complete multimedia frame. It has the network frame's magic, length
// fields and end mark, but bytes 9 to 12 hold 19 32 5E 00 instead of a
// sub-code.
//
// Form 0x78 carries position and size and its length fields count its bytes.
// Every other code (0x6C in practice) carries a flag and a value instead, and
// its two length fields are computed as L + 28 and L + 9, one more than the
// L + 27 bytes of the frame and the L + 8 bytes after its 17-byte header.
// Controllers built against this layout may rely on exactly these values, so
// the fields are sent as they have always been and not "corrected".
CBuffObj::tagBufferInfo CBuffObj::MultimediaBuffer(GlobalMember::tagPackBuffer pack,
                                                   short commandCode, int /*colourMode*/,
                                                   int horizontal8, int vertical, int width8,
                                                   int height, int flag, int value) {
  tagBufferInfo chunk = ChunkOf(pack);
  if (!IsValid(chunk)) return InvalidBuffer();
  const uint32_t n = static_cast<uint32_t>(chunk.nBufferLen);
  const bool wide = commandCode == commands::kMultimediaWide.networkCode;
  BufferWriter w;
  w.bytes(protocol::kNetworkMagic, sizeof protocol::kNetworkMagic);
  w.u32le(wide ? n + 33 : n + 28);
  w.u8(commandCode).u8(0x19).u8(0x32).u8(0x5E).u8(0x00);
  w.u32le(wide ? n + 14 : n + 9);
  if (wide) {
    w.u16le(horizontal8).u16le(vertical).u16le(width8).u16le(height);
  } else {
    w.u8(flag != 0 ? 1 : 0).u8(value);
  }
  w.u16le(0).u16le(pack.nPackCount).u16le(pack.nPackIndex);
  w.record(chunk);
  w.u8(0xFF).u8(0xFF);
  return w.finish();
}

// Not used by the library: bitmaps come from the free ImageContentBuffer.
CBuffObj::tagBufferInfo CBuffObj::ImageContentBuffer(char* /*source*/) { return EmptyBuffer(); }

CBuffObj::tagBufferInfo CBuffObj::PlayImageBuffer(int modeSelect, int groupNo, int byte5,
                                                  int word6, int word8, int byte10, int byte11,
                                                  int byte12, bool byte2Clear,
                                                  bool highModeBits) {
  // Byte 3: two 4-bit halves, the high one set to 0101 for mode 0 with the
  // high mode bits, the low one to 0101 for mode 1.
  const int high = (modeSelect == 0 && highModeBits) ? 5 : 0;
  const int low = modeSelect == 1 ? 5 : 0;
  BufferWriter w;
  w.u8(groupNo).u8(~groupNo).u8(byte2Clear ? 0 : 1).u8(protocol::PackNibbles(high, low)).u8(0);
  w.u8(byte5).u16le(word6).u16le(word8).u8(byte10).u8(byte11).u8(byte12);
  return w.finish();
}
