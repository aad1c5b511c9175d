// A controller that dials in to a host's login server from a chosen local
// address, so that tests can log in several controllers with different
// addresses from one machine (every loopback address 127.x.y.z is local).
//
// It reads the greeting frame, answers it (or stays silent, or hangs up),
// then decodes every frame that arrives on the connection and answers it in
// its reply mode, like the emulator's own login role. Header-only; it uses
// the emulator's decoders and replies, nothing of the library.
#ifndef VEXA_SIM_LOGINDIALER_H
#define VEXA_SIM_LOGINDIALER_H

#include <arpa/inet.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <chrono>
#include <condition_variable>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "VexaSim.h"

namespace vexasim {

class LoginDialer {
 public:
  enum class Greeting { Answer, Silent, HangUp };

  using Clock = std::chrono::steady_clock;

  explicit LoginDialer(std::string source, Greeting greeting = Greeting::Answer,
                       ReplyMode mode = ReplyMode::Accept)
      : source_(std::move(source)), greeting_(greeting), mode_(mode) {}
  ~LoginDialer() { close(); }
  LoginDialer(const LoginDialer&) = delete;
  LoginDialer& operator=(const LoginDialer&) = delete;

  const std::string& source() const { return source_; }

  // Binds the source address, connects to host:port and starts serving.
  bool connect(const std::string& host, int port) {
    int fd = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    if (fd < 0) return false;
    sockaddr_in local{};
    local.sin_family = AF_INET;
    sockaddr_in remote{};
    remote.sin_family = AF_INET;
    remote.sin_port = htons(uint16_t(port));
    if (::inet_pton(AF_INET, source_.c_str(), &local.sin_addr) != 1 ||
        ::inet_pton(AF_INET, host.c_str(), &remote.sin_addr) != 1 ||
        ::bind(fd, reinterpret_cast<sockaddr*>(&local), sizeof local) != 0 ||
        ::connect(fd, reinterpret_cast<sockaddr*>(&remote), sizeof remote) != 0) {
      ::close(fd);
      return false;
    }
    fd_ = fd;
    connectedAt_ = Clock::now();
    thread_ = std::thread([this] { serve(); });
    return true;
  }

  // Stops serving and closes the connection.
  void close() {
    stopping_ = true;
    if (thread_.joinable()) thread_.join();
    if (fd_ >= 0) ::close(fd_);
    fd_ = -1;
  }

  // True while the host has neither closed nor reset the connection.
  bool peerStillOpen() const {
    std::lock_guard<std::mutex> lk(mu_);
    return !peerClosed_;
  }

  bool waitForGreetings(size_t n, int timeoutMs) const {
    std::unique_lock<std::mutex> lk(mu_);
    return cv_.wait_for(lk, std::chrono::milliseconds(timeoutMs),
                        [&] { return greetings_.size() >= n; });
  }
  bool waitForFrames(size_t n, int timeoutMs) const {
    std::unique_lock<std::mutex> lk(mu_);
    return cv_.wait_for(lk, std::chrono::milliseconds(timeoutMs),
                        [&] { return frames_.size() >= n; });
  }
  // Raw bytes of each greeting frame received (normally exactly one).
  std::vector<std::vector<uint8_t>> greetings() const {
    std::lock_guard<std::mutex> lk(mu_);
    return greetings_;
  }
  // Frames received after the greeting, decoded.
  std::vector<Frame> frames() const {
    std::lock_guard<std::mutex> lk(mu_);
    return frames_;
  }
  // When the first greeting arrived, and when connect() returned.
  Clock::time_point greetedAt() const {
    std::lock_guard<std::mutex> lk(mu_);
    return greetedAt_;
  }
  Clock::time_point connectedAt() const { return connectedAt_; }

 private:
  void send(const std::vector<uint8_t>& bytes) {
    size_t done = 0;
    while (done < bytes.size()) {
      ssize_t n = ::send(fd_, bytes.data() + done, bytes.size() - done, MSG_NOSIGNAL);
      if (n < 0 && errno == EINTR) continue;
      if (n <= 0) return;
      done += size_t(n);
    }
  }

  void take(std::vector<uint8_t> raw) {
    bool first;
    {
      std::lock_guard<std::mutex> lk(mu_);
      first = !greeted_;
      greeted_ = true;
      if (first) {
        greetings_.push_back(raw);
        greetedAt_ = Clock::now();
      }
    }
    if (first) {
      cv_.notify_all();
      if (greeting_ == Greeting::Answer) {
        send(replyFor(decodeNetworkFrame(raw.data(), raw.size()), ReplyMode::Accept));
      } else if (greeting_ == Greeting::HangUp) {
        ::shutdown(fd_, SHUT_RDWR);
        stopping_ = true;
      }
      return;
    }
    Frame f = decodeNetworkFrame(raw.data(), raw.size());
    f.channel = "login";
    {
      std::lock_guard<std::mutex> lk(mu_);
      if (f.command == 0x62) greetings_.push_back(raw);  // a second greeting is a fault
      frames_.push_back(f);
    }
    cv_.notify_all();
    std::vector<uint8_t> reply = replyFor(f, mode_);
    if (!reply.empty()) send(reply);
  }

  void serve() {
    std::vector<uint8_t> buf;
    uint8_t chunk[4096];
    while (!stopping_) {
      for (;;) {
        long len = completeFrameLength(buf.data(), buf.size(), false);
        if (len == 0) break;
        if (len < 0) {
          buf.erase(buf.begin());
          continue;
        }
        std::vector<uint8_t> raw(buf.begin(), buf.begin() + len);
        buf.erase(buf.begin(), buf.begin() + len);
        take(std::move(raw));
      }
      if (stopping_) break;
      pollfd p{fd_, POLLIN, 0};
      if (::poll(&p, 1, 20) <= 0) continue;
      ssize_t n = ::recv(fd_, chunk, sizeof chunk, 0);
      if (n < 0 && errno == EINTR) continue;
      if (n <= 0) {
        std::lock_guard<std::mutex> lk(mu_);
        peerClosed_ = true;
        break;
      }
      buf.insert(buf.end(), chunk, chunk + n);
    }
  }

  const std::string source_;
  const Greeting greeting_;
  const ReplyMode mode_;
  int fd_ = -1;
  std::thread thread_;
  std::atomic<bool> stopping_{false};
  Clock::time_point connectedAt_{};

  mutable std::mutex mu_;
  mutable std::condition_variable cv_;
  bool greeted_ = false;
  bool peerClosed_ = false;
  Clock::time_point greetedAt_{};
  std::vector<std::vector<uint8_t>> greetings_;
  std::vector<Frame> frames_;
};

}  // namespace vexasim

#endif  // VEXA_SIM_LOGINDIALER_H
