// The network sender: checks what it is given, picks the link of the network
// mode (datagram, stream or login link) and makes the attempts over it.
#include <arpa/inet.h>

#include <memory>
#include <string>

#include "core/Protocol.h"
#include "core/Trace.h"
#include "transport/Link.h"
#include "transport/Senders.h"

bool AllFramesFit(const FrameList& frames) {
  for (size_t i = 0; i < frames.size(); ++i) {
    if (!IsValid(frames[i])) {
      trace::Refuse("frame " + std::to_string(i + 1) + " does not fit one " +
                    std::to_string(protocol::kRecordSize) + "-byte frame");
      return false;
    }
  }
  return true;
}

bool IsDottedIPv4(const char* ip) {
  in_addr a;
  return ip != nullptr && inet_pton(AF_INET, ip, &a) == 1;
}

int SendBuffer_Net(FrameList frames, char* ip, int networkMode, const SendSettings& settings) {
  if (ip == nullptr) return trace::Refuse("the controller's address is null");
  if (!IsDottedIPv4(ip)) {
    return trace::Refuse("address \"" + std::string(ip) + "\" is not dotted IPv4");
  }
  if (!AllFramesFit(frames)) return 1;
  try {
    std::unique_ptr<Link> link;
    if (networkMode == protocol::kStreamMode) {
      link = MakeStreamLink(ip, settings);
    } else if (networkMode == protocol::kLoginLinkMode) {
      link = MakeLoginLink(ip, settings);
    } else {
      link = MakeDatagramLink(ip, settings);
    }
    if (!link) return 1;  // the link said why
    return RunAttempts(*link, frames, settings);
  } catch (...) {
    // Nothing escapes the sender: out of memory for the trace or the link.
    return trace::Refuse("out of memory while sending to " + std::string(ip));
  }
}
