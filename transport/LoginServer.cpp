// The controller login server.
//
// Controllers set up to dial in open a TCP connection to the application's
// port. Each new controller is greeted with the host's clock (command 0x62),
// given a bounded time to answer, and recorded in globalMember.socketClients,
// where the network sender finds it by address in login-link mode (mode 3).
//
// One thread serves every connection at once with poll: the listener, the
// connections greeted and waiting for their answer, and the recorded
// connections, watched for hang-ups. So a controller that never answers
// delays no other, and a connection that hangs up, or is replaced by a newer
// one from the same address, leaves the list and is closed by its last user.
#include "transport/LoginServer.h"

#include <arpa/inet.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/resource.h>
#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <chrono>
#include <cstdint>
#include <iterator>
#include <map>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "core/CBuffObj.h"
#include "core/Commands.h"
#include "core/Protocol.h"
#include "core/Trace.h"
#include "model/GlobalMember.h"

namespace {

using Clock = std::chrono::steady_clock;
using Handle = std::shared_ptr<SocketHandle>;

// A hall's controllers reconnecting together after a power cut must not be
// turned away by the kernel's accept queue: as long a queue as the system
// allows (the kernel caps it at net.core.somaxconn). A connection the queue
// has no room for may look connected to its controller and yet never reach
// the server.
constexpr int kBacklog = SOMAXCONN;
constexpr int kAnswerSize = 1024;
// The pause between two greetings to the same address: a controller that
// dials again and again is greeted at most this often.
constexpr auto kGreetingPause = std::chrono::milliseconds(50);
// Connections from one address awaiting their greeting or its answer; more
// are closed at once, so that one host cannot crowd out the hall.
constexpr size_t kPendingPerAddress = 4;
// Out of descriptors or buffers: accept again only after this pause, so that
// the server does not spin while the application frees resources.
constexpr auto kAcceptRetryPause = std::chrono::milliseconds(250);
// The longest the server sleeps, so that connections the list gave up are
// released soon even when nothing happens.
constexpr int kWatchMs = 200;

// A connection awaiting its greeting (until `greetAt`) and then its
// controller's answer (until `deadline`).
struct Pending {
  Handle handle;
  std::string peer;
  bool greeted = false;
  Clock::time_point greetAt;
  Clock::time_point deadline;
};

void SendGreeting(int fd) {
  CBuffObj obj;
  const CBuffObj::tagBufferInfo frame =
      obj.CompletePacketBuffer(obj.LoginCheckTimeBuffer(), commands::kGreeting.networkCode,
                               commands::kGreeting.subCode);
  if (!IsValid(frame) || frame.nBufferLen == 0) return;
  // MSG_NOSIGNAL: a controller that has already hung up must not kill the
  // application with SIGPIPE. A failed send is not an error here.
  (void)send(fd, frame.chArrBuffer, static_cast<size_t>(frame.nBufferLen),
             MSG_NOSIGNAL | MSG_DONTWAIT);
}

// Commands need descriptors of their own: the login server keeps at least a
// quarter of the process's descriptor limit free for them. Descriptors are
// handed out lowest first, so a connection whose descriptor lies in the top
// quarter of the limit means fewer than a quarter are left.
bool InReservedQuarter(int fd) {
  rlimit limit{};
  if (getrlimit(RLIMIT_NOFILE, &limit) != 0 || limit.rlim_cur == RLIM_INFINITY) return false;
  const rlim_t reserved = limit.rlim_cur / 4;
  return static_cast<rlim_t>(fd) >= limit.rlim_cur - reserved;
}

// Runs `use` on the model unless the process has destroyed it (it is
// ending); false when it is gone.
template <class Use>
bool WithModel(Use use) {
  std::lock_guard<std::mutex> life(ModelLifeLock());
  if (ModelGone()) return false;
  use();
  return true;
}

// Records the controller at the end of the list. An earlier record of the
// same address belongs to an earlier connection of that controller: it
// leaves the list, and its connection closes once no send uses it any more.
bool Record(const Pending& p) {
  GlobalMember::tagSocketClient client;
  client.nSocket = p.handle->fd();
  client.strIp = p.peer;
  client.bLogin = true;
  client.handle = p.handle;
  Handle replaced;  // released after the locks, closing outside them
  return WithModel([&] {
    std::lock_guard<std::mutex> lock(globalMember.clientLock);
    auto& clients = globalMember.socketClients;
    auto old =
        std::find_if(clients.begin(), clients.end(),
                     [&](const GlobalMember::tagSocketClient& c) { return c.strIp == p.peer; });
    if (old != clients.end()) {
      replaced = std::move(old->handle);
      clients.erase(old);
    }
    clients.push_back(std::move(client));
  });
}

// Removes the record that holds this connection, if it is still listed.
bool Forget(const Handle& handle) {
  Handle released;
  return WithModel([&] {
    std::lock_guard<std::mutex> lock(globalMember.clientLock);
    auto& clients = globalMember.socketClients;
    auto it =
        std::find_if(clients.begin(), clients.end(),
                     [&](const GlobalMember::tagSocketClient& c) { return c.handle == handle; });
    if (it == clients.end()) return;
    released = std::move(it->handle);
    clients.erase(it);
  });
}

// The connections of the list, to watch for hang-ups.
bool ListedConnections(std::vector<Handle>* handles) {
  return WithModel([&] {
    std::lock_guard<std::mutex> lock(globalMember.clientLock);
    handles->reserve(globalMember.socketClients.size());
    for (const auto& c : globalMember.socketClients) {
      if (c.handle) handles->push_back(c.handle);
    }
  });
}

bool OutOfResources(int error) {
  return error == EMFILE || error == ENFILE || error == ENOBUFS || error == ENOMEM;
}

int MsUntil(Clock::time_point t) {
  const auto ms = std::chrono::duration_cast<std::chrono::milliseconds>(t - Clock::now()).count();
  return ms < 0 ? 0 : static_cast<int>(std::min<long long>(ms, kWatchMs));
}

// Login servers listening in this process.
std::atomic<int> serversRunning{0};

constexpr short kHangUp = POLLRDHUP | POLLHUP | POLLERR | POLLNVAL;

class Server {
 public:
  explicit Server(int listener) : listener_(listener) {}

