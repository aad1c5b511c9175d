// Serial twins of the command entry points.
//
// A serial command builds the same payload as its network twin and sends it
// over the serial port, either inside the network frame (any serial protocol
// but 2) or, with serial protocol 2, inside the RS-485 bus frame that carries
// the controller's bus address. Commands differ only in their payload, their
// codes and the bus form they have, so one descriptor per command and one
// sending routine serve them all. Commands without a bus form send nothing
// and return 1 when protocol 2 is asked for.
#include "SKYREL.h"

#include <utility>
#include "api/EntryPoint.h"
#include "api/Send.h"
#include "core/CBuffObj.h"
#include "core/Protocol.h"
#include "transport/Senders.h"

namespace {

// How a command travels when serial protocol 2 is asked for.
enum class BusForm {
  None,        // no bus form: nothing is sent
  Plain,       // RS-485 frame, no option block, no CRC
  OptionsCrc,  // RS-485 frame with option block 01 01 01 and a CRC
  Voice,       // RS-485 voice frame
};

struct TwinCommand {
  short netCode;  // network frame command code
  int subCode;    // network frame sub-code
  BusForm bus;
  short busCode;  // serial command code of the bus frame
};

constexpr TwinCommand kPlayShowPage{protocol::cmd::kPlayShowPage, 0, BusForm::Plain,
                                    protocol::bus::kPlayShowPage};
constexpr TwinCommand kStartPlay{protocol::cmd::kStartPlay, 0, BusForm::None, 0};
constexpr TwinCommand kStopPlay{protocol::cmd::kStopPlay, 0, BusForm::None, 0};
constexpr TwinCommand kRelay{protocol::cmd::kRelay, 0, BusForm::Plain, protocol::bus::kRelay};
constexpr TwinCommand kSetBright{protocol::cmd::kSetBright, 0, BusForm::None, 0};
constexpr TwinCommand kTimeCheck{protocol::cmd::kTimeCheck, 0, BusForm::Plain,
                                 protocol::bus::kTimeCheck};
constexpr TwinCommand kDateTime{protocol::cmd::kMaterial, 0, BusForm::None, 0};
constexpr TwinCommand kPlayImageGroup{protocol::cmd::kPlayImageGroup, 0, BusForm::Plain,
                                      protocol::bus::kPlayImageGroup};
constexpr TwinCommand kCollectionData{protocol::cmd::kCollection, 0, BusForm::Plain,
                                      protocol::bus::kCollection};
constexpr TwinCommand kInternalText{protocol::cmd::kMaterial, 0, BusForm::OptionsCrc,
                                    protocol::bus::kInternalText};
constexpr TwinCommand kLineUp{protocol::cmd::kLineUp, 0, BusForm::None, 0};
constexpr TwinCommand kVoice{protocol::cmd::kVoice, protocol::cmd::kVoiceSubCode, BusForm::Voice,
                             protocol::bus::kVoice};

// The four arguments that take the place of a network twin's ip and mode.
struct SerialLine {
  char* deviceAddress;
  int serialProtocol;
  int portNumber;
  int baudRate;
};

// Builds the payload with `build(obj, forBus)` (forBus tells a command whose
// bus payload differs which one to make), frames it as `cmd` says for the
// line's protocol and sends it. 1 when nothing was sent; no exception leaves.
template <class Build>
int SendTwin(const TwinCommand& cmd, const SerialLine& line, Build build,
             const char* text = nullptr) {
  int result = 1;
  try {
    if (line.deviceAddress == nullptr) return trace::Refuse("the bus address is null");
    const bool bus = line.serialProtocol == protocol::kBusProtocol;
    if (bus && cmd.bus == BusForm::None) {
      return trace::Refuse("this command has no RS-485 form (serial protocol 2)");
    }
    CBuffObj obj;
    CBuffObj::tagBufferInfo frame;
    if (!bus) {
      frame = obj.CompletePacketBuffer(build(obj, false), cmd.netCode, cmd.subCode);
    } else if (cmd.bus == BusForm::Voice) {
      frame = obj.CompletePacketBuffer_PlayVoice_485(build(obj, true), cmd.busCode,
                                                     line.deviceAddress);
    } else {
      const bool options = cmd.bus == BusForm::OptionsCrc;
      frame = obj.CompletePacketBuffer_485(build(obj, true), cmd.busCode, line.deviceAddress,
                                           options ? 1 : 0, options ? 1 : 0, options);
    }
    if (!IsValid(frame)) return RefuseOversized(text);
    FrameList frames;
    frames.push_back(frame);
    result = SendOnSerial(std::move(frames), line.portNumber, line.baudRate);
  } catch (...) {
    // The result held at this moment is returned.
  }
  return result;
}

// The text commands refuse a null text before anything is built.
template <class Build>
int SendTextTwin(char* text, const TwinCommand& cmd, const SerialLine& line, Build build) {
  if (text == nullptr) return RefuseNullText();
  return SendTwin(cmd, line, build, text);
}

}  // namespace

