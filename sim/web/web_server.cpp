// The sign page's HTTP server, on cpp-httplib: the page's files, the state
// as JSON, the signs' pictures and a stream of Server-Sent Events.
//
// cpp-httplib parses each request and writes its response; how connections
// are taken, waited on and closed is this file's own, so that whatever the
// network does, what the server holds stays bounded (SignWebServer.h).
#include <httplib.h>

#include <arpa/inet.h>
#include <fcntl.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <chrono>
#include <condition_variable>
#include <cstdlib>
#include <cstring>
#include <deque>
#include <mutex>
#include <thread>

#include "SignWebServer.h"
#include "WebAssets.h"

namespace vexasim {

namespace {

// An event stream looks for news this often (and ends this soon after stop)...
constexpr int kStreamWaitMs = 250;
// ...and sends a comment after this long without news, so that a browser
// that went away is noticed.
constexpr int kStreamKeepAliveMs = 15000;

// Every wait looks at stop and at the pool's call for room this often.
constexpr long kSliceMs = 50;
// A request head arrives whole within this long and this size.
constexpr long kHeadMs = 5000;
constexpr size_t kHeadBytes = 16 * 1024;
// A connection waits this long for its next request, and serves this many.
constexpr long kIdleMs = 5000;
constexpr size_t kRequestsPerConnection = 100;
// A body read or a write may wait this long.
constexpr long kIoMs = 5000;
// The page sends no bodies: a larger one is refused before it is read.
constexpr size_t kMaxBody = 1024;
// After a refusal, what the client still sends is read and dropped, up to
// this much and this long, so that its answer is not lost to a reset.
constexpr size_t kDrainBytes = 64 * 1024;
constexpr long kDrainMs = 200;

long nowMs() {
  using namespace std::chrono;
  return long(duration_cast<milliseconds>(steady_clock::now().time_since_epoch()).count());
}

const char* typeOf(const std::string& path) {
  auto ends = [&](const char* ext) {
    const size_t n = std::strlen(ext);
    return path.size() >= n && path.compare(path.size() - n, n, ext) == 0;
  };
  if (ends(".html")) return "text/html; charset=utf-8";
  if (ends(".js")) return "text/javascript; charset=utf-8";
  if (ends(".css")) return "text/css; charset=utf-8";
  return "application/octet-stream";
}

struct Stream {
  bool started = false;
  uint64_t version = 0;
  uint64_t logSeq = 0;
  int quietMs = 0;
};

// The threads that serve connections, one connection each, and a line of
// as many connections waiting for a thread. A connection in a thread gives
// way to one in line while it waits for a request head (idle between
// requests, or slow to send one); one that is being served, an event stream
// above all, does not.
class ConnectionPool : public httplib::TaskQueue {
 public:
  struct Slot {
    int fd = -1;             // the connection served, -1 when none
    bool evict = false;      // asked to give way (its socket is shut down)
    long waitingSince = -1;  // waiting for a request head since; -1 while served
  };

  explicit ConnectionPool(size_t threads) {
    for (size_t i = 0; i < threads; ++i) slots_.push_back(std::make_unique<Slot>());
    for (size_t i = 0; i < threads; ++i) threads_.emplace_back([this, i] { work(*slots_[i]); });
  }
  ~ConnectionPool() override { shutdown(); }

  // Called by the server's accepting thread with a job that serves one
  // connection: it joins the line, and connections waiting for a request
  // head give way as needed. With the line full, the job runs at once on
  // this thread as a refusal.
  void enqueue(std::function<void()> fn) override {
    std::unique_lock<std::mutex> lk(mu_);
    if (stopping_ || jobs_.size() >= slots_.size()) {
      lk.unlock();
      refusing() = true;
      fn();
      refusing() = false;
      return;
    }
    jobs_.push_back(std::move(fn));
    makeRoom();
    lk.unlock();
    cv_.notify_one();
  }

  void shutdown() override {
    {
      std::lock_guard<std::mutex> lk(mu_);
      stopping_ = true;
    }
    cv_.notify_all();
    for (auto& t : threads_)
      if (t.joinable()) t.join();
  }

