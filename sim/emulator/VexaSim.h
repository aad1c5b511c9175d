// vexa_sim: a controller emulator for tests and for desks without a sign.
//
// It listens for datagrams and stream connections like a controller, can dial
// in to a host's login server, and serves a serial line on a pseudo-terminal.
// Every frame it receives is split off the byte stream, decoded into named
// fields with its length fields and check bytes verified, recorded, and
// answered in the reply layout the sender expects (or refused, ignored,
// garbled, echoed or delayed on request).
//
// The emulator is written from the byte layouts of the frames alone; it uses
// nothing of the library but the constants of the public header.
#ifndef VEXA_SIM_VEXASIM_H
#define VEXA_SIM_VEXASIM_H

#include <cstddef>
#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "SKYREL.h"

namespace vexasim {

struct Field {
  std::string name;
  std::string value;
  // For a text of the frame (value: its bytes quoted, detail::quotedText),
  // what the printers show: the same with GBK characters as UTF-8
  // (detail::shownText). Empty for other fields.
  std::string shown{};
};

struct Frame {
  std::string channel;           // "udp", "tcp", "serial", "login"
  std::string kind;              // "net", "rs485", "voice485", "bar", "unknown"
  int command = -1;              // network command code (byte 8) or serial code
  int subCode = 0;               // network frame byte 9
  std::string name = "unknown";  // command name, e.g. "PlayShowPage"
  std::vector<Field> fields;     // decoded fields in frame order
  bool checksOk = true;          // length fields, end mark, XOR/CRC verified
  std::string error;             // why checksOk is false / what could not be decoded
  std::vector<uint8_t> raw;      // the whole frame as received (after reassembly)
  std::vector<uint8_t> payload;  // the payload bytes (network frame: from byte 17)

  std::string get(const std::string& fieldName) const;  // value of a field or ""
  std::string json() const;                             // one JSON line, no newline
  std::string text() const;                             // short human-readable line
};

// Decodes the payload of one command into out.fields; flags bad check bytes
// and short payloads on out (see DecodeUtil.h for the helpers).
using PayloadDecoder = void (*)(const uint8_t* payload, size_t n, Frame& out);

// Decodes one whole network frame: header checks, then the payload through the
// decoder table of its command code.
Frame decodeNetworkFrame(const uint8_t* p, size_t n);
// Decodes one whole frame from the serial line: a network frame, an RS-485
// frame, an RS-485 voice frame or a bar-screen frame.
Frame decodeSerialFrame(const uint8_t* p, size_t n);
// Decodes what a controller sent back: a reply in network-frame layout (its
// status at byte 17) or in the short serial layout (status at byte 6). The
// frame is named "Reply", of kind "reply", whatever its bytes.
Frame decodeReply(const uint8_t* p, size_t n);
// Length of the complete frame at the start of a stream buffer; 0 when more
// bytes are needed; -1 when the first byte cannot start a frame (drop one byte
// and try again; so does a length field beyond the largest frame and a
// margin, kFrameLimit in Reassembly.h). With serial false only network frames
// are recognised.
long completeFrameLength(const uint8_t* p, size_t n, bool serial);

enum class ReplyMode { Accept, Refuse2, Refuse3, Silent, Malformed, Echo, Delay };

// Parses "accept", "refuse2", "refuse3", "silent", "malformed", "echo",
// "delay:MS". Returns false for anything else.
bool parseReplyMode(const std::string& text, ReplyMode& mode, int& delayMs);

// The reply a controller sends to frame f in mode m (empty: no reply). Delay
// gives the accepted reply; the waiting is the emulator's business.
std::vector<uint8_t> replyFor(const Frame& f, ReplyMode m);

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
  // frame, answers it (or not), then serves frames on that connection.
  // Returns false if the connection cannot be made.
  bool connectLogin(const std::string& host, int port, bool answerGreeting = true);

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

}  // namespace vexasim

#endif  // VEXA_SIM_VEXASIM_H
