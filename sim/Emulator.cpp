// The emulator's transports: a datagram socket, a stream listener, login
// connections it dials itself and a pseudo-terminal, each served on its own
// thread. All of them poll with a short time-out so that stop() is prompt.
#include <arpa/inet.h>
#include <fcntl.h>
#include <netinet/in.h>
#include <netdb.h>
#include <poll.h>
#include <sys/socket.h>
#include <termios.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <chrono>
#include <condition_variable>
#include <cstdlib>
#include <cstring>
#include <map>
#include <mutex>
#include <thread>

#include "DecodeUtil.h"
#include "VexaSim.h"

namespace vexasim {

namespace {

using Clock = std::chrono::steady_clock;

constexpr int kPollMs = 20;
// A stream that goes quiet with a frame short of its length field: when the
// bytes end in the end mark FF FF they are taken as the frame after a short
// pause (the length field is then flagged as wrong); other leftovers after a
// long one. Bytes that start no frame are reported after the short pause.
constexpr int kStreamIdleMs = 30;
constexpr int kStreamStallMs = 1000;
// A datagram frame still missing pieces after this long is taken as it is.
constexpr int kDatagramIdleMs = 200;
constexpr int kConnectTimeoutMs = 5000;

long msSince(Clock::time_point t) {
  return long(std::chrono::duration_cast<std::chrono::milliseconds>(Clock::now() - t).count());
}

bool writeAll(int fd, const std::vector<uint8_t>& bytes, bool isSocket) {
  size_t done = 0;
  while (done < bytes.size()) {
    ssize_t r = isSocket ? ::send(fd, bytes.data() + done, bytes.size() - done, MSG_NOSIGNAL)
                         : ::write(fd, bytes.data() + done, bytes.size() - done);
    if (r < 0 && errno == EINTR) continue;
    if (r < 0 && (errno == EAGAIN || errno == EWOULDBLOCK)) {
      pollfd pf{fd, POLLOUT, 0};
      ::poll(&pf, 1, kPollMs);
      continue;
    }
    if (r <= 0) return false;
    done += size_t(r);
  }
  return true;
}

bool isNetworkStart(const std::vector<uint8_t>& b) {
  static const uint8_t magic[4] = {0xFE, 0x5C, 0x4B, 0x89};
  return b.size() >= 4 && std::memcmp(b.data(), magic, 4) == 0;
}

Frame junkFrame(const std::vector<uint8_t>& junk) {
  Frame f;
  f.kind = "unknown";
  f.raw = junk;
  detail::fail(f, std::to_string(junk.size()) + " bytes that start no frame");
  detail::addHex(f, "payload", junk.data(), junk.size());
  return f;
}

}  // namespace

struct Emulator::Impl {
  Options opt;

  mutable std::mutex mu;  // guards everything recorded, the mode and the override
  mutable std::condition_variable cv;
  std::vector<Frame> frames;
  std::vector<Frame> greetings;
  std::vector<Datagram> datagrams;
  std::vector<uint8_t> serialBytes;
  ReplyMode mode;
  int delayMs;
  std::function<std::optional<std::vector<uint8_t>>(const Frame&)> replyOverride;
  std::function<void(const Frame&)> sink;
  std::mutex sinkMu;  // one sink call at a time

  std::atomic<bool> stopping{false};
  struct Worker {
    std::thread thread;
    std::shared_ptr<std::atomic<bool>> done;
  };
  std::mutex workersMu;
  std::vector<Worker> workers;

  bool running = false;
  int udpFd = -1;
  int tcpFd = -1;
  int ptyMaster = -1;
  int ptySlave = -1;
  std::string ptyPath;

  explicit Impl(Options o) : opt(std::move(o)), mode(opt.mode), delayMs(opt.delayMs) {}

  template <typename F>
  void spawn(F&& body) {
    auto done = std::make_shared<std::atomic<bool>>(false);
    std::lock_guard<std::mutex> lk(workersMu);
    workers.push_back(Worker{std::thread([body = std::forward<F>(body), done]() mutable {
                               body();
                               *done = true;
                             }),
                             done});
  }

  // Joins the workers that have finished (connections that closed).
  void reapWorkers() {
    std::vector<std::thread> finished;
    {
      std::lock_guard<std::mutex> lk(workersMu);
      for (auto it = workers.begin(); it != workers.end();) {
        if (*it->done) {
          finished.push_back(std::move(it->thread));
          it = workers.erase(it);
        } else {
          ++it;
        }
      }
    }
    for (auto& t : finished) t.join();
  }

