#include "transport/ReplyJudge.h"

namespace {

constexpr uint8_t kFrameStart = 0xFE;
constexpr uint8_t kNetworkMark = 0x89;    // byte 3 of a network frame
constexpr uint8_t kSerialAnswer = 0x97;   // byte 1 of the bus answer layout
constexpr long kNetworkStatusAt = 17;
constexpr long kNetworkCommandAt = 8;
constexpr long kSerialStatusAt = 6;

// Byte i of what arrived, zero beyond it.
uint8_t At(const uint8_t* b, long received, long i) { return i < received ? b[i] : 0; }

}  // namespace

ReplyVerdict JudgeNetworkReply(const uint8_t* b, long received, int resultSoFar) {
  if (received <= 0) return {2, false, "nothing received"};
  if (At(b, received, 0) != kFrameStart || At(b, received, 3) != kNetworkMark) {
    return {resultSoFar, false, "not a reply frame (byte 0 is not FE or byte 3 is not 89)"};
  }
  const uint8_t code = At(b, received, kNetworkCommandAt);
  const uint8_t status = At(b, received, kNetworkStatusAt);
  if (code == 0x81 || code == '1' || code == 'l' || code == 'x') {
    if (status == '1') return {0, true, "accepted"};
    if (status == '2') return {3, true, "refused with status \"2\""};
    if (status == '3') return {4, true, "refused with status \"3\""};
    return {resultSoFar, true, "answer with an unknown status"};
  }
  if (code == 'h' && status == 'O') return {0, true, "voice accepted"};
  return {resultSoFar, false, "answer to another command"};
}

ReplyVerdict JudgeSerialReply(const uint8_t* b, long received) {
  if (received <= 0) return {2, false, "nothing received"};
  if (At(b, received, 0) == kFrameStart && At(b, received, 3) == kNetworkMark) {
    // A network-frame answer cut before its status byte is no answer.
    if (received <= kNetworkStatusAt) return {1, false, "network-frame reply cut before its status"};
    const uint8_t status = b[kNetworkStatusAt];
    if (status == '1' || status == 'O') return {0, true, "accepted"};
    if (status == '2') return {3, false, "refused with status \"2\""};
    return {1, false, "network-frame reply with another status"};
  }
  if (At(b, received, 0) == kFrameStart && received <= kSerialStatusAt) {
    return {1, false, "serial reply cut before its status"};
  }
  if (At(b, received, 0) == kFrameStart && At(b, received, 1) == kSerialAnswer &&
      (b[kSerialStatusAt] == '1' || b[kSerialStatusAt] == 0x00)) {
    return {0, true, "accepted"};
  }
  if (At(b, received, 0) == kFrameStart && b[kSerialStatusAt] == 'O') {
    return {0, true, "accepted"};
  }
  return {1, false, "not an accepted reply"};
}

long SerialReplyLength(const uint8_t* b, long received) {
  if (received <= 0 || b[0] != kFrameStart) return received;
  if (received < 4) return 4;
  if (b[3] == kNetworkMark) return received > kNetworkStatusAt ? received : kNetworkStatusAt + 1;
  return received > kSerialStatusAt ? received : kSerialStatusAt + 1;
}
