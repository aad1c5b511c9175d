// vexa_sim: a controller emulator for tests and for desks without a sign.
//
// It listens for datagrams and stream connections like a controller, can dial
// in to a host's login server, and serves a serial line on a pseudo-terminal.
// Every frame it receives is split off the byte stream, decoded into named
// fields with its length fields and check bytes verified, recorded, and
// answered in the reply layout the sender expects (or refused, ignored,
// garbled, echoed or delayed on request).
//
// Frames are found and decoded by the protocol room (Frame.h, Reassembly.h);
// this room holds the servers: the sockets, the pseudo-terminal, the login
// link and the records of what arrived.
#ifndef VEXA_SIM_VEXASIM_H
#define VEXA_SIM_VEXASIM_H

#include <cstddef>
#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "BitmapCollector.h"
#include "Frame.h"
#include "SKYREL.h"

namespace vexasim {

struct Options {
  std::string address = "127.0.0.1";
  int udpPort = VEXA_UDP_PORT;
  int tcpPort = VEXA_TCP_PORT;
  bool udp = true;
  bool tcp = true;
  ReplyMode mode = ReplyMode::Accept;
  int delayMs = 0;  // Delay mode: answer (accepted) after this many ms
  // Entries kept for frames(), greetings() and datagrams(): the most recent
  // this many of each; serialBytes() keeps as many largest frames' worth.
  size_t keep = 1000;
  // Stream connections served at once; for one more, the connection quiet
  // longest is closed. So is it when the process has no descriptor left.
  size_t maxConnections = 4096;
  // Senders whose datagram frames are waited for at once; for one more, the
  // frame waiting longest is taken as it is.
  size_t maxPendingSources = 64;
};

struct Datagram {
  std::vector<uint8_t> bytes;
  std::string srcAddr;
  int srcPort = 0;
};

class Emulator {
 public:
  explicit Emulator(Options o = {});
  ~Emulator();  // stops everything and joins all threads
  Emulator(const Emulator&) = delete;
  Emulator& operator=(const Emulator&) = delete;

  // Binds the datagram socket and the stream listener and starts serving.
  bool start(std::string* error = nullptr);
  // Stops serving, joins every thread, closes every descriptor (serial line
  // and login connections included). start() may be called again afterwards.
  void stop();

  // Creates a pseudo-terminal and serves its master side; the slave side is
  // kept open in raw mode for the emulator's lifetime. Returns the slave's
  // path, "" on failure.
  std::string openSerial();
  // Dials in to a login server as a controller: connects, reads the greeting
  // frame, answers it (or not), then serves frames on that connection. With
  // a source address the connection comes from that local address, as the
  // host tells controllers apart by their address. Returns false if the
  // connection cannot be made.
  bool connectLogin(const std::string& host, int port, bool answerGreeting = true,
                    const std::string& source = "");
  // Dials in like connectLogin, from `source`, and keeps doing so as a
  // controller does: once a second while the host's login server is not
  // there, and again within a second after the connection dropped, until
  // stop(). `onChange` (may be empty) hears each change: true when dialled
  // in, false when a dial found no server or the connection dropped (once
  // for each stretch without a connection). False, with the reason in
  // `error`, when no connection can ever come from `source` (not an IPv4
  // address of this machine) or the host is no IPv4 address.
  bool keepDialling(const std::string& host, int port, const std::string& source, std::string* error = nullptr,
                    std::function<void(bool connected)> onChange = {});

  void setReplyMode(ReplyMode m, int delayMs = 0);
  // When set and it returns a value, those bytes are the reply (empty: stay
  // silent); std::nullopt falls back to the reply mode.
  void setReplyOverride(std::function<std::optional<std::vector<uint8_t>>(const Frame&)> f);
  // Called for every decoded frame, greetings included, one call at a time.
  void setSink(std::function<void(const Frame&)> f);

  // The most recent entries received (see Options::keep), oldest first.
  std::vector<Frame> frames() const;          // decoded frames in arrival order
  std::vector<Datagram> datagrams() const;    // raw datagrams as received
  std::vector<uint8_t> serialBytes() const;   // raw bytes read from the serial line
  std::vector<Frame> greetings() const;       // greeting frames of the login role
  // Frames received since the last clear(), kept or not.
  size_t framesSeen() const;
  // Stream connections open now, accepted and dialled.
  size_t streamConnections() const;
  // Answers to stream frames decided but waiting for their time (reply mode
  // delay), over all connections; at most kMaxPendingAnswers (64) each.
  size_t pendingAnswers() const;
  // Wait until n frames (greetings) have been received since the last clear().
  bool waitForFrames(size_t n, int timeoutMs) const;
  bool waitForGreetings(size_t n, int timeoutMs) const;
  // Forgets everything recorded and discards replies still unread on the
  // serial line.
  void clear();

  const Options& options() const;

 private:
  struct Impl;
  std::unique_ptr<Impl> d_;
};

// Every bitmap the emulator has received so far.
std::vector<Bitmap> receivedBitmaps(const Emulator& emu);

}  // namespace vexasim

#endif  // VEXA_SIM_VEXASIM_H
