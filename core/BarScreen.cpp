// Frames of the one-line bar screens: the parameter frame (kind 0x48) and the
// content frame (kind 0x49) that carries text cut into pages of cells, each
// cell a text byte and a colour attribute byte.
//
// Both frames are complete in themselves: FE, screen address, big-endian
// length (frame length less 2), 97, kind, the kind's bytes, and an XOR byte
// over everything after the FE.
#include "core/BarScreen.h"

#include <cstring>
#include <string>

#include "core/BufferWriter.h"
#include "core/CBuffObj.h"
#include "core/Protocol.h"

int BarScreenMoveStyle(int moveStyle) {
  switch (moveStyle) {
    case 1: return 2;
    case 2: return 1;
    case 3: return 4;
    case 4: return 3;
    case 0: case 5: case 6: case 7: case 8: return moveStyle;
    default: return 0;
  }
}

namespace {

constexpr size_t kHeaderLength = 18;  // content frame bytes before the first page
constexpr size_t kPageHeaderLength = 12;
constexpr size_t kLengthAt = 2;       // big-endian length field
constexpr size_t kPageCountAt = 15;   // big-endian page count
constexpr long kLongestPrefix = 3;    // one circled number

}  // namespace

CBuffObj::tagBufferInfo CBuffObj::BarScreenParamBuffer(int frameByte13, int frameByte6,
                                                       int frameByte7, int twoWay,
                                                       int frameByte9, bool clearByte14) {
  if (twoWay != 0 && twoWay != 1) twoWay = 0;
  if (frameByte9 < 0 || frameByte9 > 7) frameByte9 = 0;
  BufferWriter w;
  w.u8(0xFE).u8(0x01).u16be(17).u8(0x97).u8(0x48);
  w.u8(frameByte6).u8(frameByte7).u8(twoWay + 1).u8(frameByte9);
  w.u8(0x00).u8(0x00).u8(0x55).u8(frameByte13).u8(clearByte14 ? 0x00 : 0x55);
  w.u8(0x00).u8(0x00).u8(0x00);
  return XORCheck(w.finish());
}

// Pages: the text is cut into pages of W = 2 x pageWidth - prefixLength text
// cells. With more than one page (and unless the first move style is 2 with
// page byte 3 at 0, where the screen scrolls the text through), a page whose
// last cell would hold the first half of a double-byte character shows a
// space there instead, and that byte opens the next page, so no character is
// ever torn across two pages. Every page carries exactly W text cells, the
// last one padded with spaces; when held-back bytes need a page beyond those
// the text length alone asks for, the frame gets it, and the page count and
// length field count every page written. No text byte is ever dropped.
//
// Refused (invalid record, so nothing is sent): a page with no room for text
// (W of 0 or less), a prefix longer than one circled number, and a frame
// that would not fit the record.
CBuffObj::tagBufferInfo CBuffObj::BarScreenContentBuffer(
    char* text, int screenAddress, int colour, int pageWidth, int /*unused1*/,
    int /*unused2*/, int frameWord13, int moveStyle1, int moveStyle2, int pageByte3,
    int pageByte5, int pageByte7, int pageByte8, int prefixLength, bool byte10Is82) {
  if (text == nullptr) return InvalidBuffer();
  const long long cellsPerPage = 2LL * pageWidth - prefixLength;  // W
  if (pageWidth <= 0 || cellsPerPage <= 0) return InvalidBuffer();
  if (prefixLength < 0 || prefixLength > kLongestPrefix) return InvalidBuffer();
  // One page alone must fit; this also bounds the loops below.
  const long long pageBytes =
      static_cast<long long>(kPageHeaderLength) + 2LL * (prefixLength + cellsPerPage);
  if (static_cast<long long>(kHeaderLength) + pageBytes + 1 > static_cast<long long>(BufferWriter::kCapacity))
    return InvalidBuffer();

  const size_t W = static_cast<size_t>(cellsPerPage);
  const auto* bytes = reinterpret_cast<const uint8_t*>(text);
  const size_t L = std::strlen(text);
  const size_t countedPages = L / W + (L % W != 0 ? 1 : 0);
  const bool keepCharactersWhole = countedPages > 1 && !(moveStyle1 == 2 && pageByte3 == 0);
  if (colour < 1 || colour > 3) colour = 1;
  if (frameWord13 == 0) frameWord13 = 0xFFFF;
  const bool withPrefix = prefixLength > 0 && screenAddress >= 1 && screenAddress <= 19;
  const std::string prefix =
      withPrefix ? arrWinFix[screenAddress - 1].substr(0, static_cast<size_t>(prefixLength)) : "";

  BufferWriter w;
  w.u8(0xFE).u8(screenAddress).u16be(0).u8(0x97).u8(0x49);
  w.u8(0xFF).u8(0x55).u8(0xAA).u8(0x00);
  w.u8(byte10Is82 ? 0x82 : 0x81).u8(pageWidth).u8(0x01).u16be(frameWord13);
  w.u16be(0).u8(0x00);

  size_t pos = 0;  // next text byte
  size_t pages = 0;
  while (pos < L && w.ok()) {
    ++pages;
    w.u16be(static_cast<long>(pages));
    w.u8(BarScreenMoveStyle(moveStyle1)).u8(pageByte3).u8(BarScreenMoveStyle(moveStyle2));
    w.u8(pageByte5).u8(prefixLength).u8(pageByte7).u8(pageByte8).u8(0).u8(0).u8(0);
    for (char c : prefix) w.u8(c).u8(0x02);
    // Bytes at or above 0xA0 on this page so far; the page starts on a
    // character boundary, so an odd count at a byte means that byte is the
    // first half of a double-byte character.
    size_t highBytes = 0;
    for (size_t cell = 0; cell < W; ++cell) {
      if (pos >= L) {
        w.u8(' ').u8(colour);
        continue;
      }
      const uint8_t b = bytes[pos];
      if (protocol::IsDoubleByteHalf(b)) ++highBytes;
      const bool lastCell = cell + 1 == W;
      if (keepCharactersWhole && lastCell && cell > 0 && highBytes % 2 == 1) {
        w.u8(' ').u8(colour);  // held back: opens the next page
        continue;
      }
      w.u8(b).u8(colour);
      ++pos;
    }
  }
  const size_t frameLength = w.pos() + 1;
  w.patch(kLengthAt, static_cast<long>((frameLength - 2) >> 8));
  w.patch(kLengthAt + 1, static_cast<long>(frameLength - 2));
  w.patch(kPageCountAt, static_cast<long>(pages >> 8));
  w.patch(kPageCountAt + 1, static_cast<long>(pages));
  return XORCheck(w.finish());
}
