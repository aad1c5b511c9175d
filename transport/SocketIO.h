// Small pieces the socket links share: sleeping, time-outs as the socket
// calls take them, whole sends and bounded waits.
#ifndef LIBVEXA_X86_TRANSPORT_SOCKETIO_H
#define LIBVEXA_X86_TRANSPORT_SOCKETIO_H

#include <sys/time.h>

#include <chrono>
#include <string>

#include "core/CBuffObj.h"

namespace socketio {

using Clock = std::chrono::steady_clock;

void SleepMs(int ms);

// A socket time-out of zero means "wait for ever"; a time-out left at zero
// or below therefore still bounds the wait, at the shortest one.
int BoundedMs(int ms);
timeval MsToTimeval(int ms);

// Milliseconds from now until `deadline` (negative once it has passed).
long MsLeft(Clock::time_point deadline);
// Whole milliseconds since `start`.
long MsSince(Clock::time_point start);

// Sends all bytes of a frame on a connected socket, continuing after partial
// sends, never raising SIGPIPE. Errors are ignored: only the reply decides.
void SendWhole(int fd, const CBuffObj::tagBufferInfo& frame);

// Waits up to `timeoutMs` for `fd` to be readable. 1 ready, 0 timed out,
// -1 an error (errno set).
int WaitReadable(int fd, int timeoutMs);

// Why a receive brought nothing, in the trace's words: "the connection was
// closed" (received 0), "timed out after 500 ms" (EAGAIN), or the error.
std::string NoReplyText(long received, int error, int waitedMs);

}  // namespace socketio

#endif  // LIBVEXA_X86_TRANSPORT_SOCKETIO_H
