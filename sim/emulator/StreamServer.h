// The emulator's stream connections, all served by one thread: connections
// accepted on the stream port and connections the emulator dialled to a
// host's login server. The thread polls every connection, splits what
// arrives into frames, hands each frame to the emulator and sends the answer
// back, at once or after the answer's delay, without holding up the other
// connections. Each connection holds at most one frame's worth of unsplit
// bytes, at most kMaxPendingAnswers answers waiting for their time (beyond
// that the connection is not read until they have gone, so the peer's own
// sends back up) and at most 64 KiB of unsent answers (a peer that reads none
// of its answers is disconnected).
#ifndef VEXA_SIM_STREAMSERVER_H
#define VEXA_SIM_STREAMSERVER_H

#include <atomic>
#include <cstddef>
#include <cstdint>
#include <functional>
#include <memory>
#include <mutex>
#include <thread>
#include <vector>

#include "Reassembly.h"
#include "VexaSim.h"

namespace vexasim {

// Answers one connection may have waiting for their time (--reply delay:MS);
// frames beyond are read only once the earliest answers have gone.
constexpr size_t kMaxPendingAnswers = 64;

struct StreamAnswer {
  std::vector<uint8_t> bytes;  // empty: no answer
  int delayMs = 0;             // sent this long after the frame arrived
};

class StreamServer {
 public:
  // Records and reports a frame; returns its answer. Called on the server's
  // thread, one frame at a time.
  using FrameHandler = std::function<StreamAnswer(Frame)>;
  // Records and reports a login server's greeting; returns the bytes to
  // answer it with (empty: none).
  using GreetingHandler = std::function<std::vector<uint8_t>(Frame, bool answer)>;

  // maxConnections: accepted connections served at once (dialled ones are
  // not counted).
  StreamServer(FrameHandler onFrame, GreetingHandler onGreeting, size_t maxConnections);
  ~StreamServer();
  StreamServer(const StreamServer&) = delete;
  StreamServer& operator=(const StreamServer&) = delete;

  // Accepts connections on a listening socket, which the server now owns.
  // When maxConnections are open, the one quiet longest is closed for a new
  // one; so is it when the process has no descriptor left to accept with,
  // after a descriptor held in reserve has been spent on the newcomer.
  void listen(int listenFd);
  // Serves a connection dialled to a login server (now owned by the server):
  // its first frame is the greeting, answered when answerGreeting is set.
  void addLogin(int fd, bool answerGreeting);
  // Stops the thread and closes the listener and every connection.
  void stop();

  // Connections open now (accepted and dialled).
  size_t connections() const;
  // Answers decided but waiting for their time, over all connections.
  size_t pendingAnswers() const;
  // Connections dialled to a login server still open.
  size_t dialled() const;

 private:
  struct Conn;
  void ensureRunning();
  void run();
  void acceptNew(long now);
  bool readFrom(Conn& c, long now);
  void handle(Conn& c, long now);
  void flushOut(Conn& c);
  bool closeQuietest();
  void refillReserve();

  FrameHandler onFrame_;
  GreetingHandler onGreeting_;
  size_t maxConnections_;

  std::mutex mu_;  // guards incoming_, listenFd_ hand-over and the thread
  std::vector<std::unique_ptr<Conn>> incoming_;
  int newListenFd_ = -1;
  std::thread thread_;
  std::atomic<bool> stopping_{false};
  std::atomic<size_t> open_{0};
  std::atomic<size_t> dialled_{0};
  std::atomic<size_t> pending_{0};
  uint64_t activity_ = 0;  // counts exchanges, to tell which connection was quiet longest

  // Owned by the server's thread.
  int listenFd_ = -1;
  long acceptPausedUntil_ = 0;
  int reserveFd_ = -1;  // spent on a newcomer when no descriptor is left
  std::vector<std::unique_ptr<Conn>> conns_;
};

}  // namespace vexasim

#endif  // VEXA_SIM_STREAMSERVER_H
