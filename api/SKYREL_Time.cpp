// Clock and date-time display commands, over the network and on the serial
// line.
#include "SKYREL.h"
#include "api/EntryPoint.h"

namespace {

// A single date-time display is its own complete set: sequence 1, closed
// with the last-block mark.
CBuffObj::tagBufferInfo DateTimePayload(CBuffObj& o, int materialId, int displayMode,
                                        int dtField4High, int dtField4Low, int dtField5High,
                                        int dtField5Low, int dtField6, int dtField0,
                                        int dtField1, int dtTopBit, int dtField2, int dtField3,
                                        int style3, int extraByte) {
  return o.DateTimeBuffer(materialId, displayMode, dtField4High, dtField4Low, dtField5High,
                          dtField5Low, dtField6, dtField0, dtField1, dtTopBit, dtField2, dtField3,
                          style3, extraByte, 1, true);
}

}  // namespace

int SendDateTime_Net(char* ip, int networkMode, int materialId, int displayMode,
                     int dtField4High, int dtField4Low, int dtField5High, int dtField5Low,
                     int dtField6, int dtField0, int dtField1, int dtTopBit, int dtField2,
                     int dtField3, int style3, int extraByte) {
  return SendOneNetworkFrame(commands::kDateTime, ip, networkMode, [&](CBuffObj& o) {
    return DateTimePayload(o, materialId, displayMode, dtField4High, dtField4Low, dtField5High,
                           dtField5Low, dtField6, dtField0, dtField1, dtTopBit, dtField2, dtField3,
                           style3, extraByte);
  });
}

int SendDateTime_Com(char* deviceAddress, int serialProtocol, int portNumber, int baudRate,
                     int materialId, int displayMode, int dtField4High, int dtField4Low,
                     int dtField5High, int dtField5Low, int dtField6, int dtField0, int dtField1,
                     int dtTopBit, int dtField2, int dtField3, int style3, int extraByte) {
  return SendTwin(commands::kDateTime, {deviceAddress, serialProtocol, portNumber, baudRate},
                  [&](CBuffObj& o, bool) {
                    return DateTimePayload(o, materialId, displayMode, dtField4High, dtField4Low,
                                           dtField5High, dtField5Low, dtField6, dtField0,
                                           dtField1, dtTopBit, dtField2, dtField3, style3,
                                           extraByte);
                  });
}

// The network frame carries the clock as text, the bus frame as seven bytes.
int TimeCheck_Net(char* ip, int networkMode) {
  return SendOneNetworkFrame(commands::kTimeCheck, ip, networkMode,
                             [](CBuffObj& o) { return o.CheckTimeBuffer(1); });
}

int TimeCheck_Com(char* deviceAddress, int serialProtocol, int portNumber, int baudRate) {
  return SendTwin(commands::kTimeCheck, {deviceAddress, serialProtocol, portNumber, baudRate},
                  [](CBuffObj& o, bool forBus) { return o.CheckTimeBuffer(forBus ? 2 : 1); });
}
