// The network sender: datagram, stream and login-link modes.
#include <arpa/inet.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <sys/time.h>
#include <unistd.h>

#include <algorithm>
#include <cstring>

#include "SKYREL.h"
#include "model/GlobalMember.h"
#include "transport/ReplyJudge.h"
#include "transport/Senders.h"

namespace {

constexpr int kReplySize = 1024;
constexpr int kLoginPauseMs = 20;
constexpr int kStreamPauseMs = 40;

void SleepMs(int ms) { usleep(static_cast<useconds_t>(ms) * 1000); }

// A socket time-out of zero means "wait for ever"; a time-out global left at
// zero or below therefore still bounds the wait, at the shortest one.
int BoundedMs(int ms) { return ms < 1 ? 1 : ms; }

timeval MsToTimeval(int ms) {
  ms = BoundedMs(ms);
  timeval tv;
  tv.tv_sec = ms / 1000;
  tv.tv_usec = (ms % 1000) * 1000;
  return tv;
}

// Sends all bytes of a frame, continuing after partial sends. Errors are
// ignored: only the reply decides the result.
void SendWhole(int fd, const CBuffObj::tagBufferInfo& f) {
  const char* p = f.chArrBuffer;
  size_t left = static_cast<size_t>(f.nBufferLen);
  while (left > 0) {
    ssize_t n = send(fd, p, left, MSG_NOSIGNAL);
    if (n <= 0) return;
    p += n;
    left -= static_cast<size_t>(n);
  }
}

// The descriptor of the first logged-in client with this address, or -1.
int FindLoginSocket(const char* ip) {
  std::lock_guard<std::mutex> lock(globalMember.clientLock);
  for (const GlobalMember::tagSocketClient& c : globalMember.socketClients) {
    if (c.strIp == ip && c.bLogin) return c.nSocket == 0 ? -1 : c.nSocket;
  }
  return -1;
}

// One receive on a connection the login server owns: bounded by the receive
// time-out without changing that connection's own socket options.
long ReceiveBounded(int fd, uint8_t* buf) {
  pollfd p{fd, POLLIN, 0};
  int ready = poll(&p, 1, BoundedMs(g_receive_time_out));
  if (ready <= 0) return -1;
  return recv(fd, buf, kReplySize, MSG_DONTWAIT);
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

long LoginLinkAttempt(const FrameList& frames, const char* ip, uint8_t* reply) {
  int fd = FindLoginSocket(ip);
  if (fd < 0) return 0;
  DiscardPending(fd);
  auto sendAll = [&] {
    for (const auto& f : frames) {
      SendWhole(fd, f);
      SleepMs(kLoginPauseMs);
    }
  };
  sendAll();
  long received = ReceiveBounded(fd, reply);
  if (received < 0) {
    sendAll();
    received = ReceiveBounded(fd, reply);
  }
  return received;
}

void DatagramSend(int fd, const FrameList& frames, const sockaddr_in& to) {
  for (const auto& f : frames) {
    const char* p = f.chArrBuffer;
    int left = f.nBufferLen;
    if (left == 0) {
      sendto(fd, p, 0, MSG_NOSIGNAL, reinterpret_cast<const sockaddr*>(&to), sizeof to);
      continue;
    }
    while (left > 0) {
      int piece = std::min(left, MAX_UPD_BUFFER_LEN);
      sendto(fd, p, static_cast<size_t>(piece), MSG_NOSIGNAL,
             reinterpret_cast<const sockaddr*>(&to), sizeof to);
      p += piece;
      left -= piece;
    }
  }
}

void BindLocal(int fd) {
  sockaddr_in local{};
  local.sin_family = AF_INET;
  local.sin_port = htons(static_cast<uint16_t>(g_network_card_port));
  const char* localIp = g_network_card_ip ? g_network_card_ip : "127.0.0.1";
  if (std::strcmp(localIp, "127.0.0.1") == 0) {
    local.sin_addr.s_addr = htonl(INADDR_ANY);
  } else {
    local.sin_addr.s_addr = inet_addr(localIp);
  }
  // A failed bind is not an error: the system then picks the source port.
  (void)bind(fd, reinterpret_cast<const sockaddr*>(&local), sizeof local);
}

}  // namespace

bool IsDottedIPv4(const char* ip) {
  in_addr a;
  return ip != nullptr && inet_pton(AF_INET, ip, &a) == 1;
}

int SendBuffer_Net(FrameList frames, char* ip, int networkMode) {
  int result = 1;
  if (!IsDottedIPv4(ip)) return 1;
  for (const auto& f : frames) {
    if (!IsValid(f)) return 1;
  }
  const bool stream = networkMode == 2;
  const bool loginLink = networkMode == 3;

  int fd = socket(AF_INET, stream ? SOCK_STREAM : SOCK_DGRAM, 0);
  if (fd < 0) return 1;
  try {
    if (stream) {
      int rcv = RECV_LEN, snd = 8192;
      setsockopt(fd, SOL_SOCKET, SO_RCVBUF, &rcv, sizeof rcv);
      setsockopt(fd, SOL_SOCKET, SO_SNDBUF, &snd, sizeof snd);
    }
    sockaddr_in to{};
    to.sin_family = AF_INET;
    to.sin_port = htons(stream ? VEXA_TCP_PORT : VEXA_UDP_PORT);
    to.sin_addr.s_addr = inet_addr(ip);

    timeval sendTv = MsToTimeval(g_send_time_out);
    timeval recvTv = MsToTimeval(g_receive_time_out);
    setsockopt(fd, SOL_SOCKET, SO_SNDTIMEO, &sendTv, sizeof sendTv);
    setsockopt(fd, SOL_SOCKET, SO_RCVTIMEO, &recvTv, sizeof recvTv);

    uint8_t reply[kReplySize];
    bool bound = false;
    for (int attempt = 0; attempt < g_send_times; ++attempt) {
      std::memset(reply, 0, sizeof reply);
      long received = 0;
      if (loginLink) {
        received = LoginLinkAttempt(frames, ip, reply);
      } else if (stream) {
        if (connect(fd, reinterpret_cast<const sockaddr*>(&to), sizeof to) != 0) break;
        // The controller may speak first; only when nothing comes do we send.
        received = recv(fd, reply, kReplySize, 0);
        if (received < 0) {
          for (const auto& f : frames) {
            SendWhole(fd, f);
            SleepMs(kStreamPauseMs);
          }
          received = recv(fd, reply, kReplySize, 0);
        }
      } else {
        if (!bound) {
          BindLocal(fd);
          bound = true;
        }
        DatagramSend(fd, frames, to);
        received = recvfrom(fd, reply, kReplySize, 0, nullptr, nullptr);
      }
      const ReplyVerdict verdict = JudgeNetworkReply(reply, received, result);
      result = verdict.result;
      if (verdict.stop) break;
    }
  } catch (...) {
    // Nothing escapes the sender; the result so far stands.
  }
  close(fd);
  return result;
}
