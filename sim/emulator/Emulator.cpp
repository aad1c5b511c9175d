// The emulator's transports: a datagram socket and a pseudo-terminal, each
// served on its own thread, and the stream connections (accepted on the
// stream port or dialled to a login server), all served by one thread of the
// stream server. All of them poll with a short time-out so that stop() is
// prompt. What was received is kept in bounded records of recent entries.
#include <arpa/inet.h>
#include <fcntl.h>
#include <netinet/in.h>
#include <netdb.h>
#include <poll.h>
#include <sys/socket.h>
#include <termios.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <chrono>
#include <condition_variable>
#include <cstdlib>
#include <cstring>
#include <functional>
#include <mutex>
#include <thread>

#include "DecodeUtil.h"
#include "Reassembly.h"
#include "Recent.h"
#include "StreamServer.h"
#include "VexaSim.h"

namespace vexasim {

namespace {

using Clock = std::chrono::steady_clock;

constexpr int kPollMs = 20;
constexpr int kConnectTimeoutMs = 5000;
// A controller that dials in tries again this often while it has no
// connection to the host.
constexpr int kRedialMs = 1000;

long nowMs() {
  return long(std::chrono::duration_cast<std::chrono::milliseconds>(Clock::now().time_since_epoch()).count());
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

// The IPv4 address of host (a dotted address or a name) with port.
bool resolveHost(const std::string& host, int port, sockaddr_in& to) {
  addrinfo hints{};
  hints.ai_family = AF_INET;
  hints.ai_socktype = SOCK_STREAM;
  addrinfo* res = nullptr;
  if (::getaddrinfo(host.c_str(), nullptr, &hints, &res) != 0 || !res) return false;
  std::memcpy(&to, res->ai_addr, sizeof to);
  ::freeaddrinfo(res);
  to.sin_port = htons(uint16_t(port));
  return true;
}

// A stream connection to `to`, made from the local address `source` ("" for
// any), waited for at most kConnectTimeoutMs and only while goOn() holds.
// The connected descriptor (non-blocking), or -1 with errno set.
int dialFrom(const sockaddr_in& to, const std::string& source, const std::function<bool()>& goOn) {
  int fd = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC | SOCK_NONBLOCK, 0);
  if (fd < 0) return -1;
  auto fail = [fd](int why) {
    ::close(fd);
    errno = why;
    return -1;
  };
  if (!source.empty()) {
    sockaddr_in local{};
    local.sin_family = AF_INET;
    if (::inet_pton(AF_INET, source.c_str(), &local.sin_addr) != 1) return fail(EINVAL);
    if (::bind(fd, reinterpret_cast<sockaddr*>(&local), sizeof local) != 0) return fail(errno);
  }
  if (::connect(fd, reinterpret_cast<const sockaddr*>(&to), sizeof to) == 0) return fd;
  if (errno != EINPROGRESS) return fail(errno);
  for (int waited = 0; waited < kConnectTimeoutMs && goOn(); waited += kPollMs) {
    pollfd pf{fd, POLLOUT, 0};
    if (::poll(&pf, 1, kPollMs) != 1) continue;
    int err = 0;
    socklen_t len = sizeof err;
    if (::getsockopt(fd, SOL_SOCKET, SO_ERROR, &err, &len) != 0) return fail(errno);
    return err == 0 ? fd : fail(err);
  }
  return fail(ETIMEDOUT);
}

}  // namespace

struct Emulator::Impl {
  Options opt;

  mutable std::mutex mu;  // guards everything recorded, the mode and the override
  mutable std::condition_variable cv;
  Recent<Frame> frames;
  Recent<Frame> greetings;
  Recent<Datagram> datagrams;
  Recent<uint8_t> serialBytes;
  ReplyMode mode;
  int delayMs;
  std::function<std::optional<std::vector<uint8_t>>(const Frame&)> replyOverride;
  std::function<void(const Frame&)> sink;
  std::mutex sinkMu;  // one sink call at a time