  // The pool and slot of the connection this thread serves (null on other
  // threads), and whether this thread runs a job as a refusal.
  static ConnectionPool*& current() {
    static thread_local ConnectionPool* pool = nullptr;
    return pool;
  }
  static Slot*& currentSlot() {
    static thread_local Slot* slot = nullptr;
    return slot;
  }
  static bool& refusing() {
    static thread_local bool refuse = false;
    return refuse;
  }

  bool evicted(const Slot& s) {
    std::lock_guard<std::mutex> lk(mu_);
    return s.evict;
  }
  // The slot serves connection fd, waiting for its first request head (so
  // it may give way at once) / is done with it (before it is closed).
  void attach(Slot& s, int fd) {
    std::lock_guard<std::mutex> lk(mu_);
    s.fd = fd;
    makeRoom();
  }
  void detach(Slot& s) {
    std::lock_guard<std::mutex> lk(mu_);
    s.fd = -1;
  }
  // The connection waits for its next request head; it gives way at once
  // when connections in line need its thread.
  void waiting(Slot& s) {
    std::lock_guard<std::mutex> lk(mu_);
    s.waitingSince = nowMs();
    makeRoom();
  }
  // A whole head has arrived: the connection is served and no longer
  // evictable. False when it was asked to close in the meantime.
  bool serving(Slot& s) {
    std::lock_guard<std::mutex> lk(mu_);
    if (s.evict) return false;
    s.waitingSince = -1;
    return true;
  }

 private:
  // Asks connections waiting for a request head, the longest waiting
  // first, to give way until every connection in line has a thread coming.
  void makeRoom() {
    size_t coming = slots_.size() - busy_ + evicting_;
    while (jobs_.size() > coming) {
      Slot* oldest = nullptr;
      for (auto& s : slots_)
        if (s->fd >= 0 && !s->evict && s->waitingSince >= 0 && (!oldest || s->waitingSince < oldest->waitingSince))
          oldest = s.get();
      if (!oldest) return;
      oldest->evict = true;
      ++evicting_;
      ++coming;
      ::shutdown(oldest->fd, SHUT_RDWR);  // wakes its thread's wait at once
    }
  }

  void work(Slot& slot) {
    current() = this;
    currentSlot() = &slot;
    for (;;) {
      std::function<void()> fn;
      {
        std::unique_lock<std::mutex> lk(mu_);
        cv_.wait(lk, [&] { return stopping_ || !jobs_.empty(); });
        if (jobs_.empty()) return;  // stopping, and every connection taken was served
        fn = std::move(jobs_.front());
        jobs_.pop_front();
        ++busy_;
        slot = Slot{};
        slot.waitingSince = nowMs();
      }
      fn();
      std::lock_guard<std::mutex> lk(mu_);
      --busy_;
      if (slot.evict) --evicting_;
      slot = Slot{};
    }
  }

  std::mutex mu_;
  std::condition_variable cv_;
  std::vector<std::unique_ptr<Slot>> slots_;
  std::vector<std::thread> threads_;
  std::deque<std::function<void()>> jobs_;
  size_t busy_ = 0;
  size_t evicting_ = 0;  // slots asked to give way and not yet free
  bool stopping_ = false;
};

// One connection's socket (non-blocking) as cpp-httplib reads and writes
// it. Every wait is bounded and ends early when the server stops or the
// pool wants the connection closed; a request head is bounded in time and
// size.
class SocketStream : public httplib::Stream {
 public:
  SocketStream(int fd, const std::atomic<bool>& stopping)
      : fd_(fd), stopping_(stopping), pool_(ConnectionPool::current()), slot_(ConnectionPool::currentSlot()) {}

  // A request head starts / has ended.
  void startHead() {
    inHead_ = true;
    headBytes_ = 0;
    headDeadline_ = nowMs() + kHeadMs;
  }
  void endHead() { inHead_ = false; }
  bool inHead() const { return inHead_; }
  bool buffered() const { return begin_ < end_; }

