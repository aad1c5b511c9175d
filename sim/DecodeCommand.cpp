// vexa-sim decode: prints the frames found in captures, traces and hex text
// in the live emulator's lines.
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <iostream>
#include <iterator>
#include <sstream>

#include "Decode.h"

namespace vexasim {

namespace {

const char kDecodeUsage[] =
    "usage: vexa-sim decode [options] FILE...\n"
    "\n"
    "Prints the frames found in each FILE (\"-\": standard input) as the live\n"
    "emulator prints them, one line each; what a controller sent back is\n"
    "printed as a Reply. A FILE is one of:\n"
    "  a pcap or pcapng capture (tcpdump -w): datagrams to the controller's\n"
    "    datagram port, joined into frames as the emulator joins them, and\n"
    "    stream connections to its stream port and to the login port, in both\n"
    "    directions;\n"
    "  a trace written by the library (VEXA_TRACE): each frame and reply of\n"
    "    each transmission;\n"
    "  hex text (\"FE 5C 4B 89 ...\"; spaces, commas, colons, 0x and # comments\n"
    "    allowed): the bytes split into frames as on a serial line.\n"
    "\n"
    "options:\n"
    "  --json             print each frame as one JSON line (default: short text)\n"
    "  --login-port N     the host's login server port (stream connections on\n"
    "                     it carry frames from the host to controllers)\n"
    "  --udp-port N       the controller's datagram port (default 8800)\n"
    "  --tcp-port N       the controller's stream port (default 8900)\n"
    "  --help             show this text\n"
    "\n"
    "Exit status: 0 when every FILE was read, 1 when one could not be, 2 for\n"
    "a wrong command line.\n";

// Decodes one input of the kind given: a capture from file, a trace or hex
// from text.
bool decodeOne(InputKind kind, std::FILE* file, std::istream& text, const DecodeSettings& settings,
               const FrameSink& sink, std::string* error) {
  switch (kind) {
    case InputKind::Capture: return decodeCapture(file, settings, sink, error);
    case InputKind::Trace: decodeTrace(text, sink); return true;
    case InputKind::Hex: return decodeHexText(text, sink, error);
  }
  return false;
}

}  // namespace

bool parsePort(const char* text, int& port, int lowest) {
  char* end = nullptr;
  const long v = std::strtol(text, &end, 10);
  if (!*text || *end || v < lowest || v > 65535) return false;
  port = int(v);
  return true;
}

int runDecodeCommand(int argc, char** argv, std::istream& in, std::ostream& out, std::ostream& err) {
  DecodeSettings settings;
  bool json = false;
  std::vector<std::string> files;
  auto usageError = [&](const std::string& why) {
    err << "vexa-sim decode: " << why << "\n(see vexa-sim decode --help)\n";
    return 2;
  };
  bool options = true;
  for (int i = 1; i < argc; ++i) {
    std::string a = argv[i];
    if (!options || a == "-" || a[0] != '-') {
      files.push_back(a);
    } else if (a == "--") {
      options = false;
    } else if (a == "--help" || a == "-h") {
      out << kDecodeUsage;
      return 0;
    } else if (a == "--json") {
      json = true;
    } else if (a == "--login-port" || a == "--udp-port" || a == "--tcp-port") {
      int port = 0;
      if (i + 1 >= argc || !parsePort(argv[++i], port, 1))
        return usageError(a + " needs a port number");
      (a == "--login-port" ? settings.loginPort : a == "--udp-port" ? settings.udpPort : settings.tcpPort) = port;
    } else {
      return usageError("unknown option " + a);
    }
  }
  if (files.empty()) return usageError("no file to decode");

  FrameSink sink = [&](const Frame& f) { out << (json ? f.json() : f.text()) << '\n'; };
  int status = 0;
  for (const std::string& path : files) {
    if (files.size() > 1 && !json) out << "== " << path << '\n';
    std::string error;
    bool ok;
    if (path == "-") {
      // Standard input is read whole: its first bytes decide what it is.
      std::string data((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
      InputKind kind = inputKindOf(data.substr(0, 4096));
      std::FILE* file = kind == InputKind::Capture ? ::fmemopen(data.data(), data.size(), "rb") : nullptr;
      if (kind == InputKind::Capture && !file) {
        error = std::strerror(errno);
        ok = false;
      } else {
        std::istringstream text(kind == InputKind::Capture ? std::string() : data);
        ok = decodeOne(kind, file, text, settings, sink, &error);
      }
    } else {
      std::FILE* file = std::fopen(path.c_str(), "rb");
      if (!file) {
        err << "vexa-sim decode: cannot open " << path << ": " << std::strerror(errno) << "\n";
        status = 1;
        continue;
      }
      std::string head(4096, '\0');
      head.resize(std::fread(&head[0], 1, head.size(), file));
      InputKind kind = inputKindOf(head);
      std::ifstream text;
      if (kind == InputKind::Capture) {
        std::rewind(file);
      } else {
        std::fclose(file);
        file = nullptr;
        text.open(path, std::ios::binary);
      }
      ok = decodeOne(kind, file, text, settings, sink, &error);
    }
    out.flush();
    if (!ok) {
      err << "vexa-sim decode: " << path << ": " << error << "\n";
      status = 1;
    }
  }
  return status;
}

}  // namespace vexasim
