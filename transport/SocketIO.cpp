#include "transport/SocketIO.h"

#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>

namespace socketio {

void SleepMs(int ms) {
  if (ms > 0) usleep(static_cast<useconds_t>(ms) * 1000);
}

int BoundedMs(int ms) { return ms < 1 ? 1 : ms; }

timeval MsToTimeval(int ms) {
  ms = BoundedMs(ms);
  timeval tv;
  tv.tv_sec = ms / 1000;
  tv.tv_usec = (ms % 1000) * 1000;
  return tv;
}

long MsLeft(Clock::time_point deadline) {
  return static_cast<long>(
      std::chrono::duration_cast<std::chrono::milliseconds>(deadline - Clock::now()).count());
}

long MsSince(Clock::time_point start) {
  return static_cast<long>(
      std::chrono::duration_cast<std::chrono::milliseconds>(Clock::now() - start).count());
}

void SendWhole(int fd, const CBuffObj::tagBufferInfo& f) {
  const char* p = f.chArrBuffer;
  size_t left = static_cast<size_t>(f.nBufferLen);
  while (left > 0) {
    ssize_t n = send(fd, p, left, MSG_NOSIGNAL);
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) return;
    p += n;
    left -= static_cast<size_t>(n);
  }
}

int WaitReadable(int fd, int timeoutMs) {
  pollfd p{fd, POLLIN, 0};
  int ready;
  do {
    ready = poll(&p, 1, BoundedMs(timeoutMs));
  } while (ready < 0 && errno == EINTR);
  return ready < 0 ? -1 : (ready == 0 ? 0 : 1);
}

std::string NoReplyText(long received, int error, int waitedMs) {
  if (received == 0) return "the connection was closed";
  if (error == EAGAIN || error == EWOULDBLOCK || error == 0) {
    return "timed out after " + std::to_string(waitedMs) + " ms";
  }
  return std::strerror(error);
}

}  // namespace socketio