  // Waits until fd is ready for events (or hung up), at most until `until`;
  // false on time-out, stop or eviction.
  bool waitFor(short events, long until) const {
    for (;;) {
      if (stopping_ || (pool_ && slot_ && pool_->evicted(*slot_))) return false;
      const long left = until - nowMs();
      if (left <= 0) return false;
      pollfd pf{fd_, events, 0};
      const int r = ::poll(&pf, 1, int(std::min(left, kSliceMs)));
      if (r > 0) return true;
      if (r < 0 && errno != EINTR) return false;
    }
  }

  bool is_readable() const override { return buffered() || waitFor(POLLIN, nowMs() + kIoMs); }

  // Asked before each piece of an event stream: false once the client has
  // gone (it sends nothing after its request) or reads nothing for kIoMs.
  bool is_writable() const override {
    if (!waitFor(POLLOUT, nowMs() + kIoMs)) return false;
    pollfd pf{fd_, POLLRDHUP, 0};
    return ::poll(&pf, 1, 0) == 0;
  }

  ssize_t read(char* ptr, size_t size) override {
    if (!buffered()) {
      size_t room = sizeof buf_;
      if (inHead_) {
        if (headBytes_ >= kHeadBytes) return -1;
        room = std::min(room, kHeadBytes - headBytes_);
      }
      const long until = inHead_ ? headDeadline_ : nowMs() + kIoMs;
      for (;;) {
        const ssize_t n = ::recv(fd_, buf_, room, 0);
        if (n > 0) {
          begin_ = 0;
          end_ = size_t(n);
          if (inHead_) headBytes_ += size_t(n);
          break;
        }
        if (n == 0) return 0;
        if (errno == EINTR) continue;
        if ((errno != EAGAIN && errno != EWOULDBLOCK) || !waitFor(POLLIN, until)) return -1;
      }
    }
    const size_t n = std::min(size, end_ - begin_);
    std::memcpy(ptr, buf_ + begin_, n);
    begin_ += n;
    return ssize_t(n);
  }

  ssize_t write(const char* ptr, size_t size) override {
    const long until = nowMs() + kIoMs;
    size_t done = 0;
    while (done < size) {
      const ssize_t n = ::send(fd_, ptr + done, size - done, MSG_NOSIGNAL);
      if (n > 0) {
        done += size_t(n);
        continue;
      }
      if (n < 0 && errno == EINTR) continue;
      if (n < 0 && (errno == EAGAIN || errno == EWOULDBLOCK) && waitFor(POLLOUT, until)) continue;
      return -1;
    }
    return ssize_t(size);
  }

  // Reads and drops n body bytes; false when they do not come.
  bool skip(size_t n) {
    char sink[512];
    while (n > 0) {
      const ssize_t got = read(sink, std::min(n, sizeof sink));
      if (got <= 0) return false;
      n -= size_t(got);
    }
    return true;
  }

  void get_remote_ip_and_port(std::string& ip, int& port) const override { nameOf(::getpeername, ip, port); }
  void get_local_ip_and_port(std::string& ip, int& port) const override { nameOf(::getsockname, ip, port); }
  socket_t socket() const override { return fd_; }

 private:
  template <typename Get>
  void nameOf(Get get, std::string& ip, int& port) const {
    sockaddr_storage a{};
    socklen_t len = sizeof a;
    ip.clear();
    port = 0;
    if (get(fd_, reinterpret_cast<sockaddr*>(&a), &len) != 0 || a.ss_family != AF_INET) return;
    const auto& in = reinterpret_cast<const sockaddr_in&>(a);
    char text[INET_ADDRSTRLEN] = {0};
    ::inet_ntop(AF_INET, &in.sin_addr, text, sizeof text);
    ip = text;
    port = ntohs(in.sin_port);
  }

