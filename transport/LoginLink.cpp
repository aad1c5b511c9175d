// Login-link mode: the connection a controller opened to the login server,
// found in the client list by the controller's address.
#include <sys/socket.h>

#include <cerrno>
#include <memory>
#include <mutex>

#include "core/Protocol.h"
#include "model/GlobalMember.h"
#include "transport/Link.h"
#include "transport/SocketIO.h"

namespace {

constexpr int kPauseAfterFrameMs = 20;
// Addresses named in the reason when no controller of the wanted one is in.
constexpr size_t kNamedAtMost = 8;

class LoginLink : public NetworkLink {
 public:
  LoginLink(const char* ip, const SendSettings& settings)
      : NetworkLink(ip), timeoutMs_(settings.receiveTimeOutMs) {}

  std::string Peer() const override { return "login " + ip_; }

  // Finds the connection of the first logged-in client with this address; a
  // record that only names a descriptor is borrowed as it is. The connection
  // stays open while this attempt holds its handle, and no other send to the
  // same controller runs meanwhile.
  Readiness Begin(int, trace::Transmission&, std::string* why) override {
    End();
    std::vector<std::string> loggedIn;
    {
      std::lock_guard<std::mutex> lock(globalMember.clientLock);
      for (const GlobalMember::tagSocketClient& c : globalMember.socketClients) {
        if (!c.bLogin) continue;
        if (c.strIp != ip_) {
          loggedIn.push_back(c.strIp);
          continue;
        }
        handle_ = c.handle;
        fd_ = c.handle ? c.handle->fd() : (c.nSocket == 0 ? -1 : c.nSocket);
        break;
      }
    }
    if (fd_ < 0) {
      *why = NotLoggedIn(loggedIn);
      return Readiness::kNothingSent;
    }
    if (handle_) exchange_ = std::unique_lock<std::mutex>(handle_->exchangeLock());
    DiscardPending();
    return Readiness::kReady;
  }

  void End() override {
    if (exchange_.owns_lock()) exchange_.unlock();
    exchange_ = std::unique_lock<std::mutex>();
    handle_.reset();
    fd_ = -1;
  }

  void Send(const CBuffObj::tagBufferInfo& f) override { socketio::SendWhole(fd_, f); }

  // One receive, bounded by the receive time-out without changing the
  // connection's own socket options (the login server owns it).
  Received Receive(uint8_t* reply, trace::Transmission&) override {
    const int ready = socketio::WaitReadable(fd_, timeoutMs_);
    if (ready <= 0) return NothingReceived(-1, ready == 0 ? EAGAIN : errno, timeoutMs_);
    const long n = recv(fd_, reply, protocol::kReplySize, MSG_DONTWAIT);
    if (n <= 0) return NothingReceived(n, n < 0 ? errno : 0, timeoutMs_);
    Received r;
    r.bytes = n;
    return r;
  }

  int PauseAfterFrameMs() const override { return kPauseAfterFrameMs; }
  bool RepeatsOnError() const override { return true; }

 private:
  // Bytes already waiting on the connection (a controller's late answer to
  // the greeting, or a reply that came after an earlier call stopped
  // waiting) answer no frame of this call: they are discarded so that they
  // are not judged as its reply.
  void DiscardPending() {
    uint8_t scratch[protocol::kReplySize];
    while (recv(fd_, scratch, sizeof scratch, MSG_DONTWAIT) > 0) {
    }
  }

  std::string NotLoggedIn(const std::vector<std::string>& loggedIn) const {
    std::string text = "no controller logged in from " + ip_ + "; ";
    if (loggedIn.empty()) return text + "none logged in";
    text += std::to_string(loggedIn.size()) + " logged in: ";
    for (size_t i = 0; i < loggedIn.size() && i < kNamedAtMost; ++i) {
      text += (i > 0 ? ", " : "") + loggedIn[i];
    }
    if (loggedIn.size() > kNamedAtMost) {
      text += " and " + std::to_string(loggedIn.size() - kNamedAtMost) + " more";
    }
    return text;
  }

  const int timeoutMs_;
  std::shared_ptr<SocketHandle> handle_;
  std::unique_lock<std::mutex> exchange_;
  int fd_ = -1;
};

}  // namespace

std::unique_ptr<Link> MakeLoginLink(const char* ip, const SendSettings& settings) {
  return std::make_unique<LoginLink>(ip, settings);
}
