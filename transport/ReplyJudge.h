// How a controller's answer becomes a result code, for both the network and
// the serial line. The judges look only at the bytes that arrived: a byte
// the reply did not reach counts as zero.
#ifndef LIBVEXA_X86_TRANSPORT_REPLYJUDGE_H
#define LIBVEXA_X86_TRANSPORT_REPLYJUDGE_H

#include <cstdint>

struct ReplyVerdict {
  int result;       // the result code after this reply
  bool stop;        // the reply ends the attempts
  const char* row;  // the row of the reply table that gave the result, in words
};

// A reply in network-frame layout: bytes 0 and 3 mark it, byte 8 is the
// command code, byte 17 the status. `received` is the byte count of the
// receive (0 or negative: nothing came); `resultSoFar` is kept when the reply
// does not decide the result.
ReplyVerdict JudgeNetworkReply(const uint8_t* reply, long received, int resultSoFar);

// What the serial line answered: a reply in network-frame layout, or one of
// the serial layouts whose status is byte 6. Only an accepted reply ends the
// attempts on the serial line.
ReplyVerdict JudgeSerialReply(const uint8_t* reply, long received);

// How many bytes a serial reply that begins with `reply[0..received)` needs
// before its status byte has arrived; at most `received` once nothing more
// is needed (a reply that starts no known layout is judged as it stands).
long SerialReplyLength(const uint8_t* reply, long received);

#endif  // LIBVEXA_X86_TRANSPORT_REPLYJUDGE_H