  // Serves until the process ends (the model is gone).
  void Run() {
    for (;;) {
      std::vector<Handle> listed;
      if (!ListedConnections(&listed)) return;
      const bool accepting = Clock::now() >= acceptAfter_;
      std::vector<pollfd> fds;
      fds.reserve(1 + pending_.size() + listed.size());
      fds.push_back({listener_, static_cast<short>(accepting ? POLLIN : 0), 0});
      // A connection not yet greeted is watched for its hang-up only.
      for (const Pending& p : pending_) {
        fds.push_back({p.handle->fd(), static_cast<short>(p.greeted ? POLLIN | POLLRDHUP : POLLRDHUP), 0});
      }
      // Only hang-ups are watched here: the replies on a recorded connection
      // belong to the sends that await them.
      for (const Handle& h : listed) fds.push_back({h->fd(), POLLRDHUP, 0});

      const int ready = poll(fds.data(), fds.size(), Timeout(accepting));
      if (ready < 0 && errno != EINTR) std::this_thread::sleep_for(kAcceptRetryPause);
      if (ready > 0) {
        for (size_t i = 0; i < listed.size(); ++i) {
          if ((fds[1 + pending_.size() + i].revents & kHangUp) && !Forget(listed[i])) return;
        }
        if (!ServePending(fds)) return;
      }
      if (!RecordOverdue()) return;
      GreetDue();
      if (ready > 0 && (fds[0].revents & POLLIN)) AcceptAll();
    }
  }

 private:
  // Until the next thing to do: the end of a pause in accepting, the next
  // greeting due, the earliest answer deadline, or the watch interval.
  int Timeout(bool accepting) const {
    int ms = accepting ? kWatchMs : MsUntil(acceptAfter_);
    for (const Pending& p : pending_) ms = std::min(ms, MsUntil(p.greeted ? p.deadline : p.greetAt));
    return ms;
  }

  // Answers and hang-ups of the pending connections. An answer (not
  // examined) records the controller; a connection that closes or fails
  // before it answered is dropped.
  bool ServePending(const std::vector<pollfd>& fds) {
    std::vector<Pending> waiting;
    waiting.reserve(pending_.size());
    for (size_t i = 0; i < pending_.size(); ++i) {
      const short events = fds[1 + i].revents;
      if (events & POLLIN) {
        char answer[kAnswerSize];
        ssize_t n;
        do {
          n = recv(pending_[i].handle->fd(), answer, sizeof answer, MSG_DONTWAIT);
        } while (n < 0 && errno == EINTR);
        if (n > 0) {
          if (!Record(pending_[i])) return false;
          continue;
        }
        if (n < 0 && (errno == EAGAIN || errno == EWOULDBLOCK)) {
          waiting.push_back(std::move(pending_[i]));
          continue;
        }
        continue;  // closed or failed: the connection is dropped
      }
      if (events & kHangUp) continue;
      waiting.push_back(std::move(pending_[i]));
    }
    pending_.swap(waiting);
    return true;
  }

  // A controller that had its time to answer is recorded all the same.
  bool RecordOverdue() {
    const Clock::time_point now = Clock::now();
    auto overdue = std::stable_partition(pending_.begin(), pending_.end(), [&](const Pending& p) {
      return !p.greeted || p.deadline > now;
    });
    for (auto it = overdue; it != pending_.end(); ++it) {
      if (!Record(*it)) return false;
    }
    pending_.erase(overdue, pending_.end());
    return true;
  }

  // Greets the connections whose turn has come.
  void GreetDue() {
    const Clock::time_point now = Clock::now();
    for (Pending& p : pending_) {
      if (p.greeted || p.greetAt > now) continue;
      SendGreeting(p.handle->fd());
      p.greeted = true;
      p.deadline = now + std::chrono::milliseconds(protocol::kLoginAnswerWaitMs);
    }
    // Addresses greeted longer ago than the pause need no memory of it.
    for (auto it = lastGreeting_.begin(); it != lastGreeting_.end();) {
      it = it->second + kGreetingPause <= now ? lastGreeting_.erase(it) : std::next(it);
    }
  }

