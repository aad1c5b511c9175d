// Stream mode: one TCP connection to the controller's port 8900 for the
// call. The controller may speak first: the link listens once before it
// sends, and sends only when nothing came.
#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>

#include "core/Protocol.h"
#include "transport/Link.h"
#include "transport/SocketIO.h"

namespace {

constexpr int kPauseAfterFrameMs = 40;
constexpr int kSendBuffer = 8192;

class StreamLink : public NetworkLink {
 public:
  StreamLink(const char* ip, int fd, const SendSettings& settings)
      : NetworkLink(ip), fd_(fd), timeoutMs_(settings.receiveTimeOutMs) {
    int rcv = protocol::kStreamReceiveBuffer, snd = kSendBuffer;
    setsockopt(fd_, SOL_SOCKET, SO_RCVBUF, &rcv, sizeof rcv);
    setsockopt(fd_, SOL_SOCKET, SO_SNDBUF, &snd, sizeof snd);
    // The send time-out also bounds the connect.
    const timeval sendTv = socketio::MsToTimeval(settings.sendTimeOutMs);
    const timeval recvTv = socketio::MsToTimeval(settings.receiveTimeOutMs);
    setsockopt(fd_, SOL_SOCKET, SO_SNDTIMEO, &sendTv, sizeof sendTv);
    setsockopt(fd_, SOL_SOCKET, SO_RCVTIMEO, &recvTv, sizeof recvTv);
  }
  ~StreamLink() override { close(fd_); }

  std::string Peer() const override {
    return "tcp " + ip_ + ":" + std::to_string(protocol::kTcpPort);
  }

  Readiness Begin(int, trace::Transmission&, std::string* why) override {
    sockaddr_in to{};
    to.sin_family = AF_INET;
    to.sin_port = htons(protocol::kTcpPort);
    to.sin_addr.s_addr = inet_addr(ip_.c_str());
    if (connect(fd_, reinterpret_cast<const sockaddr*>(&to), sizeof to) != 0) {
      *why = "cannot connect to " + ip_ + ":" + std::to_string(protocol::kTcpPort) + ": " +
             std::strerror(errno);
      return Readiness::kEnd;
    }
    return Readiness::kReady;
  }

  void Send(const CBuffObj::tagBufferInfo& f) override { socketio::SendWhole(fd_, f); }

  Received Receive(uint8_t* reply, trace::Transmission&) override {
    const long n = recv(fd_, reply, protocol::kReplySize, 0);
    if (n <= 0) return NothingReceived(n, n < 0 ? errno : 0, timeoutMs_);
    Received r;
    r.bytes = n;
    return r;
  }

  int PauseAfterFrameMs() const override { return kPauseAfterFrameMs; }
  bool ListensFirst() const override { return true; }
  // A second attempt could only connect the connected socket again.
  bool OneAttemptOnly() const override { return true; }

 private:
  const int fd_;
  const int timeoutMs_;
};

}  // namespace

std::unique_ptr<Link> MakeStreamLink(const char* ip, const SendSettings& settings) {
  return WithSocket(SOCK_STREAM, "TCP",
                    [&](int fd) { return std::make_unique<StreamLink>(ip, fd, settings); });
}