  void joinAllWorkers() {
    for (;;) {
      std::vector<Worker> all;
      {
        std::lock_guard<std::mutex> lk(workersMu);
        all.swap(workers);
      }
      if (all.empty()) return;
      for (auto& w : all) w.thread.join();
    }
  }

  void callSink(const Frame& f) {
    std::function<void(const Frame&)> s;
    {
      std::lock_guard<std::mutex> lk(mu);
      s = sink;
    }
    if (!s) return;
    std::lock_guard<std::mutex> lk(sinkMu);
    s(f);
  }

  // Waits up to ms; false when the emulator is stopping.
  bool pause(int ms) {
    std::unique_lock<std::mutex> lk(mu);
    return !cv.wait_for(lk, std::chrono::milliseconds(ms), [this] { return stopping.load(); });
  }

  std::vector<uint8_t> replyTo(const Frame& f) {
    std::function<std::optional<std::vector<uint8_t>>(const Frame&)> ov;
    ReplyMode m;
    int wait;
    {
      std::lock_guard<std::mutex> lk(mu);
      ov = replyOverride;
      m = mode;
      wait = delayMs;
    }
    if (ov) {
      if (auto bytes = ov(f)) return *bytes;
    }
    if (m == ReplyMode::Delay && wait > 0 && !pause(wait)) return {};
    return replyFor(f, m);
  }

  // Records a decoded frame, reports it and answers it through send.
  template <typename Send>
  void emit(Frame f, Send&& send) {
    {
      std::lock_guard<std::mutex> lk(mu);
      frames.push_back(f);
    }
    cv.notify_all();
    callSink(f);
    std::vector<uint8_t> reply = replyTo(f);
    if (!reply.empty()) send(reply);
  }

  // ---- datagrams -------------------------------------------------------------
  struct Pending {
    std::vector<uint8_t> bytes;
    uint32_t declared = 0;
    Clock::time_point last;
    sockaddr_in src{};
  };

  void completeDatagramFrame(const std::vector<uint8_t>& bytes, const sockaddr_in& src) {
    Frame f = decodeNetworkFrame(bytes.data(), bytes.size());
    f.channel = "udp";
    emit(std::move(f), [&](const std::vector<uint8_t>& reply) {
      ::sendto(udpFd, reply.data(), reply.size(), 0, reinterpret_cast<const sockaddr*>(&src), sizeof src);
    });
  }

  void udpLoop() {
    std::map<std::string, Pending> pending;  // frames being reassembled, by source
    std::vector<uint8_t> buf(65536);
    while (!stopping) {
      pollfd pf{udpFd, POLLIN, 0};
      if (::poll(&pf, 1, kPollMs) > 0 && (pf.revents & POLLIN)) {
        sockaddr_in src{};
        socklen_t len = sizeof src;
        ssize_t n = ::recvfrom(udpFd, buf.data(), buf.size(), 0, reinterpret_cast<sockaddr*>(&src), &len);
        if (n >= 0) onDatagram(std::vector<uint8_t>(buf.begin(), buf.begin() + n), src, pending);
      }
      for (auto it = pending.begin(); it != pending.end();) {
        if (msSince(it->second.last) >= kDatagramIdleMs) {
          completeDatagramFrame(it->second.bytes, it->second.src);
          it = pending.erase(it);
        } else {
          ++it;
        }
      }
    }
  }

  // The sender cuts a frame longer than MAX_UPD_BUFFER_LEN into full-size
  // datagrams and a shorter remainder; a frame is complete once its length
  // field is reached or a datagram shorter than the full size arrives.
  void onDatagram(std::vector<uint8_t> d, const sockaddr_in& src, std::map<std::string, Pending>& pending) {
    char addr[INET_ADDRSTRLEN] = {0};
    ::inet_ntop(AF_INET, &src.sin_addr, addr, sizeof addr);
    int port = ntohs(src.sin_port);
    {
      std::lock_guard<std::mutex> lk(mu);
      datagrams.push_back(Datagram{d, addr, port});
    }
    const std::string key = std::string(addr) + ":" + std::to_string(port);
    auto it = pending.find(key);
    if (it != pending.end()) {
      Pending& p = it->second;
      p.bytes.insert(p.bytes.end(), d.begin(), d.end());
      p.last = Clock::now();
      if (p.bytes.size() >= p.declared || d.size() < size_t(MAX_UPD_BUFFER_LEN)) {
        std::vector<uint8_t> whole = std::move(p.bytes);
        pending.erase(it);
        completeDatagramFrame(whole, src);
      }
      return;
    }
    if (isNetworkStart(d) && d.size() == size_t(MAX_UPD_BUFFER_LEN) && detail::le32(d.data() + 4) > d.size()) {
      Pending p;
      p.declared = detail::le32(d.data() + 4);
      p.bytes = std::move(d);
      p.last = Clock::now();
      p.src = src;
      pending.emplace(key, std::move(p));
      return;
    }
    completeDatagramFrame(d, src);
  }

