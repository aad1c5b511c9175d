// Bar screens: the parameter frame (kind 0x48) and the content frame (kind
// 0x49). The decoders get the bytes from frame offset 6 up to the XOR byte;
// address, length field and XOR byte are checked by the frame splitter.
#include <string>
#include <vector>

#include "DecodeUtil.h"
#include "Frame.h"

namespace vexasim {

using namespace detail;

namespace {

void expectByte(Frame& out, const uint8_t* p, size_t at, uint8_t want, int frameOffset) {
  if (p[at] != want)
    fail(out, "byte " + std::to_string(frameOffset) + " is " + hexBytes(p + at, 1) + ", expected " +
                  hexBytes(&want, 1));
}

// The cells' colour attributes: when they are all equal, that one value as
// a number; otherwise each one, as bytes.
void addAttributes(Frame& out, std::string name, const std::vector<uint8_t>& attrs) {
  for (uint8_t a : attrs) {
    if (a != attrs[0]) {
      addHex(out, std::move(name), attrs.data(), attrs.size());
      return;
    }
  }
  if (attrs.empty()) addHex(out, std::move(name), nullptr, 0);
  else addNumber(out, std::move(name), attrs[0]);
}

}  // namespace

// Frame bytes 6..17: byte6, byte7, choice + 1, value 0..7, 00 00, 55, byte13,
// 00 (flag set) or 55 (clear), 00 00 00.
void decodeBarParams(const uint8_t* p, size_t n, Frame& out) {
  if (!needPayload(p, n, 12, out)) return;
  addNumber(out, "byte6", p[0]);
  addNumber(out, "byte7", p[1]);
  addNumber(out, "choice", long(p[2]) - 1);
  if (p[2] != 1 && p[2] != 2) fail(out, "byte 8 is " + hexBytes(p + 2, 1) + ", expected 01 or 02");
  addNumber(out, "value", p[3]);
  if (p[3] > 7) fail(out, "byte 9 is " + hexBytes(p + 3, 1) + ", expected 00 to 07");
  expectByte(out, p, 4, 0x00, 10);
  expectByte(out, p, 5, 0x00, 11);
  expectByte(out, p, 6, 0x55, 12);
  addNumber(out, "byte13", p[7]);
  if (p[8] == 0x00) addWord(out, "flag", "true");
  else if (p[8] == 0x55) addWord(out, "flag", "false");
  else fail(out, "byte 14 is " + hexBytes(p + 8, 1) + ", expected 00 or 55");
  for (size_t i = 9; i < 12; ++i) expectByte(out, p, i, 0x00, int(i) + 6);
  noExtraBytes(p, n, 12, out);
}

// Frame bytes 6..17: FF 55 AA 00, flag (82 set / 81 clear), page width c, 01,
// 16-bit value, page count P, 00. Then P pages of 12 + 4c bytes: page
// number, move style, byte 3, move style, byte 5, prefix length m, byte 7,
// byte 8, 00 00 00, then 2c cells of two bytes: m prefix cells (attribute
// 02) and 2c - m text cells (text byte, colour attribute).
void decodeBarContent(const uint8_t* p, size_t n, Frame& out) {
  if (!needPayload(p, n, 12, out)) return;
  expectByte(out, p, 0, 0xFF, 6);
  expectByte(out, p, 1, 0x55, 7);
  expectByte(out, p, 2, 0xAA, 8);
  expectByte(out, p, 3, 0x00, 9);
  if (p[4] == 0x82) addWord(out, "flag", "true");
  else if (p[4] == 0x81) addWord(out, "flag", "false");
  else fail(out, "byte 10 is " + hexBytes(p + 4, 1) + ", expected 81 or 82");
  const size_t width = p[5];
  addNumber(out, "pageWidth", long(width));
  expectByte(out, p, 6, 0x01, 12);
  addNumber(out, "value", be16(p + 7));
  const size_t pages = be16(p + 9);
  addNumber(out, "pages", long(pages));
  expectByte(out, p, 11, 0x00, 17);

  const size_t pageSize = 12 + 4 * width;
  if (12 + pages * pageSize != n)
    fail(out, std::to_string(pages) + " pages of width " + std::to_string(width) + " take " +
                  std::to_string(pages * pageSize) + " bytes, the frame holds " + std::to_string(n - 12));
  std::string allText;
  size_t at = 12;
  for (size_t k = 1; k <= pages && at + pageSize <= n; ++k, at += pageSize) {
    const uint8_t* q = p + at;
    const std::string name = "page" + std::to_string(k) + ".";
    if (be16(q) != k) fail(out, "page " + std::to_string(k) + " is numbered " + std::to_string(be16(q)));
    addNumber(out, name + "move1", q[2]);
    addNumber(out, name + "byte3", q[3]);
    addNumber(out, name + "move2", q[4]);
    addNumber(out, name + "byte5", q[5]);
    const size_t prefixCells = q[6];
    addNumber(out, name + "prefixLength", long(prefixCells));
    addNumber(out, name + "byte7", q[7]);
    addNumber(out, name + "byte8", q[8]);
    if (q[9] || q[10] || q[11]) fail(out, "page " + std::to_string(k) + " header ends " + hexBytes(q + 9, 3));
    const size_t cells = 2 * width;
    if (prefixCells > cells) {
      fail(out, "page " + std::to_string(k) + " prefix of " + std::to_string(prefixCells) + " cells is wider than the page");
      continue;
    }
    std::string prefix, text;
    std::vector<uint8_t> colours;
    // Wrong attributes are reported once a page: how many, and the first.
    size_t badPrefix = 0, badColours = 0;
    uint8_t firstBadPrefix = 0, firstBadColour = 0;
    for (size_t c = 0; c < cells; ++c) {
      const uint8_t byte = q[12 + 2 * c], attr = q[13 + 2 * c];
      if (c < prefixCells) {
        prefix += char(byte);
        if (attr != 0x02 && badPrefix++ == 0) firstBadPrefix = attr;
      } else {
        text += char(byte);
        colours.push_back(attr);
        if ((attr < 1 || attr > 3) && badColours++ == 0) firstBadColour = attr;
      }
    }
    if (badPrefix)
      fail(out, "page " + std::to_string(k) + ": " + std::to_string(badPrefix) +
                    " prefix cells with an attribute other than 02, the first " + hexBytes(&firstBadPrefix, 1));
    if (badColours)
      fail(out, "page " + std::to_string(k) + ": " + std::to_string(badColours) +
                    " cells with a colour other than 01 to 03, the first " + hexBytes(&firstBadColour, 1));
    if (prefixCells) addText(out, name + "prefix", reinterpret_cast<const uint8_t*>(prefix.data()), prefix.size());
    addText(out, name + "text", reinterpret_cast<const uint8_t*>(text.data()), text.size());
    addAttributes(out, name + "colour", colours);
    allText += text;
  }
  addText(out, "text", reinterpret_cast<const uint8_t*>(allText.data()), allText.size());
}

}  // namespace vexasim
