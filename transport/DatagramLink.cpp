// Datagram mode: UDP datagrams to the controller's port 8800, sent from the
// local address and port set by BindNetworkCard; frames longer than one
// datagram are cut into 1408-byte pieces.
#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstring>

#include "core/Protocol.h"
#include "transport/Link.h"
#include "transport/SocketIO.h"

namespace {

using socketio::Clock;

// The address text BindNetworkCard keeps for "any local address".
bool IsAnyLocalAddress(const std::string& localIp) { return localIp == "127.0.0.1"; }

class DatagramLink : public NetworkLink {
 public:
  DatagramLink(const char* ip, int fd, const SendSettings& settings)
      : NetworkLink(ip), fd_(fd), timeoutMs_(settings.receiveTimeOutMs) {
    to_.sin_family = AF_INET;
    to_.sin_port = htons(protocol::kUdpPort);
    to_.sin_addr.s_addr = inet_addr(ip);
    const timeval sendTv = socketio::MsToTimeval(settings.sendTimeOutMs);
    const timeval recvTv = socketio::MsToTimeval(settings.receiveTimeOutMs);
    setsockopt(fd_, SOL_SOCKET, SO_SNDTIMEO, &sendTv, sizeof sendTv);
    setsockopt(fd_, SOL_SOCKET, SO_RCVTIMEO, &recvTv, sizeof recvTv);
    Bind(settings);
  }
  ~DatagramLink() override { close(fd_); }

  std::string Peer() const override {
    return "udp " + ip_ + ":" + std::to_string(protocol::kUdpPort) + " from " + from_;
  }

  std::string OpeningNote() const override { return bindNote_; }

  Readiness Begin(int, trace::Transmission&, std::string*) override { return Readiness::kReady; }

  void Send(const CBuffObj::tagBufferInfo& f) override {
    const char* p = f.chArrBuffer;
    int left = f.nBufferLen;
    do {
      const int piece = std::min(left, protocol::kMaxDatagram);
      sendto(fd_, p, static_cast<size_t>(piece), MSG_NOSIGNAL,
             reinterpret_cast<const sockaddr*>(&to_), sizeof to_);
      p += piece;
      left -= piece;
    } while (left > 0);
  }

  int PauseAfterFrameMs() const override { return 0; }

  // The controller's reply datagram within the receive time-out. A datagram
  // from any other address is no reply: anyone on the network can send to
  // the local port, and such a datagram must never be taken for the
  // controller's answer. It is dropped and the wait goes on.
  Received Receive(uint8_t* reply, trace::Transmission& rec) override {
    const Clock::time_point deadline =
        Clock::now() + std::chrono::milliseconds(socketio::BoundedMs(timeoutMs_));
    // The first wait is the socket's own receive time-out (the whole of it):
    // one system call when the controller answers, as it nearly always does.
    bool waitOnSocket = true;
    for (;;) {
      if (!waitOnSocket) {
        const long left = socketio::MsLeft(deadline);
        if (left <= 0) return NothingReceived(-1, EAGAIN, timeoutMs_);
        const int ready = socketio::WaitReadable(fd_, static_cast<int>(left));
        if (ready < 0) return NothingReceived(-1, errno, timeoutMs_);
        if (ready == 0) continue;  // the deadline is checked above
      }
      sockaddr_in from{};
      socklen_t fromLength = sizeof from;
      const long n = recvfrom(fd_, reply, protocol::kReplySize, waitOnSocket ? 0 : MSG_DONTWAIT,
                              reinterpret_cast<sockaddr*>(&from), &fromLength);
      const bool timedOutOnSocket =
          waitOnSocket && n < 0 && (errno == EAGAIN || errno == EWOULDBLOCK);
      waitOnSocket = false;
      if (n < 0) {
        if (timedOutOnSocket) return NothingReceived(-1, EAGAIN, timeoutMs_);
        if (errno == EAGAIN || errno == EWOULDBLOCK || errno == EINTR) continue;
        return NothingReceived(-1, errno, timeoutMs_);
      }
      if (from.sin_family == AF_INET && from.sin_addr.s_addr == to_.sin_addr.s_addr) {
        Received r;
        r.bytes = n;
        return r;
      }
      if (rec.on()) {
        char text[INET_ADDRSTRLEN] = {};
        inet_ntop(AF_INET, &from.sin_addr, text, sizeof text);
        rec.Note("< ignored a datagram of " + std::to_string(n) + " bytes from " + text + ":" +
                 std::to_string(ntohs(from.sin_port)) + ", not the controller");
      }
      std::memset(reply, 0, protocol::kReplySize);
    }
  }

 private:
  // Binds the local port datagrams leave from. When the configured address
  // and port cannot be had (another program holds the port), the system
  // picks a port at the first send. With the trace on, that port is bound
  // here instead, so that the trace can name the port actually used and why
  // the configured one was not; without it, no system call and no text is
  // spent on naming it.
  void Bind(const SendSettings& settings) {
    sockaddr_in local{};
    local.sin_family = AF_INET;
    local.sin_port = htons(static_cast<uint16_t>(settings.localPort));
    const bool any = IsAnyLocalAddress(settings.localIp);
    local.sin_addr.s_addr = any ? htonl(INADDR_ANY) : inet_addr(settings.localIp.c_str());
    bool anyAddress = any;
    const bool bound = bind(fd_, reinterpret_cast<const sockaddr*>(&local), sizeof local) == 0;
    if (!trace::On()) return;
    if (!bound) {
      const int error = errno;
      sockaddr_in picked{};
      picked.sin_family = AF_INET;
      picked.sin_addr.s_addr = htonl(INADDR_ANY);
      (void)bind(fd_, reinterpret_cast<const sockaddr*>(&picked), sizeof picked);
      anyAddress = true;
      bindNote_ = "bind to " + std::string(any ? "" : settings.localIp) + ":" +
                  std::to_string(static_cast<uint16_t>(settings.localPort)) + " failed (" +
                  std::strerror(error) + "); sending from :" + std::to_string(BoundPort());
    }
    from_ = (anyAddress ? std::string() : settings.localIp) + ":" + std::to_string(BoundPort());
  }

  int BoundPort() const {
    sockaddr_in bound{};
    socklen_t length = sizeof bound;
    if (getsockname(fd_, reinterpret_cast<sockaddr*>(&bound), &length) != 0) return 0;
    return ntohs(bound.sin_port);
  }

  const int fd_;
  const int timeoutMs_;
  sockaddr_in to_{};
  std::string from_;      // ":8801", "192.0.2.1:8801": where the datagrams leave from
  std::string bindNote_;  // why the configured port was not bound, if it was not
};

}  // namespace

std::unique_ptr<Link> MakeDatagramLink(const char* ip, const SendSettings& settings) {
  return WithSocket(SOCK_DGRAM, "UDP",
                    [&](int fd) { return std::make_unique<DatagramLink>(ip, fd, settings); });
}
