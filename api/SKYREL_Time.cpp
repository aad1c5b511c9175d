// Clock and date-time display entry points.
#include "SKYREL.h"
#include "api/EntryPoint.h"
#include "core/Protocol.h"

int SendDateTime_Net(char* ip, int networkMode, int materialId, int displayMode,
                     int dtField4High, int dtField4Low, int dtField5High, int dtField5Low,
                     int dtField6, int dtField0, int dtField1, int dtTopBit, int dtField2,
                     int dtField3, int style3, int extraByte) {
  // A single date-time display is its own complete set: sequence 1, closed
  // with the last-block mark.
  return SendOneNetworkFrame(ip, networkMode, protocol::cmd::kMaterial, 0, [&](CBuffObj& o) {
    return o.DateTimeBuffer(materialId, displayMode, dtField4High, dtField4Low, dtField5High,
                            dtField5Low, dtField6, dtField0, dtField1, dtTopBit, dtField2,
                            dtField3, style3, extraByte, 1, true);
  });
}

int TimeCheck_Net(char* ip, int networkMode) {
  // The clock travels in its text form over the network.
  return SendOneNetworkFrame(ip, networkMode, protocol::cmd::kTimeCheck, 0,
                             [](CBuffObj& o) { return o.CheckTimeBuffer(1); });
}
