// A link carries one transmission to one controller: a datagram socket, a
// stream connection, the connection a controller opened to the login server,
// or the serial line. Each link only moves bytes; the attempt loop
// (RunAttempts) makes the attempts, applies the pauses between frames,
// consults the reply judge and writes the trace record, the same way for
// every link.
#ifndef LIBVEXA_X86_TRANSPORT_LINK_H
#define LIBVEXA_X86_TRANSPORT_LINK_H

#include <sys/socket.h>
#include <unistd.h>

#include <cerrno>
#include <cstdint>
#include <cstring>
#include <memory>
#include <string>

#include "core/CBuffObj.h"
#include "core/Trace.h"
#include "transport/ReplyJudge.h"
#include "transport/Settings.h"

class CSerialPort;

// What one receive brought.
struct Received {
  long bytes = 0;         // > 0: bytes of the reply; 0 or below: nothing came
  bool timedOut = false;  // nothing came within the wait
  std::string why;        // nothing came: why, in words ("timed out after 500 ms")
};

// How an attempt may begin.
enum class Readiness {
  kReady,       // frames can go out
  kNothingSent, // nothing can be sent this attempt: judged as nothing received
  kNotOpen,     // the link could not be opened this attempt: the result stands
  kEnd,         // the link cannot carry this call at all: the result stands, no more attempts
};

class Link {
 public:
  virtual ~Link() = default;

  // The transport word and peer heading the trace record
  // ("udp 192.0.2.10:8800 from :8801").
  virtual std::string Peer() const = 0;
  // A line the trace gives right after the peer ("" for none).
  virtual std::string OpeningNote() const { return std::string(); }
  // Who a reason speaks of ("controller 192.0.2.10", "controller on COM1").
  virtual std::string Who() const = 0;

  // Makes the link ready for an attempt. When it is not, `why` says so.
  virtual Readiness Begin(int attempt, trace::Transmission& rec, std::string* why) = 0;
  // Sends one frame whole; send errors are not reported, the reply decides.
  virtual void Send(const CBuffObj::tagBufferInfo& frame) = 0;
  // Receives one reply into `reply` (kReplySize bytes, cleared).
  virtual Received Receive(uint8_t* reply, trace::Transmission& rec) = 0;
  // Ends the attempt begun by Begin.
  virtual void End() {}

  // The pause after each frame, in milliseconds.
  virtual int PauseAfterFrameMs() const = 0;
  // The controller may answer before anything is sent: listen once first,
  // and send only when nothing came (stream mode).
  virtual bool ListensFirst() const { return false; }
  // When the receive fails (an error, not a closed connection), the frames
  // are sent once more and received again within the same attempt.
  virtual bool RepeatsOnError() const { return false; }
  // A link that can carry only one attempt (a connection made once).
  virtual bool OneAttemptOnly() const { return false; }
  // The verdict on what arrived.
  virtual ReplyVerdict Judge(const uint8_t* reply, long received, int resultSoFar) const = 0;
  // How the verdict came about, for the trace's result line.
  virtual std::string Describe(const uint8_t* /*reply*/, long /*received*/,
                               const ReplyVerdict& verdict) const {
    return verdict.row;
  }
};

// A link to a controller on the network: replies in network-frame layout.
class NetworkLink : public Link {
 public:
  explicit NetworkLink(const char* ip) : ip_(ip) {}
  std::string Who() const override { return "controller " + ip_; }
  ReplyVerdict Judge(const uint8_t* reply, long received, int resultSoFar) const override;
  std::string Describe(const uint8_t* reply, long received,
                       const ReplyVerdict& verdict) const override;

 protected:
  const std::string ip_;
};

// A receive that brought nothing: `bytes` 0 (the connection was closed) or
// below 0 with `error` (EAGAIN: the wait of `waitedMs` ran out).
Received NothingReceived(long bytes, int error, int waitedMs);

// A link over a new socket of `type` (SOCK_DGRAM, SOCK_STREAM), made by
// `make(fd)`, which owns the socket from then on; null with the reason
// stated when no socket can be opened.
template <class Make>
std::unique_ptr<Link> WithSocket(int type, const char* kind, Make make) {
  const int fd = socket(AF_INET, type | SOCK_CLOEXEC, 0);
  if (fd < 0) {
    trace::Refuse(std::string("cannot open a ") + kind + " socket: " + std::strerror(errno));
    return nullptr;
  }
  try {
    return make(fd);
  } catch (...) {
    close(fd);
    throw;
  }
}

// The links. A link that cannot be made (no socket) returns null and
// states the reason with trace::Refuse.
std::unique_ptr<Link> MakeDatagramLink(const char* ip, const SendSettings& settings);
std::unique_ptr<Link> MakeStreamLink(const char* ip, const SendSettings& settings);
std::unique_ptr<Link> MakeLoginLink(const char* ip, const SendSettings& settings);
std::unique_ptr<Link> MakeSerialLink(CSerialPort& port, const std::string& portName, int baudRate,
                                     const SendSettings& settings, const char* lineKind);

// Makes the attempts of one transmission over `link` and returns its result
// code, keeping the reason of a failure for the calling thread.
int RunAttempts(Link& link, const FrameList& frames, const SendSettings& settings);

#endif  // LIBVEXA_X86_TRANSPORT_LINK_H
