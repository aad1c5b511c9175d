// Text, collected-data and coordinate-text commands over the network and on
// the serial line, and the multi-part transmission that gathers several
// pieces into one frame.
#include <cstdint>
#include <mutex>
#include <string>
#include <utility>

#include "SKYREL.h"
#include "api/EntryPoint.h"
#include "api/Send.h"
#include "api/Sequence.h"
#include "core/BufferWriter.h"
#include "core/Protocol.h"
#include "transport/Senders.h"

namespace {

constexpr int kAccumulationCapacity = protocol::kAccumulationSize;
static_assert(kAccumulationCapacity == VEXA_ACCUMULATION_SIZE, "accumulation capacity");
static_assert(sizeof byteArrAllBuffer / sizeof byteArrAllBuffer[0] == kAccumulationCapacity,
              "accumulation buffer size");

// The transports of SendMulMaterial.
constexpr int kNetworkTransport = 1;
constexpr int kSerialTransport = 2;
// What SendMulMaterial's unused slots carry for the other transport.
constexpr int kUnusedNetworkMode = 1;
constexpr int kUnusedSerialProtocol = 1;
constexpr int kUnusedPortNumber = 1;
constexpr int kUnusedBaudRate = 9600;
char kNoAddress[] = "";
char kNoDevice[] = "0";

}  // namespace

int SendCollectionData_Net(char* text, char* ip, int networkMode, int dataIndex, int textStyle,
                           int attrHigh, int attrLow) {
  return SendNetworkText(commands::kCollectedData, text, ip, networkMode, [&](CBuffObj& o) {
    return CollectedDataRecord(o, text, dataIndex, textStyle, attrHigh, attrLow);
  });
}

int SendCollectionData_Com(char* text, char* deviceAddress, int serialProtocol, int portNumber,
                           int baudRate, int dataIndex, int textStyle, int attrHigh,
                           int attrLow) {
  return SendTwinText(commands::kCollectedData, text,
                      {deviceAddress, serialProtocol, portNumber, baudRate},
                      [&](CBuffObj& o, bool) {
                        return CollectedDataRecord(o, text, dataIndex, textStyle, attrHigh,
                                                   attrLow);
                      });
}

int SendCoordinateText_Net(char* text, char* ip, int networkMode, int x, int y, int textStyle,
                           int attrHigh, int attrLow) {
  return SendNetworkText(commands::kCoordinateText, text, ip, networkMode, [&](CBuffObj& o) {
    return o.CoordinateTextBuffer(text, x, y, textStyle, attrHigh, attrLow);
  });
}

int SendInternalText_Net(char* text, char* ip, int networkMode, int areaWidth, int areaHeight,
                         int materialId, int displayMode, int style1, int style2, int style3,
                         int textStyle, int attrHigh, int attrLow, int levelCode,
                         bool primaryFlag, int extraByte) {
  return SendNetworkText(commands::kInternalText, text, ip, networkMode, [&](CBuffObj& o) {
    return o.InternalTextBuffer(text, areaWidth, areaHeight, materialId, displayMode, style1,
                                style2, style3, textStyle, attrHigh, attrLow, levelCode,
                                primaryFlag, extraByte, 1, false);
  });
}

int SendInternalText_Com(char* text, char* deviceAddress, int serialProtocol, int portNumber,
                         int baudRate, int areaWidth, int areaHeight, int materialId,
                         int displayMode, int style1, int style2, int style3, int textStyle,
                         int attrHigh, int attrLow, int levelCode, bool primaryFlag,
                         int extraByte) {
  return SendTwinText(commands::kInternalText, text,
                      {deviceAddress, serialProtocol, portNumber, baudRate},
                      [&](CBuffObj& o, bool) {
                        return o.InternalTextBuffer(text, areaWidth, areaHeight, materialId,
                                                    displayMode, style1, style2, style3,
                                                    textStyle, attrHigh, attrLow, levelCode,
                                                    primaryFlag, extraByte, 1, false);
                      });
}

