#include "core/Protocol.h"
#include "transport/Link.h"

ReplyVerdict NetworkLink::Judge(const uint8_t* reply, long received, int resultSoFar) const {
  return JudgeNetworkReply(reply, received, resultSoFar);
}

std::string NetworkLink::Describe(const uint8_t* reply, long received,
                                  const ReplyVerdict& verdict) const {
  if (received > protocol::kNetworkHeaderSize) {
    return "command " + trace::Quoted(reply[8]) + " status " + trace::Quoted(reply[17]) + " (" +
           verdict.row + ")";
  }
  return verdict.row;
}
