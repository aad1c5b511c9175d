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

#include "VexaSim.h"

namespace vexasim {

struct DecodeSettings {
  int udpPort = VEXA_UDP_PORT;  // the controller's datagram port
  int tcpPort = VEXA_TCP_PORT;  // the controller's stream port
  int loginPort = 0;            // the host's login server port; 0: none
};

using FrameSink = std::function<void(const Frame&)>;

// A pcap or pcapng capture. Datagrams to the datagram port are joined into frames as the
// emulator joins them (by the capture's time stamps); stream connections to
// the stream port and to the login port are put back in order and split
// into frames in both directions. What the controller sends back is decoded
// as replies. Returns false, with the reason, when the capture cannot be read.
// The file is read from its current position and closed.
bool decodeCapture(std::FILE* file, const DecodeSettings& settings, const FrameSink& sink, std::string* error);

// The library's trace: every frame block of a transmission record is a frame
// sent over the record's transport, every reply block a reply. Blocks before
// the first record's first line (an excerpt) have the channel "hex".
void decodeTrace(std::istream& in, const FrameSink& sink);

// Hex text (spaces, commas, colons, "0x" and '#' comments allowed): the bytes
// split into frames as on a serial line; replies are recognised by their
// layout. Returns false, with the line, at a character that is no hex.
bool decodeHexText(std::istream& in, const FrameSink& sink, std::string* error);

enum class InputKind { Capture, Trace, Hex };
// What the first bytes of an input say it holds.
InputKind inputKindOf(const std::string& head);

// A port number of the command line: decimal, from `lowest` to 65535.
bool parsePort(const char* text, int& port, int lowest);

// vexa-sim decode [--json] [--login-port N] [--udp-port N] [--tcp-port N] FILE...
// ("-" is standard input). Returns the exit status.
int runDecodeCommand(int argc, char** argv, std::istream& in, std::ostream& out, std::ostream& err);

}  // namespace vexasim

#endif  // VEXA_SIM_DECODE_H