int SendInternalText_Net_Custom(char* text, char* ip, int networkMode, int areaWidth,
                                int areaHeight, int materialId, int displayMode, int style1,
                                int style2, int style3, int textStyle, int attrHigh,
                                int attrLow, int levelCode, int primaryCode) {
  return SendInternalText_Net(text, ip, networkMode, areaWidth, areaHeight, materialId,
                              displayMode, style1, style2, style3, textStyle, attrHigh,
                              attrLow, levelCode, primaryCode == 1, 0);
}

int SendMulCollectionData_Net(char* text, char* ip, int networkMode, int dataIndex,
                              int displayMode, int textStyle, int attrHigh, int attrLow,
                              int index, int count) {
  return SendMulMaterial(kNetworkTransport, networkMode, ip, kUnusedSerialProtocol,
                         kUnusedPortNumber, kUnusedBaudRate, kNoDevice, text,
                         commands::kCollectedData.networkCode, dataIndex, dataIndex, displayMode,
                         0, 0, 1, 1, 1, textStyle, attrHigh, attrLow, 1, false, 0, index, count);
}

int SendMulCollectionData_Com(char* text, char* deviceAddress, int serialProtocol,
                              int portNumber, int baudRate, int dataIndex, int displayMode,
                              int textStyle, int attrHigh, int attrLow, int index, int count) {
  if (text == nullptr) return RefuseNullText();
  if (deviceAddress == nullptr) return RefuseNullBusAddress();
  return SendMulMaterial(kSerialTransport, kUnusedNetworkMode, kNoAddress, serialProtocol,
                         portNumber, baudRate, deviceAddress, text,
                         commands::kCollectedData.networkCode, dataIndex, dataIndex, displayMode,
                         0, 0, 1, 1, 1, textStyle, attrHigh, attrLow, 1, false, 0, index, count);
}

int SendMulInternalText_Net(char* text, char* ip, int networkMode, int areaWidth,
                            int areaHeight, int materialId, int displayMode, int style1,
                            int style2, int style3, int textStyle, int attrHigh, int attrLow,
                            int levelCode, bool primaryFlag, int extraByte, int index,
                            int count) {
  return SendMulMaterial(kNetworkTransport, networkMode, ip, kUnusedSerialProtocol,
                         kUnusedPortNumber, kUnusedBaudRate, kNoDevice, text,
                         commands::kInternalText.networkCode, materialId, materialId,
                         displayMode, areaWidth, areaHeight, style1, style2, style3, textStyle,
                         attrHigh, attrLow, levelCode, primaryFlag, extraByte, index, count);
}

int SendMulInternalText_Com(char* text, char* deviceAddress, int serialProtocol, int portNumber,
                            int baudRate, int areaWidth, int areaHeight, int materialId,
                            int displayMode, int style1, int style2, int style3, int textStyle,
                            int attrHigh, int attrLow, int levelCode, bool primaryFlag,
                            int extraByte, int index, int count) {
  if (text == nullptr) return RefuseNullText();
  if (deviceAddress == nullptr) return RefuseNullBusAddress();
  return SendMulMaterial(kSerialTransport, kUnusedNetworkMode, kNoAddress, serialProtocol,
                         portNumber, baudRate, deviceAddress, text,
                         commands::kInternalText.networkCode, materialId, materialId,
                         displayMode, areaWidth, areaHeight, style1, style2, style3, textStyle,
                         attrHigh, attrLow, levelCode, primaryFlag, extraByte, index, count);
}