int PlayShowPage_Com(char* deviceAddress, int serialProtocol, int portNumber, int baudRate,
                     int pageNo) {
  return SendTwin(kPlayShowPage, {deviceAddress, serialProtocol, portNumber, baudRate},
                  [&](CBuffObj& o, bool) { return o.PlayShowPageBuffer(pageNo); });
}

int StartPlay_Com(char* deviceAddress, int serialProtocol, int portNumber, int baudRate) {
  return SendTwin(kStartPlay, {deviceAddress, serialProtocol, portNumber, baudRate},
                  [](CBuffObj&, bool) { return EmptyBuffer(); });
}

int StopPlay_Com(char* deviceAddress, int serialProtocol, int portNumber, int baudRate) {
  return SendTwin(kStopPlay, {deviceAddress, serialProtocol, portNumber, baudRate},
                  [](CBuffObj&, bool) { return EmptyBuffer(); });
}

int RelaySwitch_Com(char* deviceAddress, int serialProtocol, int portNumber, int baudRate,
                    int relayNo, int action) {
  return SendTwin(kRelay, {deviceAddress, serialProtocol, portNumber, baudRate},
                  [&](CBuffObj& o, bool) { return o.RelayBuffer(relayNo, action, 0); });
}

int RelayDelay_Com(char* deviceAddress, int serialProtocol, int portNumber, int baudRate,
                   int relayNo, int delay) {
  return SendTwin(kRelay, {deviceAddress, serialProtocol, portNumber, baudRate},
                  [&](CBuffObj& o, bool) { return o.RelayBuffer(relayNo, 0, delay); });
}

int SetBright_Com(char* deviceAddress, int serialProtocol, int portNumber, int baudRate,
                  int value1, int value2) {
  return SendTwin(kSetBright, {deviceAddress, serialProtocol, portNumber, baudRate},
                  [&](CBuffObj& o, bool) { return o.SetBrightBuffer(value1, value2); });
}

// The network frame carries the clock as text, the bus frame as seven bytes.
int TimeCheck_Com(char* deviceAddress, int serialProtocol, int portNumber, int baudRate) {
  return SendTwin(kTimeCheck, {deviceAddress, serialProtocol, portNumber, baudRate},
                  [](CBuffObj& o, bool forBus) { return o.CheckTimeBuffer(forBus ? 2 : 1); });
}

int SendDateTime_Com(char* deviceAddress, int serialProtocol, int portNumber, int baudRate,
                     int materialId, int displayMode, int dtField4High, int dtField4Low,
                     int dtField5High, int dtField5Low, int dtField6, int dtField0, int dtField1,
                     int dtTopBit, int dtField2, int dtField3, int style3, int extraByte) {
  return SendTwin(kDateTime, {deviceAddress, serialProtocol, portNumber, baudRate},
                  [&](CBuffObj& o, bool) {
                    return o.DateTimeBuffer(materialId, displayMode, dtField4High, dtField4Low,
                                            dtField5High, dtField5Low, dtField6, dtField0,
                                            dtField1, dtTopBit, dtField2, dtField3, style3,
                                            extraByte, 1, true);
                  });
}

int PlayImageGroup_Com(char* deviceAddress, int serialProtocol, int portNumber, int baudRate,
                       int a, int b, int c, int d, int e, int f, int g, int h, bool i, bool j) {
  return SendTwin(kPlayImageGroup, {deviceAddress, serialProtocol, portNumber, baudRate},
                  [&](CBuffObj& o, bool) { return o.PlayImageBuffer(a, b, c, d, e, f, g, h, i, j); });
}

int SendCollectionData_Com(char* text, char* deviceAddress, int serialProtocol, int portNumber,
                           int baudRate, int dataIndex, int textStyle, int attrHigh,
                           int attrLow) {
  return SendTextTwin(text, kCollectionData, {deviceAddress, serialProtocol, portNumber, baudRate},
                      [&](CBuffObj& o, bool) {
                        return o.CollectionBuffer(text, dataIndex, false, false,
                                                  static_cast<short>(textStyle),
                                                  static_cast<short>(textStyle),
                                                  static_cast<short>(attrHigh),
                                                  static_cast<short>(attrLow));
                      });
}