  std::atomic<bool> stopping{false};
  // The datagram and serial loops; stream connections are served by `streams`.
  std::mutex workersMu;
  std::vector<std::thread> workers;

  bool running = false;
  int udpFd = -1;
  int ptyMaster = -1;
  int ptySlave = -1;
  std::string ptyPath;
  StreamServer streams;

  explicit Impl(Options o)
      : opt(std::move(o)),
        frames(opt.keep),
        greetings(opt.keep),
        datagrams(opt.keep),
        serialBytes(opt.keep * kFrameLimit),
        mode(opt.mode),
        delayMs(opt.delayMs),
        streams([this](Frame f) { return answer(std::move(f)); },
                [this](Frame g, bool answerIt) { return greet(std::move(g), answerIt); }, opt.maxConnections) {}

  template <typename F>
  void spawn(F&& body) {
    std::lock_guard<std::mutex> lk(workersMu);
    workers.emplace_back(std::forward<F>(body));
  }

  void joinAllWorkers() {
    for (;;) {
      std::vector<std::thread> all;
      {
        std::lock_guard<std::mutex> lk(workersMu);
        all.swap(workers);
      }
      if (all.empty()) return;
      for (auto& t : all) t.join();
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

  // The answer to f and how long to wait before sending it.
  StreamAnswer replyTo(const Frame& f) {
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
      if (auto bytes = ov(f)) return StreamAnswer{*bytes, 0};
    }
    return StreamAnswer{replyFor(f, m), m == ReplyMode::Delay ? wait : 0};
  }

  // Records a decoded frame and reports it; returns its answer, decided in
  // the reply mode of the moment the frame arrived.
  StreamAnswer answer(Frame f) {
    StreamAnswer a = replyTo(f);
    {
      std::lock_guard<std::mutex> lk(mu);
      frames.push(f);
    }
    cv.notify_all();
    callSink(f);
    return a;
  }

  // Records a decoded frame, reports it and answers it through send, after
  // the answer's delay.
  template <typename Send>
  void emit(Frame f, Send&& send) {
    StreamAnswer a = answer(std::move(f));
    if (a.delayMs > 0 && !pause(a.delayMs)) return;
    if (!a.bytes.empty()) send(a.bytes);
  }

  // Records a login server's greeting and reports it; returns its answer.
  std::vector<uint8_t> greet(Frame g, bool answerIt) {
    {
      std::lock_guard<std::mutex> lk(mu);
      greetings.push(g);
    }
    cv.notify_all();
    callSink(g);
    return answerIt ? replyFor(g, ReplyMode::Accept) : std::vector<uint8_t>{};
  }

  // ---- datagrams -------------------------------------------------------------
  void completeDatagramFrame(const DatagramFrame& d) {
    Frame f = decodeDatagramFrame(d);
    f.channel = "udp";
    sockaddr_in to{};
    to.sin_family = AF_INET;
    to.sin_addr.s_addr = htonl(sourceAddress(d.source));
    to.sin_port = htons(sourcePort(d.source));
    emit(std::move(f), [&](const std::vector<uint8_t>& reply) {
      ::sendto(udpFd, reply.data(), reply.size(), 0, reinterpret_cast<const sockaddr*>(&to), sizeof to);
    });
  }

  void udpLoop() {
    DatagramReassembler joiner(opt.maxPendingSources);
    std::vector<DatagramFrame> done;
    // One byte more than is kept, so that a longer datagram shows as cut.
    std::vector<uint8_t> buf(kFrameLimit + 1);
    while (!stopping) {
      pollfd pf{udpFd, POLLIN, 0};
      if (::poll(&pf, 1, kPollMs) > 0 && (pf.revents & POLLIN)) {
        sockaddr_in src{};
        socklen_t len = sizeof src;
        ssize_t n = ::recvfrom(udpFd, buf.data(), buf.size(), MSG_TRUNC, reinterpret_cast<sockaddr*>(&src), &len);
        if (n >= 0) {
          size_t kept = std::min(size_t(n), kFrameLimit);
          char addr[INET_ADDRSTRLEN] = {0};
          ::inet_ntop(AF_INET, &src.sin_addr, addr, sizeof addr);
          {
            std::lock_guard<std::mutex> lk(mu);
            datagrams.push(Datagram{std::vector<uint8_t>(buf.begin(), buf.begin() + long(kept)), addr,
                                    ntohs(src.sin_port)});
          }
          joiner.take(sourceKey(ntohl(src.sin_addr.s_addr), ntohs(src.sin_port)), buf.data(), kept, size_t(n),
                      nowMs(), done);
        }
      }
      joiner.expire(nowMs(), done);
      for (const DatagramFrame& d : done) completeDatagramFrame(d);
      done.clear();
    }
  }

  // ---- dialling in ------------------------------------------------------------
  // Keeps one connection to the login server at `to` from `source`: dials
  // when there is none, then looks again a second later.
  void dialLoop(const sockaddr_in& to, const std::string& source, const std::function<void(bool)>& onChange) {
    bool connected = false;
    bool toldDown = false;  // this stretch without a connection was reported
    while (!stopping) {
      if (streams.dialled() == 0) {
        if (connected) {
          connected = false;
          toldDown = true;
          if (onChange) onChange(false);
        }
        const int fd = dialFrom(to, source, [this] { return !stopping; });
        if (fd >= 0) {
          streams.addLogin(fd, true);
          connected = true;
          toldDown = false;
          if (onChange) onChange(true);
        } else if (!toldDown) {
          toldDown = true;
          if (onChange) onChange(false);
        }
      }
      if (!pause(kRedialMs)) return;
    }
  }

  // ---- the serial line ---------------------------------------------------------
  void serialLoop(int fd) {
    StreamSplitter splitter(true);
    std::vector<StreamPiece> pieces;
    auto send = [&](const std::vector<uint8_t>& reply) { writeAll(fd, reply, false); };
    auto emitPieces = [&]() {
      for (const StreamPiece& piece : pieces) {
        Frame f = decodeStreamPiece(piece, true);
        f.channel = "serial";
        emit(std::move(f), send);
      }
      pieces.clear();
    };
    std::vector<uint8_t> chunk(4096);
    while (!stopping) {
      pollfd pf{fd, POLLIN, 0};
      int r = ::poll(&pf, 1, kPollMs);
      if (r > 0 && (pf.revents & (POLLIN | POLLHUP | POLLERR))) {
        ssize_t n = ::read(fd, chunk.data(), chunk.size());
        if (n > 0) {
          {
            std::lock_guard<std::mutex> lk(mu);
            serialBytes.pushRange(chunk.begin(), chunk.begin() + n);
          }
          splitter.feed(chunk.data(), size_t(n), nowMs(), pieces);
          emitPieces();
          continue;
        }
        if (n < 0 && (errno == EINTR || errno == EAGAIN || errno == EWOULDBLOCK)) continue;
        pause(kPollMs);  // a line without a reader: wait for one
      }
      splitter.idle(nowMs(), pieces);
      emitPieces();
    }
    splitter.finish(pieces);
    emitPieces();
  }
};

Emulator::Emulator(Options o) : d_(new Impl(std::move(o))) {}

Emulator::~Emulator() { stop(); }

const Options& Emulator::options() const { return d_->opt; }

bool Emulator::start(std::string* error) {
  Impl& d = *d_;
  if (d.running) return true;
  int tcpFd = -1;
  auto failWith = [&](const std::string& what) {
    if (error) *error = what + ": " + std::strerror(errno);
    if (d.udpFd >= 0) ::close(d.udpFd);
    if (tcpFd >= 0) ::close(tcpFd);
    d.udpFd = tcpFd = -1;
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
    tcpFd = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    if (tcpFd < 0) return failWith("tcp socket");
    int one = 1;
    ::setsockopt(tcpFd, SOL_SOCKET, SO_REUSEADDR, &one, sizeof one);
    addr.sin_port = htons(uint16_t(d.opt.tcpPort));
    if (::bind(tcpFd, reinterpret_cast<sockaddr*>(&addr), sizeof addr) != 0)
      return failWith("bind tcp " + d.opt.address + ":" + std::to_string(d.opt.tcpPort));
    if (::listen(tcpFd, SOMAXCONN) != 0) return failWith("listen tcp");
    d.opt.tcpPort = boundPort(tcpFd);
  }
  d.running = true;
  if (d.udpFd >= 0) d.spawn([&d] { d.udpLoop(); });
  if (tcpFd >= 0) d.streams.listen(tcpFd);
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
  d.streams.stop();
  for (int* fd : {&d.udpFd, &d.ptyMaster, &d.ptySlave}) {
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
  d.spawn([&d, master] { d.serialLoop(master); });
  return d.ptyPath;
}

bool Emulator::connectLogin(const std::string& host, int port, bool answerGreeting, const std::string& source) {
  sockaddr_in to{};
  if (!resolveHost(host, port, to)) return false;
  int fd = dialFrom(to, source, [] { return true; });
  if (fd < 0) return false;
  d_->streams.addLogin(fd, answerGreeting);
  return true;
}

bool Emulator::keepDialling(const std::string& host, int port, const std::string& source, std::string* error,
                            std::function<void(bool connected)> onChange) {
  sockaddr_in to{};
  if (!resolveHost(host, port, to)) {
    if (error) *error = "no IPv4 address for the login server's host " + host;
    return false;
  }
  // A connection from an address that is not this machine's can never be
  // made: said once now rather than tried every second.
  sockaddr_in local{};
  local.sin_family = AF_INET;
  if (::inet_pton(AF_INET, source.c_str(), &local.sin_addr) != 1) {
    if (error) *error = "cannot dial in from " + source + ": not an IPv4 address";
    return false;
  }
  int probe = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
  const bool bindable = probe >= 0 && ::bind(probe, reinterpret_cast<sockaddr*>(&local), sizeof local) == 0;
  const int why = errno;
  if (probe >= 0) ::close(probe);
  if (!bindable) {
    if (error) *error = "cannot dial in from " + source + ": " + std::strerror(why);
    return false;
  }
  Impl& d = *d_;
  d.spawn([&d, to, source, onChange = std::move(onChange)] { d.dialLoop(to, source, onChange); });
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
  return d_->frames.items();
}

std::vector<Datagram> Emulator::datagrams() const {
  std::lock_guard<std::mutex> lk(d_->mu);
  return d_->datagrams.items();
}

std::vector<uint8_t> Emulator::serialBytes() const {
  std::lock_guard<std::mutex> lk(d_->mu);
  return d_->serialBytes.items();
}

std::vector<Frame> Emulator::greetings() const {
  std::lock_guard<std::mutex> lk(d_->mu);
  return d_->greetings.items();
}

size_t Emulator::framesSeen() const {
  std::lock_guard<std::mutex> lk(d_->mu);
  return d_->frames.seen();
}

size_t Emulator::streamConnections() const { return d_->streams.connections(); }

size_t Emulator::pendingAnswers() const { return d_->streams.pendingAnswers(); }

bool Emulator::waitForFrames(size_t n, int timeoutMs) const {
  std::unique_lock<std::mutex> lk(d_->mu);
  return d_->cv.wait_for(lk, std::chrono::milliseconds(timeoutMs), [&] { return d_->frames.seen() >= n; });
}

bool Emulator::waitForGreetings(size_t n, int timeoutMs) const {
  std::unique_lock<std::mutex> lk(d_->mu);
  return d_->cv.wait_for(lk, std::chrono::milliseconds(timeoutMs), [&] { return d_->greetings.seen() >= n; });
}

void Emulator::clear() {
  std::lock_guard<std::mutex> lk(d_->mu);
  d_->frames.clear();
  d_->greetings.clear();
  d_->datagrams.clear();
  d_->serialBytes.clear();
  if (d_->ptySlave >= 0) ::tcflush(d_->ptySlave, TCIFLUSH);
}

std::vector<Bitmap> receivedBitmaps(const Emulator& emu) { return collectBitmaps(emu.frames()); }

}  // namespace vexasim