  // Takes every connection that is waiting.
  void AcceptAll() {
    for (;;) {
      sockaddr_in peer{};
      socklen_t peerLength = sizeof peer;
      const int fd = accept4(listener_, reinterpret_cast<sockaddr*>(&peer), &peerLength,
                             SOCK_CLOEXEC);
      if (fd < 0) {
        if (errno == EINTR || errno == ECONNABORTED) continue;
        if (OutOfResources(errno)) acceptAfter_ = Clock::now() + kAcceptRetryPause;
        return;
      }
      char text[INET_ADDRSTRLEN] = {};
      if (inet_ntop(AF_INET, &peer.sin_addr, text, sizeof text) == nullptr) text[0] = '\0';
      Admit(fd, text);
    }
  }

  // Keeps a new connection as pending, unless it would take descriptors
  // that commands need or its address already has its share waiting.
  void Admit(int fd, const std::string& peer) {
    Handle handle;
    if (InReservedQuarter(fd)) {
      // The oldest connection still awaiting its greeting or its answer
      // makes room: the newcomer takes over its descriptor, so the
      // server's share does not grow. With none, the newcomer is turned
      // away.
      if (pending_.empty()) {
        close(fd);
        trace::Event("login server: closed the dial-in from " + peer +
                     " at once: a quarter of the descriptor limit is kept for commands");
        return;
      }
      trace::Event("login server: closed the oldest silent dial-in, from " + pending_.front().peer +
                   ", to make room for " + peer +
                   ": a quarter of the descriptor limit is kept for commands");
      handle = std::move(pending_.front().handle);
      pending_.erase(pending_.begin());
      const bool moved = dup2(fd, handle->fd()) >= 0;
      close(fd);
      if (!moved) return;  // the handle closes the oldest one
    }
    const size_t fromPeer = static_cast<size_t>(std::count_if(
        pending_.begin(), pending_.end(), [&](const Pending& p) { return p.peer == peer; }));
    if (fromPeer >= kPendingPerAddress) {
      if (!handle) close(fd);
      trace::Event("login server: closed the dial-in from " + peer + " at once: " +
                   std::to_string(fromPeer) + " of its connections are already waiting");
      return;
    }
    Pending p;
    try {
      p.handle = handle ? std::move(handle) : std::make_shared<SocketHandle>(fd);
    } catch (...) {
      close(fd);
      acceptAfter_ = Clock::now() + kAcceptRetryPause;
      return;
    }
    const Clock::time_point now = Clock::now();
    p.peer = peer;
    auto last = lastGreeting_.find(peer);
    p.greetAt = last == lastGreeting_.end() ? now : std::max(now, last->second + kGreetingPause);
    lastGreeting_[peer] = p.greetAt;
    pending_.push_back(std::move(p));
    GreetDue();
  }

  const int listener_;
  std::vector<Pending> pending_;  // in the order the connections came
  // When each address was (or will be) greeted last, within the pause.
  std::map<std::string, Clock::time_point> lastGreeting_;
  Clock::time_point acceptAfter_ = Clock::now();
};

}  // namespace

void RunLoginServer(int port) {
  const int listener = socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC | SOCK_NONBLOCK, 0);
  if (listener < 0) return;
  // An application that restarts can listen on its port again at once,
  // while connections of its previous run are still in TIME_WAIT.
  int reuse = 1;
  (void)setsockopt(listener, SOL_SOCKET, SO_REUSEADDR, &reuse, sizeof reuse);

  sockaddr_in address{};
  address.sin_family = AF_INET;
  address.sin_port = htons(static_cast<uint16_t>(port & 0xFFFF));
  address.sin_addr.s_addr = htonl(INADDR_ANY);
  if (bind(listener, reinterpret_cast<const sockaddr*>(&address), sizeof address) != 0 ||
      listen(listener, kBacklog) != 0) {
    close(listener);
    return;
  }
  // The first server of the process starts from an empty list; a server
  // opened on another port later serves the same list and keeps the
  // controllers recorded so far.
  std::vector<GlobalMember::tagSocketClient> dropped;  // closed outside the locks
  const bool serving = WithModel([&] {
    std::lock_guard<std::mutex> lock(globalMember.clientLock);
    if (serversRunning.fetch_add(1) == 0) dropped.swap(globalMember.socketClients);
  });
  dropped.clear();
  while (serving) {
    try {
      Server(listener).Run();
      break;  // the process is ending
    } catch (...) {
      // Out of memory while serving: the connections being served are
      // dropped, the server goes on.
      std::this_thread::sleep_for(kAcceptRetryPause);
    }
  }
  close(listener);
}

bool StartLoginServer(int port) {
  try {
    std::thread(RunLoginServer, port).detach();
    return true;
  } catch (...) {
    return false;
  }
}
