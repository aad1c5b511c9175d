// Command 0x31: one or more template blocks back to back. Every block has a
// head (material number, style bytes, a constant text, the header length),
// a header (short 14-byte shape, or the 19-byte text shape with the area
// size and text attributes), a length-prefixed content and a 10-byte
// trailer, optionally followed by the "-1," mark of the last block of a set.
// The content is decoded by the header's content type: '1' date-time, '5'
// line-up field, '6' collected-data field, '7' text, '8' image-group chunk.
#include <cstdlib>
#include <cstring>
#include <string>
#include <utility>
#include <vector>

#include "DecodeUtil.h"
#include "Frame.h"

namespace vexasim {

using namespace detail;

namespace {

constexpr size_t kHeadLength = 29;  // material number up to the header length
constexpr size_t kTrailerLength = 10;

const char* contentKind(uint8_t type) {
  switch (type) {
    case '1': return "dateTime";
    case '5': return "lineUp";
    case '6': return "collectedData";
    case '7': return "text";
    case '8': return "imageGroup";
    default: return "unknown";
  }
}

const char* frameName(uint8_t type) {
  switch (type) {
    case '1': return "DateTime";
    case '5': return "LineUpField";
    case '6': return "CollectedDataField";
    case '7': return "InternalText";
    case '8': return "ImageGroup";
    default: return "TemplateBlock";
  }
}

void expectByte(Frame& b, const uint8_t* p, size_t at, uint8_t want, const char* what) {
  if (p[at] != want)
    fail(b, std::string(what) + " is " + hexBytes(p + at, 1) + ", expected " + hexBytes(&want, 1));
}

void expectZeros(Frame& b, const uint8_t* p, size_t n, const char* what) {
  for (size_t i = 0; i < n; ++i) {
    if (p[i] != 0) {
      fail(b, std::string(what) + " are " + hexBytes(p, n) + ", expected zeros");
      return;
    }
  }
}

// Seven bytes: field0, field1, top bit + field2, top bit + field3, two pairs
// of nibbles, field6 in the low nibble.
void dateTimeContent(const uint8_t* c, size_t n, Frame& b) {
  if (n != 7) {
    fail(b, "date-time content of " + std::to_string(n) + " bytes, expected 7");
    addHex(b, "contentBytes", c, n);
    return;
  }
  addNumber(b, "dtField0", c[0]);
  addNumber(b, "dtField1", c[1]);
  addNumber(b, "dtTopBit", c[2] >> 7);
  addNumber(b, "dtField2", c[2] & 0x7F);
  addNumber(b, "dtField3", c[3] & 0x7F);
  if ((c[2] ^ c[3]) & 0x80) fail(b, "top bits of date-time bytes 2 and 3 differ");
  addNumber(b, "dtField4High", c[4] >> 4);
  addNumber(b, "dtField4Low", c[4] & 15);
  addNumber(b, "dtField5High", c[5] >> 4);
  addNumber(b, "dtField5Low", c[5] & 15);
  addNumber(b, "dtField6", c[6] & 15);
  if (c[6] >> 4) fail(b, "high nibble of date-time byte 6 is not 0");
}

// Eight bytes: index, attribute nibbles, 08 01, four zeros.
void lineUpContent(const uint8_t* c, size_t n, Frame& b) {
  if (n != 8) {
    fail(b, "line-up content of " + std::to_string(n) + " bytes, expected 8");
    addHex(b, "contentBytes", c, n);
    return;
  }
  addNumber(b, "lineUpIndex", c[0]);
  addNumber(b, "attrHigh", c[1] >> 4);
  addNumber(b, "attrLow", c[1] & 15);
  expectByte(b, c, 2, 0x08, "line-up content byte 2");
  expectByte(b, c, 3, 0x01, "line-up content byte 3");
  expectZeros(b, c + 4, 4, "line-up content bytes 4-7");
}

// Seventeen bytes: 01, index, 01 01, the style nibble twice, attribute
// nibbles, eleven zeros.
void collectedDataContent(const uint8_t* c, size_t n, Frame& b) {
  if (n != 17) {
    fail(b, "collected-data content of " + std::to_string(n) + " bytes, expected 17");
    addHex(b, "contentBytes", c, n);
    return;
  }
  expectByte(b, c, 0, 0x01, "collected-data content byte 0");
  addNumber(b, "dataIndex", c[1]);
  expectByte(b, c, 2, 0x01, "collected-data content byte 2");
  expectByte(b, c, 3, 0x01, "collected-data content byte 3");
  addNumber(b, "textStyle", c[4] & 15);
  if ((c[4] >> 4) != (c[4] & 15)) fail(b, "style byte " + hexBytes(c + 4, 1) + " holds two different nibbles");
  addNumber(b, "attrHigh", c[5] >> 4);
  addNumber(b, "attrLow", c[5] & 15);
  expectZeros(b, c + 6, 11, "collected-data content bytes 6-16");
}

void content(uint8_t type, const uint8_t* c, size_t n, Frame& b) {
  switch (type) {
    case '1': dateTimeContent(c, n, b); break;
    case '5': lineUpContent(c, n, b); break;
    case '6': collectedDataContent(c, n, b); break;
    case '7':
      addNumber(b, "textLength", long(n));
      addText(b, "text", c, n);
      break;
    case '8': addNumber(b, "bitmapLength", long(n)); break;
    default: addHex(b, "contentBytes", c, n); break;
  }
}

// Decodes the block at the start of p into b; returns the bytes it takes
// (all of them when the block cannot be delimited).
size_t decodeBlock(const uint8_t* p, size_t n, Frame& b) {
  if (n < kHeadLength) {
    fail(b, "block of " + std::to_string(n) + " bytes is shorter than its 29-byte head");
    addHex(b, "bytes", p, n);
    return n;
  }
  bool digits = true;
  for (size_t i = 0; i < 9; ++i) digits = digits && ((p[i] >= '0' && p[i] <= '9') || (i == 0 && p[i] == '-'));
  if (digits) {
    addWord(b, "materialId", std::string(p, p + 9), std::strtol(std::string(p, p + 9).c_str(), nullptr, 10));
  } else {
    addText(b, "materialId", p, 9);
    fail(b, "material number is not nine decimal digits");
  }
  expectByte(b, p, 9, ',', "byte 9");
  addNumber(b, "style1", p[10]);
  addNumber(b, "style2", p[11]);
  addNumber(b, "style3", p[12]);
  if (std::memcmp(p + 13, "010101991231", 12) != 0) fail(b, "bytes 13-24 are not \"010101991231\"");
  const uint32_t headerLength = le32(p + 25);
  addNumber(b, "headerLength", long(headerLength));
  if (headerLength != 14 && headerLength != 19) {
    fail(b, "header length " + std::to_string(headerLength) + ", expected 14 or 19");
    return n;
  }
  const size_t bodyAt = kHeadLength + headerLength;
  if (n < bodyAt + 4) {
    fail(b, "block ends inside its header");
    return n;
  }

  const uint8_t* h = p + kHeadLength;
  const uint8_t type = h[4];
  if (h[0] != 0x55 || h[1] != 0xAA) fail(b, "header starts with " + hexBytes(h, 2) + ", expected 55 AA");
  expectByte(b, h, 2, 0x00, "header byte 2");
  addNumber(b, "extraByte", h[3]);
  addWord(b, "contentType", type >= 0x20 && type < 0x7F ? std::string(1, char(type)) : hexBytes(&type, 1));
  addWord(b, "content", contentKind(type));
  if ((type == '7') != (headerLength == 19))
    fail(b, "content type " + hexBytes(&type, 1) + " with a header of " + std::to_string(headerLength) + " bytes");
  if (h[5] == '1' || h[5] == '2') addWord(b, "primary", h[5] == '1' ? "true" : "false");
  else fail(b, "primary byte " + hexBytes(h + 5, 1) + ", expected '1' or '2'");
  if (h[6] >= '1' && h[6] <= '3') addNumber(b, "level", h[6] - '0');
  else fail(b, "level byte " + hexBytes(h + 6, 1) + ", expected '1' to '3'");
  if (type == '8') {
    if (h[7] == '1' || h[7] == '2') addWord(b, "packType", h[7] == '1' ? "first" : "later");
    else fail(b, "pack type " + hexBytes(h + 7, 1) + ", expected '1' or '2'");
  } else {
    expectByte(b, h, 7, '1', "header byte 7");
  }
  if (h[8] >= '1' && h[8] <= '3') addNumber(b, "displayMode", h[8] - '1');
  else fail(b, "colour mode byte " + hexBytes(h + 8, 1) + ", expected '1' to '3'");
  expectByte(b, h, 9, '1', "header byte 9");
  addNumber(b, type == '8' ? "imageCount" : "headerWord", le16(h + 10));
  if (headerLength == 19) {
    addNumber(b, "areaWidth8", le16(h + 12));
    addNumber(b, "areaHeight", le16(h + 14));
    addNumber(b, "textStyle", h[16]);
    addNumber(b, "attrHigh", h[17] >> 4);
    addNumber(b, "attrLow", h[17] & 15);
    expectByte(b, h, 18, 0x00, "header byte 18");
  } else {
    expectZeros(b, h + 12, 2, "header bytes 12-13");
  }

  const uint32_t bodyLength = le32(p + bodyAt);
  if (bodyLength < kTrailerLength || bodyLength > n - bodyAt - 4) {
    fail(b, "body length " + std::to_string(bodyLength) + " does not fit the " +
                std::to_string(n - bodyAt - 4) + " bytes after it");
    return n;
  }
  const size_t contentLength = bodyLength - kTrailerLength;
  const uint8_t* c = p + bodyAt + 4;
  content(type, c, contentLength, b);

  const uint8_t* t = c + contentLength;
  if (t[0] != 0xFF || t[1] != 0x00) fail(b, "trailer starts with " + hexBytes(t, 2) + ", expected FF 00");
  if (type == '8') {
    addNumber(b, "mark", le16(t + 2));
    addNumber(b, "packCount", le16(t + 4));
    addNumber(b, "packIndex", le16(t + 6));
  } else {
    addNumber(b, "sequenceNo", le16(t + 2));
    addNumber(b, "trailerWordB", le16(t + 4));
    addNumber(b, "trailerWordC", le16(t + 6));
  }
  expectZeros(b, t + 8, 2, "trailer bytes 8-9");

  size_t end = bodyAt + 4 + bodyLength;
  const bool last = n - end >= 3 && std::memcmp(p + end, "-1,", 3) == 0;
  addWord(b, "last", last ? "true" : "false");
  return last ? end + 3 : end;
}

}  // namespace

void decodeTemplateBlocks(const uint8_t* p, size_t n, Frame& out) {
  std::vector<Frame> blocks;
  size_t at = 0;
  while (at < n || blocks.empty()) {
    Frame b;
    b.fields.reserve(32);  // what a block has, without growing
    at += decodeBlock(p + at, n - at, b);
    blocks.push_back(std::move(b));
  }
  const bool several = blocks.size() > 1;
  if (several) addNumber(out, "blocks", long(blocks.size()));
  const std::string type = blocks[0].bytes("contentType");
  bool sameType = true;
  size_t fields = out.fields.size();
  for (const Frame& b : blocks) fields += b.fields.size();
  out.fields.reserve(fields);
  for (size_t k = 0; k < blocks.size(); ++k) {
    Frame& b = blocks[k];
    if (!b.checksOk) fail(out, several ? "block " + std::to_string(k + 1) + ": " + b.error : b.error);
    if (b.bytes("last") == "true" && k + 1 < blocks.size())
      fail(out, "block " + std::to_string(k + 1) + " carries the closing \"-1,\" but is not the last block");
    sameType = sameType && b.bytes("contentType") == type;
    // The block's fields under the block's prefix.
    const std::string prefix = several ? "block" + std::to_string(k + 1) + "." : "";
    for (Field& f : b.fields) {
      f.name.insert(0, prefix);
      out.fields.push_back(std::move(f));
    }
  }
  if (sameType && type.size() == 1) out.name = frameName(uint8_t(type[0]));
}

}  // namespace vexasim