  int fd_;
  const std::atomic<bool>& stopping_;
  ConnectionPool* pool_;
  ConnectionPool::Slot* slot_;
  char buf_[4096];
  size_t begin_ = 0, end_ = 0;
  bool inHead_ = false;
  size_t headBytes_ = 0;
  long headDeadline_ = 0;
};

// What the connection served on this thread decided.
struct Connection {
  SocketStream* stream = nullptr;
  bool closeAfter = false;  // a refusal was answered: close, take no further request
  static Connection*& current() {
    static thread_local Connection* c = nullptr;
    return c;
  }
};

// Answers a connection there is no room for with 503 and closes it, without
// waiting for anything.
void refuseAtOnce(int fd) {
  static const std::string kBody = "too many connections\n";
  static const std::string kAnswer = "HTTP/1.1 503 Service Unavailable\r\nContent-Type: text/plain\r\nContent-Length: " +
                                     std::to_string(kBody.size()) +
                                     "\r\nRetry-After: 1\r\nConnection: close\r\n\r\n" + kBody;
  char sink[4096];
  for (int i = 0; i < 4 && ::recv(fd, sink, sizeof sink, MSG_DONTWAIT) > 0; ++i) {
  }
  ::send(fd, kAnswer.data(), kAnswer.size(), MSG_NOSIGNAL | MSG_DONTWAIT);
  ::shutdown(fd, SHUT_WR);
  ::close(fd);
}

// After a refusal: ends the sending side, reads and drops what the client
// still sends (bounded), then closes.
void drainAndClose(int fd) {
  ::shutdown(fd, SHUT_WR);
  const long until = nowMs() + kDrainMs;
  size_t dropped = 0;
  char sink[4096];
  while (dropped < kDrainBytes) {
    const ssize_t n = ::recv(fd, sink, sizeof sink, 0);
    if (n > 0) {
      dropped += size_t(n);
      continue;
    }
    if (n == 0) break;
    if (errno == EINTR) continue;
    const long left = until - nowMs();
    if ((errno != EAGAIN && errno != EWOULDBLOCK) || left <= 0) break;
    pollfd pf{fd, POLLIN, 0};
    if (::poll(&pf, 1, int(std::min(left, kSliceMs))) < 0 && errno != EINTR) break;
  }
  ::close(fd);
}

// cpp-httplib's server with its connections served by serveConnection.
class PageHttpServer : public httplib::Server {
 public:
  std::function<void(int)> serveConnection;
  // One request on the stream: read, routed, answered. False when the
  // connection cannot go on.
  bool handleRequest(httplib::Stream& s, bool last, bool& closed) { return process_request(s, last, closed, nullptr); }
  // The listening socket takes as many waiting connections as the system
  // allows (cpp-httplib asks for 5), so that a burst of clients does not
  // leave a newcomer's connection request unanswered for seconds.
  void widenBacklog() { ::listen(svr_sock_, SOMAXCONN); }

 private:
  bool process_and_close_socket(socket_t sock) override {
    serveConnection(sock);
    return true;
  }
};

}  // namespace

SignWebServer::Limits SignWebServer::limitsFor(size_t descriptors) {
  Limits l;
  l.connections = std::clamp<size_t>(descriptors / 16, 4, 48);
  l.streams = std::clamp<size_t>(l.connections / 3, 1, 16);
  return l;
}

struct SignWebServer::Impl {
  const SignService& signs;
  const Limits limits;
  PageHttpServer server;
  std::thread thread;
  std::atomic<bool> stopping{false};
  std::atomic<bool> listenEnded{false};  // the accepting thread is done
  std::atomic<size_t> streams{0};
  int port = 0;
  bool running = false;

