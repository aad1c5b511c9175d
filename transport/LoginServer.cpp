// The controller login server.
//
// Controllers set up to dial in open a TCP connection to the application's
// port. Each new controller is greeted with the host's clock (command 0x62),
// given a bounded time to answer, and recorded in globalMember.socketClients,
// where the network sender finds it by address in login-link mode (mode 3).
// The server runs on one detached thread for the rest of the process.
#include <arpa/inet.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <cstdint>
#include <mutex>
#include <string>
#include <thread>

#include "SKYREL.h"
#include "core/CBuffObj.h"
#include "model/GlobalMember.h"

namespace {

constexpr int kBacklog = 5;
constexpr int kAnswerSize = 1024;
constexpr useconds_t kPauseAfterConnectionUs = 50000;
constexpr short kGreetingCommand = 0x62;

// Waits at most VEXA_LOGIN_ANSWER_WAIT_MS for the controller's answer to the
// greeting and reads it (up to 1024 bytes, not examined). The wait is bounded
// so that a client that connects and stays silent cannot hold up every later
// login; no receive time-out is left on the socket, because the network
// sender later receives on this same connection with its own bound.
void AwaitAnswer(int fd) {
  using Clock = std::chrono::steady_clock;
  const Clock::time_point deadline =
      Clock::now() + std::chrono::milliseconds(VEXA_LOGIN_ANSWER_WAIT_MS);
  for (;;) {
    const auto left =
        std::chrono::duration_cast<std::chrono::milliseconds>(deadline - Clock::now()).count();
    if (left <= 0) return;
    pollfd p{fd, POLLIN, 0};
    const int ready = poll(&p, 1, static_cast<int>(left));
    if (ready < 0 && errno == EINTR) continue;
    if (ready <= 0) return;  // no answer in time, or the wait failed
    char answer[kAnswerSize];
    ssize_t n;
    do {
      n = recv(fd, answer, sizeof answer, MSG_DONTWAIT);
    } while (n < 0 && errno == EINTR);
    return;  // data, an orderly close or an error: the controller is recorded
  }
}

void SendGreeting(int fd) {
  CBuffObj obj;
  const CBuffObj::tagBufferInfo frame =
      obj.CompletePacketBuffer(obj.LoginCheckTimeBuffer(), kGreetingCommand, 0);
  if (!IsValid(frame) || frame.nBufferLen == 0) return;
  // MSG_NOSIGNAL: a controller that has already hung up must not kill the
  // application with SIGPIPE. A failed send is not an error here.
  (void)send(fd, frame.chArrBuffer, static_cast<size_t>(frame.nBufferLen), MSG_NOSIGNAL);
}

// Looks up the peer's address in the client list. Returns true when the
// connection is already recorded (same address, same descriptor). A record
// of the same address with another descriptor belongs to an earlier
// connection of that controller: it is removed (its descriptor stays open,
// a sender may still be using it) and the connection counts as new.
bool IsKnownConnection(const std::string& peer, int fd) {
  std::lock_guard<std::mutex> lock(globalMember.clientLock);
  auto& clients = globalMember.socketClients;
  for (auto it = clients.begin(); it != clients.end(); ++it) {
    if (it->strIp != peer) continue;
    if (it->nSocket == fd) return true;
    clients.erase(it);
    return false;
  }
  return false;
}

void Record(const std::string& peer, int fd) {
  GlobalMember::tagSocketClient client;
  client.nSocket = fd;
  client.strIp = peer;
  client.bLogin = true;
  std::lock_guard<std::mutex> lock(globalMember.clientLock);
  globalMember.socketClients.push_back(std::move(client));
}

// Handles one accepted connection.
void ServeConnection(int fd, const sockaddr_in& peerAddress) {
  char text[INET_ADDRSTRLEN] = {};
  if (inet_ntop(AF_INET, &peerAddress.sin_addr, text, sizeof text) == nullptr) text[0] = '\0';
  const std::string peer(text);

  if (!IsKnownConnection(peer, fd)) {
    SendGreeting(fd);
    AwaitAnswer(fd);
    Record(peer, fd);
  }
}

// The server loop on the given port. Returns only when the port cannot be
// bound or listened on.
void RunServer(int port) {
  const int listener = socket(AF_INET, SOCK_STREAM, 0);
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

  {
    std::lock_guard<std::mutex> lock(globalMember.clientLock);
    globalMember.socketClients.clear();
  }

  for (;;) {
    sockaddr_in peer{};
    socklen_t peerLength = sizeof peer;
    const int fd = accept(listener, reinterpret_cast<sockaddr*>(&peer), &peerLength);
    if (fd < 0) continue;
    try {
      ServeConnection(fd, peer);
    } catch (...) {
      // Out of memory while recording: this login is lost, the server goes on.
    }
    usleep(kPauseAfterConnectionUs);
  }
}

}  // namespace

int OpenServer(int port) {
  try {
    g_serverPort = port;
    // The thread gets the port by value, so a later OpenServer that changes
    // g_serverPort never races with this thread's start.
    std::thread(RunServer, port).detach();
  } catch (...) {
    // The thread could not be started: no server runs, and the caller is told.
    return 1;
  }
  return 0;
}

int CloseServer() { return 0; }

void TaskThreadExe() {
  try {
    RunServer(g_serverPort);
  } catch (...) {
    // Nothing leaves the interface.
  }
}