int SendInternalText_Com(char* text, char* deviceAddress, int serialProtocol, int portNumber,
                         int baudRate, int areaWidth, int areaHeight, int materialId,
                         int displayMode, int style1, int style2, int style3, int textStyle,
                         int attrHigh, int attrLow, int levelCode, bool primaryFlag,
                         int extraByte) {
  return SendTextTwin(text, kInternalText, {deviceAddress, serialProtocol, portNumber, baudRate},
                      [&](CBuffObj& o, bool) {
                        return o.InternalTextBuffer(text, areaWidth, areaHeight, materialId,
                                                    displayMode, style1, style2, style3,
                                                    textStyle, attrHigh, attrLow, levelCode,
                                                    primaryFlag, extraByte, 1, false);
                      });
}

int SendLineUp_Com(char* text, char* deviceAddress, int serialProtocol, int portNumber,
                   int baudRate, int slotNo, int lineKind, int unitAddress, bool bracketed) {
  return SendTextTwin(text, kLineUp, {deviceAddress, serialProtocol, portNumber, baudRate},
                      [&](CBuffObj& o, bool) {
                        return o.LineUpBuffer(text, slotNo, lineKind, unitAddress, bracketed);
                      });
}

// The serial protocol doubles as the voice record's format: with 2 the record
// leaves out its two trailing zero bytes.
int PlayVoice_Com(char* text, char* deviceAddress, int serialProtocol, int portNumber,
                  int baudRate) {
  return SendTextTwin(text, kVoice, {deviceAddress, serialProtocol, portNumber, baudRate},
                      [&](CBuffObj& o, bool) {
                        return o.VoiceBuffer(text, serialProtocol, -1, -1, -1);
                      });
}

int PlayVoice2_Com(char* text, char* deviceAddress, int serialProtocol, int portNumber,
                   int baudRate, int vTag, int soundNo, int mTag) {
  return SendTextTwin(text, kVoice, {deviceAddress, serialProtocol, portNumber, baudRate},
                      [&](CBuffObj& o, bool) {
                        return o.VoiceBuffer(text, serialProtocol, vTag, soundNo, mTag);
                      });
}

// --- members that hand their piece to a shared multi-call sender ------------
// They send on the serial port (transport 2); the network slots are unused.

namespace {
constexpr int kSerialTransport = 2;
constexpr int kUnusedNetworkMode = 1;
char kNoAddress[] = "";
}  // namespace

int SendMulCollectionData_Com(char* text, char* deviceAddress, int serialProtocol,
                              int portNumber, int baudRate, int dataIndex, int displayMode,
                              int textStyle, int attrHigh, int attrLow, int index, int count) {
  if (text == nullptr) return RefuseNullText();
  if (deviceAddress == nullptr) return trace::Refuse("the bus address is null");
  try {
    return SendMulMaterial(kSerialTransport, kUnusedNetworkMode, kNoAddress, serialProtocol,
                           portNumber, baudRate, deviceAddress, text, protocol::cmd::kCollection,
                           dataIndex, dataIndex, displayMode, 0, 0, 1, 1, 1, textStyle, attrHigh,
                           attrLow, 1, false, 0, index, count);
  } catch (...) {
    return 1;
  }
}

int SendMulInternalText_Com(char* text, char* deviceAddress, int serialProtocol, int portNumber,
                            int baudRate, int areaWidth, int areaHeight, int materialId,
                            int displayMode, int style1, int style2, int style3, int textStyle,
                            int attrHigh, int attrLow, int levelCode, bool primaryFlag,
                            int extraByte, int index, int count) {
  if (text == nullptr) return RefuseNullText();
  if (deviceAddress == nullptr) return trace::Refuse("the bus address is null");
  try {
    return SendMulMaterial(kSerialTransport, kUnusedNetworkMode, kNoAddress, serialProtocol,
                           portNumber, baudRate, deviceAddress, text, protocol::cmd::kMaterial,
                           materialId, materialId, displayMode, areaWidth, areaHeight, style1,
                           style2, style3, textStyle, attrHigh, attrLow, levelCode, primaryFlag,
                           extraByte, index, count);
  } catch (...) {
    return 1;
  }
}

int SendImageGroup_Com(char* source, char* deviceAddress, int serialProtocol, int portNumber,
                       int baudRate, int width, int height, int materialId, int displayMode,
                       int style1, int style2, int style3, int levelCode, bool primaryFlag,
                       int index, int count) {
  if (source == nullptr) return trace::Refuse("the image source is null");
  if (deviceAddress == nullptr) return trace::Refuse("the bus address is null");
  try {
    return SendImageGroupBuffer(kSerialTransport, kUnusedNetworkMode, kNoAddress, serialProtocol,
                                portNumber, baudRate, deviceAddress, source, width, height,
                                materialId, displayMode, style1, style2, style3, levelCode,
                                primaryFlag, index, count);
  } catch (...) {
    return 1;
  }
}
