// The network sender: datagram, stream and login-link modes.
#include <arpa/inet.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <sys/time.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <cstring>
#include <memory>
#include <mutex>

#include "core/Protocol.h"
#include "core/Trace.h"
#include "model/GlobalMember.h"
#include "transport/ReplyJudge.h"
#include "transport/Senders.h"

namespace {

using Clock = std::chrono::steady_clock;

constexpr int kReplySize = protocol::kReplySize;
constexpr int kLoginPauseMs = 20;
constexpr int kStreamPauseMs = 40;
constexpr int kStreamSendBuffer = 8192;

void SleepMs(int ms) { usleep(static_cast<useconds_t>(ms) * 1000); }

// A socket time-out of zero means "wait for ever"; a time-out left at zero
// or below therefore still bounds the wait, at the shortest one.
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

// Sends all bytes of a frame, continuing after partial sends. Errors are
// ignored: only the reply decides the result.
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

// The frames of one attempt, in the trace.
void TraceFrames(trace::Transmission& rec, const FrameList& frames) {
  if (!rec.on()) return;
  const int count = static_cast<int>(frames.size());
  for (int i = 0; i < count; ++i) {
    rec.Frame(i + 1, count, frames[i].chArrBuffer, frames[i].nBufferLen);
  }
}

// Why nothing came back, in the trace.
void TraceNoReply(trace::Transmission& rec, long received, int error, int waitedMs) {
  if (!rec.on()) return;
  if (received == 0) {
    rec.Note("< no reply (the connection was closed)");
  } else if (error == EAGAIN || error == EWOULDBLOCK || error == 0) {
    rec.Note("< no reply (timed out after " + std::to_string(waitedMs) + " ms)");
  } else {
    rec.Note(std::string("< no reply (") + std::strerror(error) + ")");
  }
}

// ---------------------------------------------------------------------------
// Login-link mode.

// The connection of the first logged-in client with this address; a record
// that only names a descriptor is borrowed as it is.
struct LoginConnection {
  std::shared_ptr<SocketHandle> handle;
  int fd = -1;
};

LoginConnection FindLoginConnection(const char* ip) {
  std::lock_guard<std::mutex> lock(globalMember.clientLock);
  for (const GlobalMember::tagSocketClient& c : globalMember.socketClients) {
    if (c.strIp != ip || !c.bLogin) continue;
    if (c.handle) return {c.handle, c.handle->fd()};
    return {nullptr, c.nSocket == 0 ? -1 : c.nSocket};
  }
  return {};
}

// One receive on a connection the login server owns: bounded by the receive
// time-out without changing that connection's own socket options.
long ReceiveBounded(int fd, uint8_t* buf, int timeoutMs, int* error) {
  pollfd p{fd, POLLIN, 0};
  int ready;
  do {
    ready = poll(&p, 1, BoundedMs(timeoutMs));
  } while (ready < 0 && errno == EINTR);
  if (ready <= 0) {
    *error = ready == 0 ? EAGAIN : errno;
    return -1;
  }
  const long n = recv(fd, buf, kReplySize, MSG_DONTWAIT);
  *error = n < 0 ? errno : 0;
  return n;
}

// Bytes already waiting on a login connection (a controller's late answer to
// the greeting, or a reply that came after an earlier call stopped waiting)
// answer no frame of this call: discard them so they are not judged as its
// reply.
void DiscardPending(int fd) {
  uint8_t scratch[kReplySize];
  while (recv(fd, scratch, sizeof scratch, MSG_DONTWAIT) > 0) {
  }
}

long LoginLinkAttempt(const FrameList& frames, const char* ip, const SendSettings& settings,
                      uint8_t* reply, trace::Transmission& rec) {
  const LoginConnection connection = FindLoginConnection(ip);
  if (connection.fd < 0) {
    rec.Note("no controller with this address is logged in to the login server");
    return 0;
  }
  // The connection stays open while this send holds its handle, and no other
  // send to the same controller runs meanwhile.
  std::unique_lock<std::mutex> exchange;
  if (connection.handle) exchange = std::unique_lock<std::mutex>(connection.handle->exchangeLock());
  const int fd = connection.fd;
  DiscardPending(fd);
  auto sendAll = [&] {
    TraceFrames(rec, frames);
    for (const auto& f : frames) {
      SendWhole(fd, f);
      SleepMs(kLoginPauseMs);
    }
  };
  sendAll();
  int error = 0;
  long received = ReceiveBounded(fd, reply, settings.receiveTimeOutMs, &error);
  if (received < 0) {
    TraceNoReply(rec, received, error, settings.receiveTimeOutMs);
    sendAll();
    received = ReceiveBounded(fd, reply, settings.receiveTimeOutMs, &error);
  }
  if (received > 0) {
    rec.Reply(reply, received);
  } else {
    TraceNoReply(rec, received, error, settings.receiveTimeOutMs);
  }
  return received;
}

// ---------------------------------------------------------------------------
// Datagram mode.

void DatagramSend(int fd, const FrameList& frames, const sockaddr_in& to) {
  for (const auto& f : frames) {
    const char* p = f.chArrBuffer;
    int left = f.nBufferLen;
    if (left == 0) {
      sendto(fd, p, 0, MSG_NOSIGNAL, reinterpret_cast<const sockaddr*>(&to), sizeof to);
      continue;
    }
    while (left > 0) {
      int piece = std::min(left, protocol::kMaxDatagram);
      sendto(fd, p, static_cast<size_t>(piece), MSG_NOSIGNAL,
             reinterpret_cast<const sockaddr*>(&to), sizeof to);
      p += piece;
      left -= piece;
    }
  }
}

// Receives the controller's reply datagram within the receive time-out. A
// datagram from any other address is no reply: anyone on the network can
// send to the local port, and such a datagram must never be taken for the
// controller's answer. It is dropped and the wait goes on.
long ReceiveFromController(int fd, const sockaddr_in& controller, uint8_t* reply, int timeoutMs,
                           int* error, trace::Transmission& rec) {
  const Clock::time_point deadline = Clock::now() + std::chrono::milliseconds(BoundedMs(timeoutMs));
  // The first wait is the socket's own receive time-out (the whole of it):
  // one system call when the controller answers, as it nearly always does.
  bool waitOnSocket = true;
  for (;;) {
    if (!waitOnSocket) {
      const long left = MsLeft(deadline);
      if (left <= 0) {
        *error = EAGAIN;
        return -1;
      }
      pollfd p{fd, POLLIN, 0};
      const int ready = poll(&p, 1, static_cast<int>(left));
      if (ready < 0 && errno == EINTR) continue;
      if (ready < 0) {
        *error = errno;
        return -1;
      }
      if (ready == 0) continue;  // the deadline is checked above
    }
    sockaddr_in from{};
    socklen_t fromLength = sizeof from;
    const long n = recvfrom(fd, reply, kReplySize, waitOnSocket ? 0 : MSG_DONTWAIT,
                            reinterpret_cast<sockaddr*>(&from), &fromLength);
    const bool timedOutOnSocket = waitOnSocket && n < 0 && (errno == EAGAIN || errno == EWOULDBLOCK);
    waitOnSocket = false;
    if (n < 0) {
      if (timedOutOnSocket) {
        *error = EAGAIN;
        return -1;
      }
      if (errno == EAGAIN || errno == EWOULDBLOCK || errno == EINTR) continue;
      *error = errno;
      return -1;
    }
    if (from.sin_family == AF_INET && from.sin_addr.s_addr == controller.sin_addr.s_addr) {
      *error = 0;
      return n;
    }
    if (rec.on()) {
      char text[INET_ADDRSTRLEN] = {};
      inet_ntop(AF_INET, &from.sin_addr, text, sizeof text);
      rec.Note(std::string("< ignored a datagram of ") + std::to_string(n) + " bytes from " + text +
               ":" + std::to_string(ntohs(from.sin_port)) + ", not the controller");
    }
  }
}

bool IsAnyLocalAddress(const std::string& localIp) { return localIp == "127.0.0.1"; }

void BindLocal(int fd, const SendSettings& settings) {
  sockaddr_in local{};
  local.sin_family = AF_INET;
  local.sin_port = htons(static_cast<uint16_t>(settings.localPort));
  if (IsAnyLocalAddress(settings.localIp)) {
    local.sin_addr.s_addr = htonl(INADDR_ANY);
  } else {
    local.sin_addr.s_addr = inet_addr(settings.localIp.c_str());
  }
  // A failed bind is not an error: the system then picks the source port.
  (void)bind(fd, reinterpret_cast<const sockaddr*>(&local), sizeof local);
}

// The transport word and peer that head the trace record.
std::string PeerText(const char* ip, bool stream, bool loginLink, const SendSettings& settings) {
  if (loginLink) return std::string("login ") + ip;
  if (stream) return std::string("tcp ") + ip + ":" + std::to_string(protocol::kTcpPort);
  return std::string("udp ") + ip + ":" + std::to_string(protocol::kUdpPort) + " from " +
         (IsAnyLocalAddress(settings.localIp) ? std::string() : settings.localIp) + ":" +
         std::to_string(static_cast<uint16_t>(settings.localPort));
}

// How the verdict came about, for the trace and the reason of a failure.
std::string Explain(const uint8_t* reply, long received, const ReplyVerdict& verdict) {
  if (received > protocol::kNetworkHeaderSize) {
    return "command " + trace::Quoted(reply[8]) + " status " + trace::Quoted(reply[17]) + " (" +
           verdict.row + ")";
  }
  return verdict.row;
}

}  // namespace

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
  int result = 1;
  if (ip == nullptr) return trace::Refuse("the controller's address is null");
  if (!IsDottedIPv4(ip)) {
    return trace::Refuse("address \"" + std::string(ip) + "\" is not dotted IPv4");
  }
  if (!AllFramesFit(frames)) return 1;
  const bool stream = networkMode == protocol::kStreamMode;
  const bool loginLink = networkMode == protocol::kLoginLinkMode;

  int fd = socket(AF_INET, (stream ? SOCK_STREAM : SOCK_DGRAM) | SOCK_CLOEXEC, 0);
  if (fd < 0) {
    return trace::Refuse(std::string("cannot open a ") + (stream ? "TCP" : "UDP") +
                         " socket: " + std::strerror(errno));
  }
  try {
    trace::Transmission rec;
    if (trace::On()) rec.Start(PeerText(ip, stream, loginLink, settings));
    if (stream) {
      int rcv = protocol::kStreamReceiveBuffer, snd = kStreamSendBuffer;
      setsockopt(fd, SOL_SOCKET, SO_RCVBUF, &rcv, sizeof rcv);
      setsockopt(fd, SOL_SOCKET, SO_SNDBUF, &snd, sizeof snd);
    }
    sockaddr_in to{};
    to.sin_family = AF_INET;
    to.sin_port = htons(stream ? protocol::kTcpPort : protocol::kUdpPort);
    to.sin_addr.s_addr = inet_addr(ip);

    timeval sendTv = MsToTimeval(settings.sendTimeOutMs);
    timeval recvTv = MsToTimeval(settings.receiveTimeOutMs);
    setsockopt(fd, SOL_SOCKET, SO_SNDTIMEO, &sendTv, sizeof sendTv);
    setsockopt(fd, SOL_SOCKET, SO_RCVTIMEO, &recvTv, sizeof recvTv);

    uint8_t reply[kReplySize];
    bool bound = false;
    // The last attempt's verdict; put in words only when the trace or a
    // failure needs it, so that a traceless accepted call builds no text.
    ReplyVerdict verdict{result, false, "no attempt was made"};
    long received = 0;
    std::string connectFailure;
    for (int attempt = 0; attempt < settings.attempts; ++attempt) {
      // A stream connection is made once: a second attempt could only
      // connect the connected socket again, so the first one's result stands.
      if (stream && attempt > 0) break;
      rec.Attempt(attempt + 1, settings.attempts);
      std::memset(reply, 0, sizeof reply);
      received = 0;
      int error = 0;
      if (loginLink) {
        received = LoginLinkAttempt(frames, ip, settings, reply, rec);
      } else if (stream) {
        if (connect(fd, reinterpret_cast<const sockaddr*>(&to), sizeof to) != 0) {
          connectFailure = std::string("cannot connect to ") + ip + ":" +
                           std::to_string(protocol::kTcpPort) + ": " + std::strerror(errno);
          break;
        }
        // The controller may speak first; only when nothing comes do we send.
        received = recv(fd, reply, kReplySize, 0);
        if (received < 0) {
          TraceFrames(rec, frames);
          for (const auto& f : frames) {
            SendWhole(fd, f);
            SleepMs(kStreamPauseMs);
          }
          received = recv(fd, reply, kReplySize, 0);
          error = received < 0 ? errno : 0;
        }
        if (received > 0) {
          rec.Reply(reply, received);
        } else {
          TraceNoReply(rec, received, error, settings.receiveTimeOutMs);
        }
      } else {
        if (!bound) {
          BindLocal(fd, settings);
          bound = true;
        }
        TraceFrames(rec, frames);
        DatagramSend(fd, frames, to);
        received = ReceiveFromController(fd, to, reply, settings.receiveTimeOutMs, &error, rec);
        if (received > 0) {
          rec.Reply(reply, received);
        } else {
          TraceNoReply(rec, received, error, settings.receiveTimeOutMs);
        }
      }
      verdict = JudgeNetworkReply(reply, received, result);
      result = verdict.result;
      if (verdict.stop) break;
    }
    if (rec.on() || result != 0) {
      const std::string how =
          connectFailure.empty() ? Explain(reply, received, verdict) : connectFailure;
      rec.Result(result, how);
      if (!connectFailure.empty()) {
        trace::SetReason(how);
      } else if (result != 0) {
        trace::SetReason(std::string("controller ") + ip + ": " +
                         (result == 2 ? "no reply" : "reply not accepted") + " (" + how + ")");
      }
    }
  } catch (...) {
    // Nothing escapes the sender; the result so far stands.
  }
  close(fd);
  return result;
}
