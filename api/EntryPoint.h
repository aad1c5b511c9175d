// The pattern every single-frame command entry point follows: result 1, one
// CBuffObj, one payload wrapped in one frame, one send, and no exception ever
// leaving the entry point.
#ifndef LIBVEXA_X86_API_ENTRYPOINT_H
#define LIBVEXA_X86_API_ENTRYPOINT_H

#include "core/CBuffObj.h"
#include "transport/Senders.h"

// Builds the payload with `build(obj)`, wraps it in a network frame with
// `commandCode` and `subCode`, and sends it to `ip` in `networkMode`.
template <class Build>
int SendOneNetworkFrame(char* ip, int networkMode, short commandCode, int subCode,
                        Build build) {
  int result = 1;
  try {
    if (ip == nullptr) return 1;
    CBuffObj obj;
    FrameList frames;
    frames.push_back(obj.CompletePacketBuffer(build(obj), commandCode, subCode));
    result = SendBuffer_Net(frames, ip, networkMode);
  } catch (...) {
    // The result held at this moment is returned.
  }
  return result;
}

#endif  // LIBVEXA_X86_API_ENTRYPOINT_H