  Impl(const SignService& s, Limits l) : signs(s), limits(l) {
    server.new_task_queue = [this] { return new ConnectionPool(limits.connections); };
    server.serveConnection = [this](int fd) { serve(fd); };
    server.set_tcp_nodelay(true);  // events are small; send them at once
    server.set_payload_max_length(kMaxBody);
    server.set_keep_alive_timeout(kIdleMs / 1000);
    server.set_keep_alive_max_count(kRequestsPerConnection);
    // Before anything of a body is read: the method and the announced size.
    server.set_expect_100_continue_handler([](const httplib::Request& req, httplib::Response& res) {
      const int status = admit(req, res);
      return status == 200 ? 100 : status;
    });
    server.set_pre_routing_handler([](const httplib::Request& req, httplib::Response& res) {
      Connection* c = Connection::current();
      ConnectionPool* pool = ConnectionPool::current();
      if (c) c->stream->endHead();
      if (pool && ConnectionPool::currentSlot() && !pool->serving(*ConnectionPool::currentSlot())) {
        refuse(res, 503, "closing to make room\n");
        return httplib::Server::HandlerResponse::Handled;
      }
      if (admit(req, res) != 200) return httplib::Server::HandlerResponse::Handled;
      // A small body on a GET is read and dropped, so that it is not taken
      // for the next request.
      const size_t length = size_t(std::strtoull(req.get_header_value("Content-Length").c_str(), nullptr, 10));
      if (length > 0 && c && !c->stream->skip(length)) {
        refuse(res, 400, "body not received\n");
        return httplib::Server::HandlerResponse::Handled;
      }
      return httplib::Server::HandlerResponse::Unhandled;
    });

    for (size_t i = 0; i < kWebAssetCount; ++i) {
      const WebAsset& a = kWebAssets[i];
      auto handler = [&a](const httplib::Request&, httplib::Response& res) {
        res.set_content(reinterpret_cast<const char*>(a.data), a.size, typeOf(a.path));
        res.set_header("Cache-Control", "no-cache");
      };
      server.Get(a.path, handler);
      if (std::strcmp(a.path, "/index.html") == 0) server.Get("/", handler);
    }
    server.Get("/state", [this](const httplib::Request&, httplib::Response& res) {
      res.set_content(signs.stateJson(), "application/json");
      res.set_header("Cache-Control", "no-store");
    });
    server.Get(R"(/sign/([A-Za-z0-9._-]+))", [this](const httplib::Request& req, httplib::Response& res) {
      std::string png;
      if (!signs.png(req.matches[1], &png)) {
        res.status = 404;
        res.set_content("no such sign\n", "text/plain");
        return;
      }
      res.set_content(png, "image/png");
      res.set_header("Cache-Control", "no-store");
    });
    server.Get("/events", [this](const httplib::Request&, httplib::Response& res) { events(res); });
  }

  // Answers with a refusal and closes the connection after it.
  static void refuse(httplib::Response& res, int status, const char* why) {
    res.status = status;
    res.set_content(why, "text/plain");
    res.set_header("Connection", "close");
    if (status == 405) res.set_header("Allow", "GET, HEAD");
    if (Connection* c = Connection::current()) c->closeAfter = true;
  }

  // 200 for a request the page may make; else the refusal, answered in res.
  static int admit(const httplib::Request& req, httplib::Response& res) {
    if (req.method != "GET" && req.method != "HEAD") {
      refuse(res, 405, "the sign page takes GET and HEAD only\n");
      return 405;
    }
    const std::string length = req.get_header_value("Content-Length");
    const bool digits = length.find_first_not_of("0123456789") == std::string::npos;
    if (req.has_header("Transfer-Encoding") || !digits || length.size() > 9 ||
        std::strtoul(length.c_str(), nullptr, 10) > kMaxBody) {
      refuse(res, 413, "the sign page takes no request body\n");
      return 413;
    }
    return 200;
  }

  // Serves one connection's requests, on a thread of the pool (or, as a
  // refusal, on the accepting thread).
  void serve(int fd) {
    if (ConnectionPool::refusing() || stopping) {
      refuseAtOnce(fd);
      return;
    }
    ::fcntl(fd, F_SETFL, ::fcntl(fd, F_GETFL) | O_NONBLOCK);
    SocketStream stream(fd, stopping);
    Connection conn;
    conn.stream = &stream;
    Connection::current() = &conn;
    ConnectionPool* pool = ConnectionPool::current();
    ConnectionPool::Slot* slot = ConnectionPool::currentSlot();
    if (pool && slot) pool->attach(*slot, fd);
    for (size_t n = 0; n < kRequestsPerConnection && !stopping; ++n) {
      if (!stream.buffered() && !stream.waitFor(POLLIN, nowMs() + (n == 0 ? kHeadMs : kIdleMs))) break;
      stream.startHead();
      bool closed = false;
      const bool ok = server.handleRequest(stream, n + 1 == kRequestsPerConnection, closed);
      if (pool && slot) pool->waiting(*slot);
      // A head that never reached routing was refused as malformed or too
      // large: what follows it is no request either.
      if (!ok || closed || conn.closeAfter || stream.inHead()) break;
    }
    Connection::current() = nullptr;
    if (pool && slot) pool->detach(*slot);
    if (conn.closeAfter) {
      drainAndClose(fd);
    } else {
      ::shutdown(fd, SHUT_RDWR);
      ::close(fd);
    }
  }