// One piece of a multi-part transmission. Piece 1 starts a new gathering;
// every accepted piece is appended to byteArrAllBuffer; the piece whose index
// equals the count sends everything gathered as one frame, over the network
// (transport 1) or, as the network frame itself, over the serial port.
// serialProtocol, deviceAddress and spareValue are part of the interface and
// carry nothing here; they are never read.
int SendMulMaterial(int transport, int networkMode, char* ip, int /*serialProtocol*/,
                    int portNumber, int baudRate, char* /*deviceAddress*/, char* text,
                    int commandCode, int materialId, int /*spareValue*/, int displayMode,
                    int areaWidth, int areaHeight, int style1, int style2, int style3,
                    int textStyle, int attrHigh, int attrLow, int levelCode, bool primaryFlag,
                    int extraByte, int index, int count) {
  int result = 1;
  try {
    // Refusals that leave the gathered bytes exactly as they were.
    if (text == nullptr) return RefuseNullText();
    if (ip == nullptr) return trace::Refuse("the controller's address is null");
    if (transport == kNetworkTransport && !IsDottedIPv4(ip)) {
      return trace::Refuse("address \"" + std::string(ip) + "\" is not dotted IPv4");
    }
    if (index <= 0 || count <= 0 || index > count) {
      return trace::Refuse("piece " + std::to_string(index) + " of " + std::to_string(count) +
                           " is not a piece of a multi-part text");
    }

    const bool lastPiece = index == count;
    CBuffObj obj;
    CBuffObj::tagBufferInfo piece = EmptyBuffer();
    if (commandCode == commands::kInternalText.networkCode) {
      piece = obj.InternalTextBuffer(text, areaWidth, areaHeight, materialId, displayMode,
                                     style1, style2, style3, textStyle, attrHigh, attrLow,
                                     levelCode, primaryFlag, extraByte, 1, lastPiece);
    } else if (commandCode == commands::kCollectedData.networkCode) {
      piece = CollectedDataRecord(obj, text, materialId, textStyle, attrHigh, attrLow);
    }

    FrameList frames;
    {
      std::unique_lock<std::mutex> held = sequence::Hold();
      if (index == 1) {
        sequence::Begin(sequence::Kind::kMultiPart);  // a new transmission starts
      } else if (!sequence::OwnedHere(sequence::Kind::kMultiPart)) {
        return trace::Refuse("piece " + std::to_string(index) + " of " + std::to_string(count) +
                             ": no multi-part text of this thread is open");
      }
      // A piece too long to encode, or one the buffer has no room for, is
      // not stored; a counter the application moved out of range refuses too.
      if (!IsValid(piece)) return RefuseOversized(text);
      if (g_nArrIndex < 0 || g_nArrIndex > kAccumulationCapacity) {
        return trace::Refuse("the multi-part fill counter g_nArrIndex was moved out of range");
      }
      if (piece.nBufferLen > kAccumulationCapacity - g_nArrIndex) {
        return trace::Refuse(
            "piece of " + std::to_string(piece.nBufferLen) + " bytes does not fit the " +
            std::to_string(kAccumulationCapacity - g_nArrIndex) + " bytes left of the " +
            std::to_string(kAccumulationCapacity) + "-byte multi-part buffer");
      }
      for (int32_t i = 0; i < piece.nBufferLen; ++i) {
        // One byte per element, sign-extended; only the low 8 bits are read back.
        byteArrAllBuffer[g_nArrIndex + i] = static_cast<int8_t>(piece.chArrBuffer[i]);
      }
      g_nArrIndex += piece.nBufferLen;
      if (!lastPiece) return 0;

      BufferWriter gathered;
      for (int i = 0; i < g_nArrIndex; ++i) gathered.u8(byteArrAllBuffer[i]);
      frames.push_back(
          obj.CompletePacketBuffer(gathered.finish(), static_cast<short>(commandCode), 0));
      // The frame holds its own copy: the buffer is free for the next
      // sequence while this one is sent.
      sequence::Sent();
    }
    if (transport == kNetworkTransport) {
      result = SendToController(std::move(frames), ip, networkMode);
    } else {
      result = SendOnSerial(std::move(frames), portNumber, baudRate);
    }
  } catch (...) {
  }
  return result;
}
