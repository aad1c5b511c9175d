// One thread polling every stream connection (StreamServer.h).
#include "StreamServer.h"

#include <fcntl.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <deque>

namespace vexasim {

namespace {

constexpr int kPollMs = 20;
// A failing accept (out of descriptors or buffers) is retried after this long
// instead of at once, so that the listener does not spin.
constexpr long kAcceptRetryMs = 100;
// Answers a peer may leave unread before it is disconnected.
constexpr size_t kMaxUnsent = 64 * 1024;
// What one connection may read in one round, so that a busy peer does not
// hold up the others.
constexpr size_t kReadPerRound = 64 * 1024;

long nowMs() {
  using namespace std::chrono;
  return long(duration_cast<milliseconds>(steady_clock::now().time_since_epoch()).count());
}

}  // namespace

struct StreamServer::Conn {
  int fd = -1;
  const char* channel = "tcp";
  bool dialled = false;           // a login connection the emulator opened
  bool awaitingGreeting = false;  // a login connection before its first frame
  bool answerGreeting = true;
  std::vector<uint8_t> greeting;  // bytes received before the greeting was complete
  StreamSplitter splitter{false};
  std::deque<StreamPiece> held;  // split off, handled once answers make room
  std::deque<std::pair<long, std::vector<uint8_t>>> due;  // answers and when to send them
  std::vector<uint8_t> out;                               // answer bytes not yet sent
  uint64_t lastActive = 0;  // order of the last exchange: higher is more recent
  bool ended = false;   // the peer closed its side: send what is due, then close
  bool broken = false;  // close now
};

StreamServer::StreamServer(FrameHandler onFrame, GreetingHandler onGreeting, size_t maxConnections)
    : onFrame_(std::move(onFrame)), onGreeting_(std::move(onGreeting)),
      maxConnections_(maxConnections ? maxConnections : 1) {}

StreamServer::~StreamServer() { stop(); }

size_t StreamServer::connections() const { return open_; }

size_t StreamServer::pendingAnswers() const { return pending_; }

size_t StreamServer::dialled() const { return dialled_; }

void StreamServer::ensureRunning() {
  if (!thread_.joinable()) thread_ = std::thread([this] { run(); });
}

void StreamServer::listen(int listenFd) {
  ::fcntl(listenFd, F_SETFL, ::fcntl(listenFd, F_GETFL) | O_NONBLOCK);  // accept until none is waiting
  std::lock_guard<std::mutex> lk(mu_);
  if (newListenFd_ >= 0) ::close(newListenFd_);
  newListenFd_ = listenFd;
  // The reserve is taken before the thread starts, so that it is there even
  // when every descriptor is gone before the thread's first round.
  if (!thread_.joinable()) refillReserve();
  ensureRunning();
}

void StreamServer::addLogin(int fd, bool answerGreeting) {
  auto c = std::make_unique<Conn>();
  c->fd = fd;
  c->channel = "login";
  c->dialled = true;
  c->awaitingGreeting = true;
  c->answerGreeting = answerGreeting;
  std::lock_guard<std::mutex> lk(mu_);
  incoming_.push_back(std::move(c));
  ++open_;
  ++dialled_;
  ensureRunning();
}

void StreamServer::stop() {
  std::thread t;
  {
    std::lock_guard<std::mutex> lk(mu_);
    stopping_ = true;
    t.swap(thread_);
  }
  if (t.joinable()) t.join();
  std::lock_guard<std::mutex> lk(mu_);
  for (auto& c : incoming_) ::close(c->fd);
  incoming_.clear();
  for (auto& c : conns_) ::close(c->fd);
  conns_.clear();
  for (int* fd : {&listenFd_, &newListenFd_, &reserveFd_}) {
    if (*fd >= 0) ::close(*fd);
    *fd = -1;
  }
  open_ = 0;
  dialled_ = 0;
  pending_ = 0;
  stopping_ = false;
}

// The descriptor held in reserve is taken again where one has just been
// freed or found: after a connection closed and after an accept.
void StreamServer::refillReserve() {
  if (reserveFd_ < 0) reserveFd_ = ::open("/dev/null", O_RDONLY | O_CLOEXEC);
}

// Closes the accepted connection quiet longest; connections the emulator
// dialled itself stay. False when there is none.
bool StreamServer::closeQuietest() {
  auto quietest = conns_.end();
  for (auto it = conns_.begin(); it != conns_.end(); ++it) {
    if ((*it)->dialled) continue;
    if (quietest == conns_.end() || (*it)->lastActive < (*quietest)->lastActive) quietest = it;
  }
  if (quietest == conns_.end()) return false;
  ::close((*quietest)->fd);
  conns_.erase(quietest);
  --open_;
  return true;
}

void StreamServer::acceptNew(long now) {
  for (int i = 0; i < 64; ++i) {
    int fd = ::accept4(listenFd_, nullptr, nullptr, SOCK_NONBLOCK | SOCK_CLOEXEC);
    if (fd < 0 && (errno == EMFILE || errno == ENFILE)) {
      // Out of descriptors (something else in the process took them): the
      // newcomer gets the reserve, else the place of the quietest connection.
      // Only the round's first accept knows that one is waiting (the
      // listener polled readable); accept fails so whether one waits or not.
      if (i > 0) return;
      if (reserveFd_ >= 0) {
        ::close(reserveFd_);
        reserveFd_ = -1;
      } else if (!closeQuietest()) {
        acceptPausedUntil_ = now + kAcceptRetryMs;
        return;
      }
      fd = ::accept4(listenFd_, nullptr, nullptr, SOCK_NONBLOCK | SOCK_CLOEXEC);
    }
    if (fd < 0) {
      if (errno == EMFILE || errno == ENFILE || errno == ENOBUFS || errno == ENOMEM)
        acceptPausedUntil_ = now + kAcceptRetryMs;
      return;  // EAGAIN: nothing more waiting; others (a peer gone already): next round
    }
    // At the limit the accepted connection quiet longest goes.
    size_t accepted = 0;
    for (const auto& c : conns_) accepted += c->dialled ? 0 : 1;
    if (accepted >= maxConnections_) closeQuietest();
    auto c = std::make_unique<Conn>();
    c->fd = fd;
    c->lastActive = ++activity_;
    conns_.push_back(std::move(c));
    ++open_;
    refillReserve();
  }
}

void StreamServer::flushOut(Conn& c) {
  size_t sent = 0;
  while (sent < c.out.size()) {
    ssize_t r = ::send(c.fd, c.out.data() + sent, c.out.size() - sent, MSG_NOSIGNAL);
    if (r > 0) {
      sent += size_t(r);
      continue;
    }
    if (r < 0 && errno == EINTR) continue;
    if (r < 0 && (errno == EAGAIN || errno == EWOULDBLOCK)) break;
    c.broken = true;  // reset by the peer
    break;
  }
  c.out.erase(c.out.begin(), c.out.begin() + long(sent));
  if (c.out.size() > kMaxUnsent) c.broken = true;  // the peer reads none of its answers
}

// Hands the frames split off so far to the emulator, as long as the
// connection has room for their answers; the rest wait in c.held.
void StreamServer::handle(Conn& c, long now) {
  while (!c.held.empty() && c.due.size() < kMaxPendingAnswers) {
    Frame f = decodeStreamPiece(c.held.front(), false);
    c.held.pop_front();
    f.channel = c.channel;
    StreamAnswer a = onFrame_(std::move(f));
    if (a.bytes.empty()) continue;
    // Answers leave in the order of their frames, the later never before the earlier.
    long when = now + std::max(0, a.delayMs);
    if (!c.due.empty()) when = std::max(when, c.due.back().first);
    c.due.emplace_back(when, std::move(a.bytes));
  }
}

// Reads what is waiting, until frames are held back; false when nothing
// could be read.
bool StreamServer::readFrom(Conn& c, long now) {
  uint8_t chunk[4096];
  std::vector<StreamPiece> pieces;
  size_t total = 0;
  while (total < kReadPerRound && c.held.empty()) {
    ssize_t n = ::recv(c.fd, chunk, sizeof chunk, 0);
    if (n < 0 && errno == EINTR) continue;
    if (n < 0 && (errno == EAGAIN || errno == EWOULDBLOCK)) break;
    if (n <= 0) {
      c.ended = true;  // closed by the peer, or failed
      break;
    }
    total += size_t(n);
    c.lastActive = ++activity_;
    const uint8_t* p = chunk;
    size_t left = size_t(n);
    while (c.awaitingGreeting && left) {
      c.greeting.insert(c.greeting.end(), p, p + left);
      left = 0;
      long len;
      while ((len = completeFrameLength(c.greeting.data(), c.greeting.size(), false)) < 0)
        c.greeting.erase(c.greeting.begin());  // bytes before the greeting's start
      if (len == 0) break;
      Frame g = decodeNetworkFrame(c.greeting.data(), size_t(len));
      g.channel = c.channel;
      std::vector<uint8_t> answer = onGreeting_(std::move(g), c.answerGreeting);
      c.out.insert(c.out.end(), answer.begin(), answer.end());
      c.awaitingGreeting = false;
      c.splitter.feed(c.greeting.data() + len, c.greeting.size() - size_t(len), now, pieces);
      c.greeting.clear();
    }
    if (left) c.splitter.feed(p, left, now, pieces);
    for (StreamPiece& piece : pieces) c.held.push_back(std::move(piece));
    pieces.clear();
    handle(c, now);
  }
  return total > 0;
}

void StreamServer::run() {
  std::vector<pollfd> fds;
  std::vector<StreamPiece> pieces;
  while (!stopping_) {
    {
      std::lock_guard<std::mutex> lk(mu_);
      if (newListenFd_ >= 0) {
        if (listenFd_ >= 0) ::close(listenFd_);
        listenFd_ = newListenFd_;
        newListenFd_ = -1;
        refillReserve();
      }
      for (auto& c : incoming_) {
        c->lastActive = ++activity_;
        conns_.push_back(std::move(c));
      }
      incoming_.clear();
    }
    long now = nowMs();
    int timeout = kPollMs;
    for (const auto& c : conns_)
      if (!c->due.empty()) timeout = int(std::clamp(c->due.front().first - now, 0L, long(timeout)));

    fds.clear();
    bool listening = listenFd_ >= 0 && now >= acceptPausedUntil_;
    if (listening) fds.push_back(pollfd{listenFd_, POLLIN, 0});
    const size_t first = fds.size();
    for (const auto& c : conns_) {
      // A connection whose peer has closed is polled only to send the rest.
      if (c->ended && c->out.empty())
        fds.push_back(pollfd{-1, 0, 0});
      else
        // One whose frames are held back is not read until its answers go.
      fds.push_back(pollfd{c->fd,
                           short((c->ended || !c->held.empty() ? 0 : POLLIN) | (c->out.empty() ? 0 : POLLOUT)),
                           0});
    }
    int ready = ::poll(fds.data(), fds.size(), timeout);
    now = nowMs();
    if (ready < 0 && errno != EINTR) ready = 0;

    const size_t polled = conns_.size();  // accepted below join the next round
    for (size_t i = 0; i < polled; ++i) {
      Conn& c = *conns_[i];
      short revents = ready > 0 ? fds[first + i].revents : 0;
      if (!c.ended && (revents & (POLLIN | POLLHUP | POLLERR))) {
        // A peer gone while its frames are held back can take no answer.
        if (!c.held.empty() && (revents & (POLLHUP | POLLERR))) c.broken = true;
        else readFrom(c, now);
      }
      if (c.broken) continue;
      if (!c.awaitingGreeting && c.held.empty()) {
        if (c.ended) c.splitter.finish(pieces);
        else c.splitter.idle(now, pieces);
        for (StreamPiece& piece : pieces) c.held.push_back(std::move(piece));
        pieces.clear();
      }
      handle(c, now);
      while (!c.due.empty() && c.due.front().first <= now) {
        c.out.insert(c.out.end(), c.due.front().second.begin(), c.due.front().second.end());
        c.due.pop_front();
        c.lastActive = ++activity_;
      }
      handle(c, now);  // the answers that went made room for held frames
      if (!c.out.empty()) flushOut(c);
      if (c.ended && c.held.empty() && c.due.empty() && c.out.empty()) c.broken = true;
    }
    if (listening && ready > 0 && (fds[0].revents & POLLIN)) acceptNew(now);

    size_t pending = 0;
    bool closed = false;
    for (auto it = conns_.begin(); it != conns_.end();) {
      if ((*it)->broken) {
        closed = true;
        ::close((*it)->fd);
        if ((*it)->dialled) --dialled_;
        it = conns_.erase(it);
        --open_;
      } else {
        pending += (*it)->due.size();
        ++it;
      }
    }
    pending_ = pending;
    if (closed) refillReserve();
  }
}

}  // namespace vexasim