  void events(httplib::Response& res) {
    if (++streams > limits.streams) {
      --streams;
      refuse(res, 503, "too many event streams\n");
      return;
    }
    auto st = std::make_shared<Stream>();
    res.set_header("Cache-Control", "no-cache");
    res.set_chunked_content_provider(
        "text/event-stream",
        [this, st](size_t, httplib::DataSink& sink) {
          if (stopping) return false;
          std::string out;
          uint64_t v = st->version;
          if (!st->started) {
            st->started = true;
            out = "retry: 1000\n\n";
            v = signs.version();
          } else {
            v = signs.waitForChange(st->version, kStreamWaitMs);
            if (stopping) return false;
          }
          if (v != st->version || out.size()) {
            st->version = v;
            st->quietMs = 0;
            out += "event: state\ndata: " + signs.stateJson() + "\n\n";
            for (const std::string& line : signs.logSince(st->logSeq, &st->logSeq))
              out += "event: frame\ndata: " + line + "\n\n";
          } else if ((st->quietMs += kStreamWaitMs) >= kStreamKeepAliveMs) {
            st->quietMs = 0;
            out = ": still here\n\n";
          }
          return out.empty() || sink.write(out.data(), out.size());
        },
        [this](bool) { --streams; });
  }
};

SignWebServer::SignWebServer(const SignService& signs) : d_(new Impl(signs, Limits{})) {}

SignWebServer::SignWebServer(const SignService& signs, Limits limits) : d_(new Impl(signs, limits)) {}

SignWebServer::~SignWebServer() { stop(); }

bool SignWebServer::start(const std::string& host, int port, std::string* error) {
  Impl& d = *d_;
  if (d.running) return true;
  d.port = port == 0 ? d.server.bind_to_any_port(host) : (d.server.bind_to_port(host, port) ? port : -1);
  if (d.port <= 0) {
    if (error) *error = "cannot listen for the sign page on " + host + ":" + std::to_string(port);
    return false;
  }
  d.server.widenBacklog();
  d.stopping = false;
  d.running = true;
  d.listenEnded = false;
  d.thread = std::thread([&d] {
    d.server.listen_after_bind();
    d.listenEnded = true;
  });
  // stop() only reaches a server that is running: wait until it is (or has
  // already given up), however long a loaded machine takes to start it.
  while (!d.server.is_running() && !d.listenEnded) std::this_thread::sleep_for(std::chrono::milliseconds(1));
  return true;
}

int SignWebServer::port() const { return d_->port; }

const SignWebServer::Limits& SignWebServer::limits() const { return d_->limits; }

void SignWebServer::stop() {
  Impl& d = *d_;
  if (!d.running) return;
  d.stopping = true;
  d.server.stop();
  d.thread.join();
  d.running = false;
}

bool SignWebServer::parseAddress(const std::string& text, std::string& host, int& port) {
  const size_t colon = text.rfind(':');
  host = colon == std::string::npos ? "127.0.0.1" : text.substr(0, colon);
  const std::string digits = colon == std::string::npos ? text : text.substr(colon + 1);
  if (host.empty() || digits.empty() || digits.size() > 5) return false;
  for (char c : digits)
    if (c < '0' || c > '9') return false;
  port = std::atoi(digits.c_str());
  return port <= 65535;
}

}  // namespace vexasim