  // ---- streams: stream connections, login connections, the serial line -------
  void streamLoop(int fd, const std::string& channel, bool serial, bool isSocket, std::vector<uint8_t> buf) {
    std::vector<uint8_t> junk;  // bytes skipped while looking for a frame start
    Clock::time_point last = Clock::now();
    auto send = [&](const std::vector<uint8_t>& reply) { writeAll(fd, reply, isSocket); };
    auto emitBytes = [&](const uint8_t* p, size_t n) {
      Frame f = serial ? decodeSerialFrame(p, n) : decodeNetworkFrame(p, n);
      f.channel = channel;
      emit(std::move(f), send);
    };
    auto emitJunk = [&]() {
      if (junk.empty()) return;
      Frame f = junkFrame(junk);
      f.channel = channel;
      junk.clear();
      emit(std::move(f), send);
    };
    auto split = [&]() {
      for (;;) {
        long len = completeFrameLength(buf.data(), buf.size(), serial);
        if (len == 0) return;
        if (len < 0) {
          junk.push_back(buf.front());
          buf.erase(buf.begin());
          continue;
        }
        emitJunk();
        std::vector<uint8_t> frame(buf.begin(), buf.begin() + len);
        buf.erase(buf.begin(), buf.begin() + len);
        emitBytes(frame.data(), frame.size());
      }
    };
    auto flush = [&]() {
      emitJunk();
      if (!buf.empty()) {
        std::vector<uint8_t> rest;
        rest.swap(buf);
        emitBytes(rest.data(), rest.size());
      }
    };

    split();
    std::vector<uint8_t> chunk(4096);
    while (!stopping) {
      pollfd pf{fd, POLLIN, 0};
      int r = ::poll(&pf, 1, kPollMs);
      if (r > 0 && (pf.revents & (POLLIN | POLLHUP | POLLERR))) {
        ssize_t n = isSocket ? ::recv(fd, chunk.data(), chunk.size(), 0) : ::read(fd, chunk.data(), chunk.size());
        if (n > 0) {
          if (serial) {
            std::lock_guard<std::mutex> lk(mu);
            serialBytes.insert(serialBytes.end(), chunk.begin(), chunk.begin() + n);
          }
          buf.insert(buf.end(), chunk.begin(), chunk.begin() + n);
          last = Clock::now();
          split();
          continue;
        }
        if (n < 0 && (errno == EINTR || errno == EAGAIN || errno == EWOULDBLOCK)) continue;
        if (isSocket) break;  // closed by the peer or failed
        pause(kPollMs);       // a line without a reader: wait for one
      }
      if (buf.empty() && junk.empty()) continue;
      long quiet = msSince(last);
      bool endMark = buf.size() >= 2 && buf[buf.size() - 1] == 0xFF && buf[buf.size() - 2] == 0xFF;
      if (quiet >= kStreamStallMs || (quiet >= kStreamIdleMs && (buf.empty() || endMark))) flush();
    }
    flush();
  }

  void acceptLoop() {
    while (!stopping) {
      reapWorkers();
      pollfd pf{tcpFd, POLLIN, 0};
      if (::poll(&pf, 1, kPollMs) <= 0 || !(pf.revents & POLLIN)) continue;
      int fd = ::accept(tcpFd, nullptr, nullptr);
      if (fd < 0) continue;
      spawn([this, fd] {
        streamLoop(fd, "tcp", false, true, {});
        ::close(fd);
      });
    }
  }

