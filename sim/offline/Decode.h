// Decoding frames after the fact (vexa-sim decode): from a packet capture,
// from the library's trace, or from hex text. Frames are found and decoded
// exactly as the live emulator finds and decodes them (Reassembly.h and the
// frame decoders), and reported in the same Frame records.
#ifndef VEXA_SIM_DECODE_H
#define VEXA_SIM_DECODE_H

#include <cstdio>
#include <functional>
#include <iosfwd>
#include <string>

#include "Frame.h"

namespace vexasim {

struct DecodeSettings {
  int udpPort = VEXA_UDP_PORT;  // the controller's datagram port
  int tcpPort = VEXA_TCP_PORT;  // the controller's stream port
  int loginPort = 0;            // the host's login server port; 0: none
  std::string host;             // keep only what went to or from this IPv4 address; "": all
  int port = 0;                 // keep only what went to or from this port; 0: all
};

// One end of what was sent: an IPv4 address and a port, or a serial line's
// name as the address. Either part may be unknown ("", 0): a trace does not
// name the host's own address, nor a port for the login link.
struct Endpoint {
  std::string address;
  int port = 0;
  bool known() const { return !address.empty() || port != 0; }
  std::string text() const;  // "192.0.2.10:8800", ":8801", "192.0.2.10", "COM1"; "?" when unknown
};

// One thing decode found: a frame (or reply) with when and between whom it
// went, or, from a trace, an attempt that got no reply.
struct Decoded {
  Frame frame;          // channel set; for a missing reply only the channel
  std::string time;     // "2026-12-07 23:28:22.123" (local time); "" when not known
  Endpoint src, dst;
  std::string noReply;  // not empty: no frame but the trace's reason why no reply came

  // The emulator's line, after the time and "src > dst" when they are known.
  std::string text() const;
  // The frame's JSON object with "time", "src" and "dst" in front (null
  // when not known); a missing reply is {"time",...,"channel","kind":"noReply",
  // "name":"NoReply","reason"}.
  std::string json() const;
};

using FrameSink = std::function<void(const Decoded&)>;

// "2026-12-07 23:28:22.123": milliseconds since 1970 in local time, as the
// library's trace stamps its records.
std::string localTimeText(long long ms);

// A pcap or pcapng capture. Datagrams to the datagram port are joined into frames as the
// emulator joins them (by the capture's time stamps); stream connections to
// the stream port and to the login port are put back in order and split
// into frames in both directions. What the controller sends back is decoded
// as replies. Returns false, with the reason, when the capture cannot be read.
// The file is read from its current position and closed.
bool decodeCapture(std::FILE* file, const DecodeSettings& settings, const FrameSink& sink, std::string* error);

// The library's trace: every frame block of a transmission record is a frame
// sent over the record's transport, every reply block a reply, every "no
// reply" line (and the login link's "no controller" note) an item of its
// own; each with the record's time and peer. Blocks before the first
// record's first line (an excerpt) have the channel "hex". A block keeps at
// most kFrameLimit bytes (Reassembly.h); the frame notes the bytes skipped.
void decodeTrace(std::istream& in, const FrameSink& sink);

// Hex text (spaces, commas, colons, "0x" and '#' comments allowed): the bytes
// split into frames as on a serial line; replies are recognised by their
// layout. Returns false, with the line, at a character that is no hex.
bool decodeHexText(std::istream& in, const FrameSink& sink, std::string* error);

enum class InputKind { Capture, Trace, Hex, Binary };
// What the first bytes of an input say it holds (Binary: neither a capture
// nor text, as a NUL byte tells).
InputKind inputKindOf(const std::string& head);

// A port number of the command line: decimal, from `lowest` to 65535.
bool parsePort(const char* text, int& port, int lowest);

// vexa-sim decode [--json] [--host A] [--port N] [--login-port N] [--udp-port N] [--tcp-port N] FILE...
// ("-" is standard input). Returns the exit status.
int runDecodeCommand(int argc, char** argv, std::istream& in, std::ostream& out, std::ostream& err);

}  // namespace vexasim

#endif  // VEXA_SIM_DECODE_H
