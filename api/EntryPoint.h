// The pattern every single-frame command entry point follows: result 1, one
// CBuffObj, one payload wrapped in one frame, one send, and no exception ever
// leaving the entry point.
#ifndef LIBVEXA_X86_API_ENTRYPOINT_H
#define LIBVEXA_X86_API_ENTRYPOINT_H

#include <cstring>
#include <string>
#include <utility>

#include "api/Send.h"
#include "core/CBuffObj.h"
#include "core/Protocol.h"
#include "core/Trace.h"

// Refuses a frame that does not fit, naming the text it was built from when
// there is one. Returns 1.
inline int RefuseOversized(const char* text) {
  const std::string limit = std::to_string(protocol::kRecordSize) + "-byte frame";
  if (text != nullptr) {
    return trace::Refuse("text of " + std::to_string(std::strlen(text)) +
                         " bytes does not fit one " + limit);
  }
  return trace::Refuse("the command does not fit one " + limit);
}

// Refuses a null text argument. Returns 1.
inline int RefuseNullText() { return trace::Refuse("the text is null"); }

// Builds the payload with `build(obj)`, wraps it in a network frame with
// `commandCode` and `subCode`, and sends it to `ip` in `networkMode`. `text`
// names the text the payload carries, for the reason of a refusal.
template <class Build>
int SendOneNetworkFrame(char* ip, int networkMode, short commandCode, int subCode, Build build,
                        const char* text = nullptr) {
  int result = 1;
  try {
    if (ip == nullptr) return trace::Refuse("the controller's address is null");
    CBuffObj obj;
    FrameList frames;
    frames.push_back(obj.CompletePacketBuffer(build(obj), commandCode, subCode));
    if (!IsValid(frames.back())) return RefuseOversized(text);
    result = SendToController(std::move(frames), ip, networkMode);
  } catch (...) {
    // The result held at this moment is returned.
  }
  return result;
}

#endif  // LIBVEXA_X86_API_ENTRYPOINT_H