  void loginLoop(int fd, bool answerGreeting) {
    std::vector<uint8_t> buf;
    std::vector<uint8_t> chunk(4096);
    long len = 0;
    while (!stopping) {
      len = completeFrameLength(buf.data(), buf.size(), false);
      if (len > 0) break;
      if (len < 0) {  // skip bytes before the greeting's start
        buf.erase(buf.begin());
        continue;
      }
      pollfd pf{fd, POLLIN, 0};
      if (::poll(&pf, 1, kPollMs) <= 0) continue;
      ssize_t n = ::recv(fd, chunk.data(), chunk.size(), 0);
      if (n < 0 && (errno == EINTR || errno == EAGAIN)) continue;
      if (n <= 0) {
        len = 0;
        break;
      }
      buf.insert(buf.end(), chunk.begin(), chunk.begin() + n);
    }
    if (len > 0) {
      Frame g = decodeNetworkFrame(buf.data(), size_t(len));
      g.channel = "login";
      buf.erase(buf.begin(), buf.begin() + len);
      {
        std::lock_guard<std::mutex> lk(mu);
        greetings.push_back(g);
      }
      cv.notify_all();
      callSink(g);
      if (answerGreeting) writeAll(fd, replyFor(g, ReplyMode::Accept), true);
      streamLoop(fd, "login", false, true, std::move(buf));
    }
    ::close(fd);
  }
};

Emulator::Emulator(Options o) : d_(new Impl(std::move(o))) {}

Emulator::~Emulator() { stop(); }

const Options& Emulator::options() const { return d_->opt; }

bool Emulator::start(std::string* error) {
  Impl& d = *d_;
  if (d.running) return true;
  auto failWith = [&](const std::string& what) {
    if (error) *error = what + ": " + std::strerror(errno);
    if (d.udpFd >= 0) ::close(d.udpFd);
    if (d.tcpFd >= 0) ::close(d.tcpFd);
    d.udpFd = d.tcpFd = -1;
    return false;
  };
  sockaddr_in addr{};
  addr.sin_family = AF_INET;
  if (::inet_pton(AF_INET, d.opt.address.c_str(), &addr.sin_addr) != 1) {
    errno = EINVAL;
    return failWith("not an IPv4 address: " + d.opt.address);
  }
  auto boundPort = [](int fd) {
    sockaddr_in a{};
    socklen_t len = sizeof a;
    ::getsockname(fd, reinterpret_cast<sockaddr*>(&a), &len);
    return int(ntohs(a.sin_port));
  };
  if (d.opt.udp) {
    d.udpFd = ::socket(AF_INET, SOCK_DGRAM | SOCK_CLOEXEC, 0);
    if (d.udpFd < 0) return failWith("udp socket");
    addr.sin_port = htons(uint16_t(d.opt.udpPort));
    if (::bind(d.udpFd, reinterpret_cast<sockaddr*>(&addr), sizeof addr) != 0)
      return failWith("bind udp " + d.opt.address + ":" + std::to_string(d.opt.udpPort));
    d.opt.udpPort = boundPort(d.udpFd);
  }
  if (d.opt.tcp) {
    d.tcpFd = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    if (d.tcpFd < 0) return failWith("tcp socket");
    int one = 1;
    ::setsockopt(d.tcpFd, SOL_SOCKET, SO_REUSEADDR, &one, sizeof one);
    addr.sin_port = htons(uint16_t(d.opt.tcpPort));
    if (::bind(d.tcpFd, reinterpret_cast<sockaddr*>(&addr), sizeof addr) != 0)
      return failWith("bind tcp " + d.opt.address + ":" + std::to_string(d.opt.tcpPort));
    if (::listen(d.tcpFd, 16) != 0) return failWith("listen tcp");
    d.opt.tcpPort = boundPort(d.tcpFd);
  }
  d.running = true;
  if (d.udpFd >= 0) d.spawn([&d] { d.udpLoop(); });
  if (d.tcpFd >= 0) d.spawn([&d] { d.acceptLoop(); });
  return true;
}

void Emulator::stop() {
  Impl& d = *d_;
  {
    // Under the lock, so that a worker about to wait in pause() sees it.
    std::lock_guard<std::mutex> lk(d.mu);
    d.stopping = true;
  }
  d.cv.notify_all();
  d.joinAllWorkers();
  for (int* fd : {&d.udpFd, &d.tcpFd, &d.ptyMaster, &d.ptySlave}) {
    if (*fd >= 0) ::close(*fd);
    *fd = -1;
  }
  d.ptyPath.clear();
  d.running = false;
  d.stopping = false;
}

std::string Emulator::openSerial() {
  Impl& d = *d_;
  if (!d.ptyPath.empty()) return d.ptyPath;
  int master = ::posix_openpt(O_RDWR | O_NOCTTY | O_CLOEXEC);
  if (master < 0) return "";
  char name[256];
  if (::grantpt(master) != 0 || ::unlockpt(master) != 0 || ::ptsname_r(master, name, sizeof name) != 0) {
    ::close(master);
    return "";
  }
  // Holding the slave open keeps the master readable while the library closes
  // and reopens its side; raw mode keeps our replies from being echoed back.
  int slave = ::open(name, O_RDWR | O_NOCTTY | O_CLOEXEC);
  termios t{};
  if (slave < 0 || ::tcgetattr(slave, &t) != 0) {
    if (slave >= 0) ::close(slave);
    ::close(master);
    return "";
  }
  ::cfmakeraw(&t);
  ::tcsetattr(slave, TCSANOW, &t);
  d.ptyMaster = master;
  d.ptySlave = slave;
  d.ptyPath = name;
  d.spawn([&d, master] { d.streamLoop(master, "serial", true, false, {}); });
  return d.ptyPath;
}

bool Emulator::connectLogin(const std::string& host, int port, bool answerGreeting) {
  addrinfo hints{};
  hints.ai_family = AF_INET;
  hints.ai_socktype = SOCK_STREAM;
  addrinfo* res = nullptr;
  if (::getaddrinfo(host.c_str(), std::to_string(port).c_str(), &hints, &res) != 0 || !res) return false;
  int fd = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC | SOCK_NONBLOCK, 0);
  bool ok = fd >= 0;
  if (ok && ::connect(fd, res->ai_addr, res->ai_addrlen) != 0) {
    ok = errno == EINPROGRESS;
    if (ok) {
      pollfd pf{fd, POLLOUT, 0};
      int err = 0;
      socklen_t len = sizeof err;
      ok = ::poll(&pf, 1, kConnectTimeoutMs) == 1 && ::getsockopt(fd, SOL_SOCKET, SO_ERROR, &err, &len) == 0 &&
           err == 0;
    }
  }
  ::freeaddrinfo(res);
  if (!ok) {
    if (fd >= 0) ::close(fd);
    return false;
  }
  ::fcntl(fd, F_SETFL, ::fcntl(fd, F_GETFL) & ~O_NONBLOCK);
  Impl& d = *d_;
  d.spawn([&d, fd, answerGreeting] { d.loginLoop(fd, answerGreeting); });
  return true;
}

