// Frames, checksums and every payload encoder of the controller protocol.
#ifndef LIBVEXA_X86_CORE_CBUFFOBJ_H
#define LIBVEXA_X86_CORE_CBUFFOBJ_H

#include <cstdint>
#include <string>
#include <vector>

#include "model/GlobalMember.h"

class CBuffObj {
 public:
  // One payload or one frame. A record whose nBufferLen is -1 is invalid: an
  // encoder produced it because its bytes would not fit, and no sender sends
  // a list that holds one.
  struct tagBufferInfo {
    char chArrBuffer[3000];
    int32_t nBufferLen;
  };

  CBuffObj();
  ~CBuffObj();

  // Network frame: magic, lengths, command code and sub-code around a payload.
  tagBufferInfo CompletePacketBuffer(tagBufferInfo payload, short commandCode, int subCode);

  // RS-485 frames and their checks.
  tagBufferInfo CompletePacketBuffer_485(tagBufferInfo payload, short serialCode,
                                         char* deviceAddress, int option1, int option2,
                                         bool withCrc);
  tagBufferInfo CompletePacketBuffer_PlayVoice_485(tagBufferInfo payload, short serialCode,
                                                   char* deviceAddress);
  tagBufferInfo CRC16Check(tagBufferInfo frame);
  tagBufferInfo XORCheck(tagBufferInfo frame);

  // Play control, relays, brightness.
  tagBufferInfo PlayShowPageBuffer(int pageNo);
  tagBufferInfo RelayBuffer(int relayNo, int action, int delay);
  tagBufferInfo SetBrightBuffer(int value1, int value2);

  // Clock and date-time display.
  tagBufferInfo DateTimeBuffer(int materialId, int displayMode, int dtField4High,
                               int dtField4Low, int dtField5High, int dtField5Low,
                               int dtField6, int dtField0, int dtField1, int dtTopBit,
                               int dtField2, int dtField3, int style3, int extraByte,
                               int sequenceNo, bool isLast);
  tagBufferInfo CheckTimeBuffer(int timeMode);
  // Local date and time as YYYYMMDD00hhmmss (timeMode 2 drops the century).
  // The caller owns the returned array and releases it with delete[].
  char* GetSysDateTime(int timeMode);

  // Texts and collected data.
  tagBufferInfo CollectionBuffer(char* text, int dataIndex, bool flagHigh, bool flagLow,
                                 short styleHigh, short styleLow, short attrHigh,
                                 short attrLow);
  tagBufferInfo CoordinateTextBuffer(char* text, int x, int y, int textStyle, int attrHigh,
                                     int attrLow);
  tagBufferInfo InternalTextBuffer(char* text, int areaWidth, int areaHeight, int materialId,
                                   int displayMode, int style1, int style2, int style3,
                                   int textStyle, int attrHigh, int attrLow, int levelCode,
                                   bool primaryFlag, int extraByte, int sequenceNo,
                                   bool isLast);

  // Voice.
  tagBufferInfo VoiceBuffer(char* text, int voiceFormat, int vTag, int soundNo, int mTag);

  // Queue line-up.
  tagBufferInfo LineUpBuffer(char* text, int slotNo, int lineKind, int unitAddress,
                             bool bracketed);

  // Image groups, multimedia, play image group.
  tagBufferInfo ImgGroupBuffer(GlobalMember::tagPackBuffer pack, int materialId,
                               int displayMode, int style1, int style2, int style3,
                               int levelCode, bool primaryFlag, int imageCount,
                               bool lastChunk);
  tagBufferInfo MultimediaBuffer(GlobalMember::tagPackBuffer pack, short commandCode,
                                 int colourMode, int horizontal8, int vertical, int width8,
                                 int height, int flag, int value);
  tagBufferInfo ImageContentBuffer(char* source);
  tagBufferInfo PlayImageBuffer(int modeSelect, int groupNo, int byte5, int word6, int word8,
                                int byte10, int byte11, int byte12, bool byte2Clear,
                                bool highModeBits);

  // Bar screens.
  tagBufferInfo BarScreenContentBuffer(char* text, int screenAddress, int colour,
                                       int pageWidth, int unused1, int unused2,
                                       int frameWord13, int moveStyle1, int moveStyle2,
                                       int pageByte3, int pageByte5, int pageByte7,
                                       int pageByte8, int prefixLength, bool byte10Is82);
  tagBufferInfo BarScreenParamBuffer(int frameByte13, int frameByte6, int frameByte7,
                                     int twoWay, int frameByte9, bool clearByte14);

  // Login greeting.
  tagBufferInfo LoginCheckTimeBuffer();

  // Template block around text-like contents.
  tagBufferInfo TemplateBuffer(tagBufferInfo content, int contentType, int areaWidth,
                               int areaHeight, int materialId, int displayMode, int style1,
                               int style2, int style3, int textStyle, int attrHigh,
                               int attrLow, int levelCode, bool primaryFlag, int extraByte,
                               int sequenceNo, int trailerWordC, int trailerWordB,
                               int headerWord, bool isLast);

  // Template contents of a page-set upload.
  tagBufferInfo CollectionBuffer_Template(GlobalMember::tagMaterial material, int sequenceNo,
                                          bool isLast);
  tagBufferInfo LineUpBuffer_Template(GlobalMember::tagMaterial material, int sequenceNo,
                                      bool isLast);
  tagBufferInfo PackShowPageBuffer(std::vector<GlobalMember::tagShowPage> pages);
};

// A list of frames sent in one transmission, in sending order.
using FrameList = std::vector<CBuffObj::tagBufferInfo>;

// The circled numbers one to twenty, UTF-8, three bytes each; a bar screen
// shows its own number in front of its text with them.
extern std::string arrWinFix[20];

// The collected-data record every collected-data command sends: no flags,
// and the one text style in both halves of the style byte.
CBuffObj::tagBufferInfo CollectedDataRecord(CBuffObj& obj, char* text, int dataIndex,
                                            int textStyle, int attrHigh, int attrLow);

// An empty, valid record.
CBuffObj::tagBufferInfo EmptyBuffer();
// The record that stands for bytes that did not fit.
CBuffObj::tagBufferInfo InvalidBuffer();
inline bool IsValid(const CBuffObj::tagBufferInfo& b) {
  return b.nBufferLen >= 0 && b.nBufferLen <= static_cast<int32_t>(sizeof b.chArrBuffer);
}

#endif  // LIBVEXA_X86_CORE_CBUFFOBJ_H
