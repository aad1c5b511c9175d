// The template block that wraps every text-like content shown in an area,
// and the two contents built directly on it: the date-time display and the
// internal text.
#include <string>

#include "core/BufferWriter.h"
#include "core/CBuffObj.h"
#include "core/Protocol.h"
#include "model/GlobalMember.h"

namespace {

constexpr int kTextContent = protocol::content::kInternalText;

// '2' for level 2, '3' for level 3, '1' for anything else.
int LevelChar(int levelCode) { return levelCode == 2 ? '2' : levelCode == 3 ? '3' : '1'; }

// '2' for colour mode 1, '3' for colour mode 2, '1' for anything else.
int ModeChar(int displayMode) { return displayMode == 1 ? '2' : displayMode == 2 ? '3' : '1'; }

}  // namespace

CBuffObj::tagBufferInfo CBuffObj::TemplateBuffer(tagBufferInfo content, int contentType,
                                                 int areaWidth, int areaHeight, int materialId,
                                                 int displayMode, int style1, int style2,
                                                 int style3, int textStyle, int attrHigh,
                                                 int attrLow, int levelCode, bool primaryFlag,
                                                 int extraByte, int sequenceNo,
                                                 int trailerWordC, int trailerWordB,
                                                 int headerWord, bool isLast) {
  if (!IsValid(content)) return InvalidBuffer();
  const bool textShape = contentType == kTextContent;
  BufferWriter w;
  // Head.
  w.decimal(materialId, 9).u8(',').u8(style1).u8(style2).u8(style3).text("010101991231");
  w.u32le(textShape ? 19 : 14);
  // Header.
  w.u8(0x55).u8(0xAA).u8(0x00).u8(extraByte).u8(contentType);
  w.u8(primaryFlag ? '1' : '2').u8(LevelChar(levelCode)).u8('1').u8(ModeChar(displayMode));
  w.u8('1').u16le(headerWord);
  if (textShape) {
    w.u16le(areaWidth / 8).u16le(areaHeight).u8(textStyle);
    w.u8(protocol::StyleByte(attrHigh, attrLow));
  } else {
    w.u8(0x00);
  }
  w.u8(0x00);
  // Body and trailer.
  w.u32le(static_cast<uint32_t>(content.nBufferLen) + 10);
  w.record(content);
  w.u8(0xFF).u8(0x00).u16le(sequenceNo).u16le(trailerWordB).u16le(trailerWordC).u16le(0);
  if (isLast) w.text("-1,");
  return w.finish();
}

CBuffObj::tagBufferInfo CBuffObj::DateTimeBuffer(int materialId, int displayMode,
                                                 int dtField4High, int dtField4Low,
                                                 int dtField5High, int dtField5Low,
                                                 int dtField6, int dtField0, int dtField1,
                                                 int dtTopBit, int dtField2, int dtField3,
                                                 int style3, int extraByte, int sequenceNo,
                                                 bool isLast) {
  BufferWriter c;
  c.u8(dtField0).u8(dtField1);
  c.u8(protocol::PackBits(dtTopBit, 7, dtField2)).u8(protocol::PackBits(dtTopBit, 7, dtField3));
  c.u8(protocol::PackNibbles(dtField4High, dtField4Low))
      .u8(protocol::PackNibbles(dtField5High, dtField5Low));
  c.u8(protocol::PackNibbles(0, dtField6));
  return TemplateBuffer(c.finish(), protocol::content::kDateTime, 0, 0, materialId, displayMode, 0,
                        0, style3, dtField4High, dtField5High, dtField5Low, 1, false, extraByte,
                        sequenceNo, 1, 1, 1, isLast);
}

CBuffObj::tagBufferInfo CBuffObj::InternalTextBuffer(char* text, int areaWidth, int areaHeight,
                                                     int materialId, int displayMode,
                                                     int style1, int style2, int style3,
                                                     int textStyle, int attrHigh, int attrLow,
                                                     int levelCode, bool primaryFlag,
                                                     int extraByte, int sequenceNo,
                                                     bool isLast) {
  // A missing text is refused rather than sent as an empty one.
  if (text == nullptr) return InvalidBuffer();
  BufferWriter c;
  c.text(text);
  return TemplateBuffer(c.finish(), kTextContent, areaWidth, areaHeight, materialId,
                        displayMode, style1, style2, style3, textStyle, attrHigh, attrLow,
                        levelCode, primaryFlag, extraByte, sequenceNo, 1, 1, 0, isLast);
}
