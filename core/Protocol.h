// The names of the controller protocol, in one place: ports and sizes, frame
// marks, content types, the bus protocol number, and the two
// small rules several encoders share (packing two 4-bit values into a byte,
// recognising the halves of double-byte characters).
#ifndef LIBVEXA_X86_CORE_PROTOCOL_H
#define LIBVEXA_X86_CORE_PROTOCOL_H

#include <cstdint>

namespace protocol {

// ---------------------------------------------------------------------------
// Sizes and ports.
constexpr int kRecordSize = 3000;           // one payload or one frame
constexpr int kNetworkHeaderSize = 17;      // network frame bytes before the payload
constexpr int kNetworkFrameOverhead = 19;   // header and end mark around a payload
constexpr int kUdpPort = 8800;              // controller's datagram port
constexpr int kTcpPort = 8900;              // controller's stream port
constexpr int kDefaultLocalPort = 8801;     // local port datagrams leave from
constexpr int kMaxDatagram = 1408;          // largest datagram sent; longer frames are split
constexpr int kStreamReceiveBuffer = 1024;  // receive buffer requested in stream mode
constexpr int kReplySize = 1024;            // bytes of one reply read at most
constexpr int kImageChunk = 2048;           // bitmap bytes per image-group chunk
constexpr int kMediaChunk = 960;            // bitmap bytes per multimedia chunk
constexpr int kAccumulationSize = 2048;     // bytes a multi-part text gathers at most
// How long the login server waits for a dialled-in controller's answer to its
// greeting before recording it anyway.
constexpr int kLoginAnswerWaitMs = 3000;

// ---------------------------------------------------------------------------
// Frame marks.
constexpr uint8_t kFrameStart = 0xFE;  // first byte of every frame
constexpr uint8_t kNetworkMagic[4] = {0xFE, 0x5C, 0x4B, 0x89};
constexpr uint8_t kFrameEnd = 0xFF;      // network frames end FF FF
constexpr uint8_t kBusFrameKind = 0x98;  // RS-485 frame, byte 1
constexpr uint8_t kBusMark = 0x97;       // RS-485 and bar frames, byte 4
constexpr uint8_t kVoiceBusMark = 0x99;  // RS-485 voice frame, byte 4

// The serial protocol number that selects the RS-485 bus frames; any other
// number sends the network frame unchanged over the serial line.
constexpr int kBusProtocol = 2;

// Network modes of the network sender.
constexpr int kStreamMode = 2;
constexpr int kLoginLinkMode = 3;

// Pack types of image-group and multimedia chunks.
constexpr int kFirstPack = 0x31;
constexpr int kLaterPack = 0x32;

// ---------------------------------------------------------------------------
// Content types of materials, template blocks and the page-set descriptor.
namespace content {
constexpr int kDateTime = '1';
constexpr int kLineUp = '5';
constexpr int kCollectData = '6';
constexpr int kInternalText = '7';
constexpr int kImageGroup = '8';
constexpr int kImageGroupMode1 = '9';
constexpr int kImageGroupMode2 = ':';

inline bool IsImageGroup(int type) {
  return type == kImageGroup || type == kImageGroupMode1 || type == kImageGroupMode2;
}
inline bool IsTemplate(int type) {
  return type == kCollectData || type == kInternalText || type == kDateTime || type == kLineUp;
}
}  // namespace content

// ---------------------------------------------------------------------------
// Two values in one byte: the low `lowWidth` bits of `low`, and above them the
// low bits of `high` that still fit. Computed unsigned, so any int keeps just
// its low bits without overflowing.
constexpr uint8_t PackBits(long high, int lowWidth, long low) {
  const unsigned long lowMask = (1ul << lowWidth) - 1;
  return static_cast<uint8_t>(((static_cast<unsigned long>(high) << lowWidth) |
                               (static_cast<unsigned long>(low) & lowMask)) &
                              0xFFu);
}

// Two 4-bit values in one byte, high nibble first: (high & 0x0F) x 16 +
// (low & 0x0F).
constexpr uint8_t PackNibbles(long high, long low) { return PackBits(high, 4, low); }

// A style or attribute byte of the text records: the low 8 bits of
// (high x 16) OR low. Unlike PackNibbles, a low value above 15 reaches into
// the high nibble, as controllers have always been sent it.
constexpr uint8_t StyleByte(long high, long low) {
  return static_cast<uint8_t>(
      ((static_cast<unsigned long>(high) << 4) | static_cast<unsigned long>(low)) & 0xFFu);
}

// Bytes from 0xA0 up are halves of double-byte characters; below are
// one-byte characters.
constexpr bool IsDoubleByteHalf(uint8_t b) { return b >= 0xA0; }

}  // namespace protocol

#endif  // LIBVEXA_X86_CORE_PROTOCOL_H