void Emulator::setReplyMode(ReplyMode m, int delayMs) {
  std::lock_guard<std::mutex> lk(d_->mu);
  d_->mode = m;
  d_->delayMs = delayMs;
}

void Emulator::setReplyOverride(std::function<std::optional<std::vector<uint8_t>>(const Frame&)> f) {
  std::lock_guard<std::mutex> lk(d_->mu);
  d_->replyOverride = std::move(f);
}

void Emulator::setSink(std::function<void(const Frame&)> f) {
  std::lock_guard<std::mutex> lk(d_->mu);
  d_->sink = std::move(f);
}

std::vector<Frame> Emulator::frames() const {
  std::lock_guard<std::mutex> lk(d_->mu);
  return d_->frames;
}

std::vector<Datagram> Emulator::datagrams() const {
  std::lock_guard<std::mutex> lk(d_->mu);
  return d_->datagrams;
}

std::vector<uint8_t> Emulator::serialBytes() const {
  std::lock_guard<std::mutex> lk(d_->mu);
  return d_->serialBytes;
}

std::vector<Frame> Emulator::greetings() const {
  std::lock_guard<std::mutex> lk(d_->mu);
  return d_->greetings;
}

bool Emulator::waitForFrames(size_t n, int timeoutMs) const {
  std::unique_lock<std::mutex> lk(d_->mu);
  return d_->cv.wait_for(lk, std::chrono::milliseconds(timeoutMs), [&] { return d_->frames.size() >= n; });
}

bool Emulator::waitForGreetings(size_t n, int timeoutMs) const {
  std::unique_lock<std::mutex> lk(d_->mu);
  return d_->cv.wait_for(lk, std::chrono::milliseconds(timeoutMs), [&] { return d_->greetings.size() >= n; });
}

void Emulator::clear() {
  std::lock_guard<std::mutex> lk(d_->mu);
  d_->frames.clear();
  d_->greetings.clear();
  d_->datagrams.clear();
  d_->serialBytes.clear();
  if (d_->ptySlave >= 0) ::tcflush(d_->ptySlave, TCIFLUSH);
}

}  // namespace vexasim
