// vexa-sim decode: prints the frames found in captures, traces and hex text
// in the live emulator's lines.
#include <arpa/inet.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <functional>
#include <iostream>
#include <streambuf>

#include "Decode.h"
#include "DecodeUtil.h"

namespace vexasim {

namespace {

const char kDecodeUsage[] =
    "usage: vexa-sim decode [options] FILE...\n"
    "\n"
    "Prints the frames found in each FILE (\"-\": standard input) as the live\n"
    "emulator prints them, one line each, after the time and the source and\n"
    "destination (\"192.0.2.1:8801 > 192.0.2.10:8800\") where the FILE tells\n"
    "them; what a controller sent back is printed as a Reply. A FILE is one of:\n"
    "  a pcap or pcapng capture (tcpdump -w): datagrams to the controller's\n"
    "    datagram port, joined into frames as the emulator joins them, and\n"
    "    stream connections to its stream port and to the login port, in both\n"
    "    directions; times in local time;\n"
    "  a trace written by the library (VEXA_TRACE): each frame and reply of\n"
    "    each transmission, with the record's time and peer, and a line for\n"
    "    each attempt that got no reply;\n"
    "  hex text (\"FE 5C 4B 89 ...\"; spaces, commas, colons, 0x and # comments\n"
    "    allowed): the bytes split into frames as on a serial line.\n"
    "Texts are shown as UTF-8 from GBK; a byte that is no character as \\xNN.\n"
    "\n"
    "options:\n"
    "  --json             print each frame as one JSON line (default: short text)\n"
    "  --host ADDRESS     only what went to or from this IPv4 address\n"
    "  --port N           only what went to or from this port\n"
    "  --login-port N     the host's login server port (stream connections on\n"
    "                     it carry frames from the host to controllers)\n"
    "  --udp-port N       the controller's datagram port (default 8800)\n"
    "  --tcp-port N       the controller's stream port (default 8900)\n"
    "  --help             show this text\n"
    "\n"
    "Exit status: 0 when every FILE was read, 1 when one could not be, 2 for\n"
    "a wrong command line.\n";

// The first bytes of an input, which tell what it holds.
constexpr size_t kHeadBytes = 4096;

// An input read from its first bytes, already taken to see what it holds,
// then from the rest: text decoders read it as a stream, a piece at a time.
class PrefixedBuf : public std::streambuf {
 public:
  PrefixedBuf(std::string head, std::function<size_t(char*, size_t)> more)
      : head_(std::move(head)), more_(std::move(more)) {
    setg(head_.data(), head_.data(), head_.data() + head_.size());
  }

 protected:
  int_type underflow() override {
    if (gptr() < egptr()) return traits_type::to_int_type(*gptr());
    const size_t n = more_ ? more_(chunk_, sizeof chunk_) : 0;
    if (n == 0) return traits_type::eof();
    setg(chunk_, chunk_, chunk_ + n);
    return traits_type::to_int_type(*gptr());
  }

 private:
  std::string head_;
  std::function<size_t(char*, size_t)> more_;
  char chunk_[64 * 1024];
};

// Decodes one input whose head has been read; more reads what follows it.
// A capture is handed to libpcap as a file: file (a regular file, left open
// for the caller to close) read again from its start, else a temporary copy.
bool decodeInput(const std::string& head, std::FILE* file, const std::function<size_t(char*, size_t)>& more,
                 const DecodeSettings& settings, const FrameSink& sink, std::string* error) {
  switch (inputKindOf(head)) {
    case InputKind::Binary:
      *error = "neither a pcap or pcapng capture nor text (it holds NUL bytes)";
      return false;
    case InputKind::Capture: {
      if (file) {
        const int fd = ::dup(::fileno(file));
        std::FILE* again = fd >= 0 ? ::fdopen(fd, "rb") : nullptr;
        if (!again || std::fseek(again, 0, SEEK_SET) != 0) {
          *error = std::string("cannot read again: ") + std::strerror(errno);
          if (again) std::fclose(again);
          else if (fd >= 0) ::close(fd);
          return false;
        }
        return decodeCapture(again, settings, sink, error);
      }
      std::FILE* copy = std::tmpfile();
      if (!copy) {
        *error = std::string("no temporary file for the capture: ") + std::strerror(errno);
        return false;
      }
      std::fwrite(head.data(), 1, head.size(), copy);
      char chunk[64 * 1024];
      for (size_t n; (n = more(chunk, sizeof chunk)) > 0;) std::fwrite(chunk, 1, n, copy);
      if (std::fflush(copy) != 0 || std::fseek(copy, 0, SEEK_SET) != 0) {
        *error = std::string("cannot copy the capture: ") + std::strerror(errno);
        std::fclose(copy);
        return false;
      }
      return decodeCapture(copy, settings, sink, error);
    }
    case InputKind::Trace:
    case InputKind::Hex: {
      PrefixedBuf buf(head, more);
      std::istream text(&buf);
      if (inputKindOf(head) == InputKind::Trace) {
        decodeTrace(text, sink);
        return true;
      }
      return decodeHexText(text, sink, error);
    }
  }
  return false;
}

// An IPv4 address in its usual form; false when text is none.
bool canonicalAddress(const std::string& text, std::string& out) {
  in_addr a{};
  char b[INET_ADDRSTRLEN];
  if (inet_pton(AF_INET, text.c_str(), &a) != 1 || !inet_ntop(AF_INET, &a, b, sizeof b)) return false;
  out = b;
  return true;
}

bool kept(const Decoded& d, const DecodeSettings& s) {
  if (!s.host.empty() && d.src.address != s.host && d.dst.address != s.host) return false;
  if (s.port && d.src.port != s.port && d.dst.port != s.port) return false;
  return true;
}

std::string jsonOrNull(const std::string& s) { return s.empty() ? "null" : detail::jsonString(s); }

}  // namespace

bool parsePort(const char* text, int& port, int lowest) {
  char* end = nullptr;
  const long v = std::strtol(text, &end, 10);
  if (!*text || *end || v < lowest || v > 65535) return false;
  port = int(v);
  return true;
}

std::string Endpoint::text() const {
  if (!known()) return "?";
  return port ? address + ":" + std::to_string(port) : address;
}

std::string localTimeText(long long ms) {
  long long seconds = ms / 1000, rest = ms % 1000;
  if (rest < 0) {
    rest += 1000;
    --seconds;
  }
  const std::time_t t = std::time_t(seconds);
  std::tm tm{};
  char text[48] = "?";
  if (localtime_r(&t, &tm)) {
    const size_t n = std::strftime(text, sizeof text, "%Y-%m-%d %H:%M:%S", &tm);
    std::snprintf(text + n, sizeof text - n, ".%03lld", rest);
  }
  return text;
}

std::string Decoded::text() const {
  std::string s;
  if (!time.empty()) s += time + "  ";
  if (src.known() || dst.known()) s += src.text() + " > " + dst.text() + "  ";
  if (!noReply.empty()) return s + frame.channel + "  no reply (" + noReply + ")";
  return s + frame.text();
}

std::string Decoded::json() const {
  std::string s = "{\"time\":" + jsonOrNull(time) + ",\"src\":" + jsonOrNull(src.known() ? src.text() : "") +
                  ",\"dst\":" + jsonOrNull(dst.known() ? dst.text() : "") + ",";
  if (!noReply.empty())
    return s + "\"channel\":" + detail::jsonString(frame.channel) +
           ",\"kind\":\"noReply\",\"name\":\"NoReply\",\"reason\":" + detail::jsonString(noReply) + "}";
  return s + frame.json().substr(1);
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
    } else if (a == "--host") {
      if (i + 1 >= argc || !canonicalAddress(argv[++i], settings.host))
        return usageError("--host needs an IPv4 address");
    } else if (a == "--port" || a == "--login-port" || a == "--udp-port" || a == "--tcp-port") {
      int port = 0;
      if (i + 1 >= argc || !parsePort(argv[++i], port, 1))
        return usageError(a + " needs a port number");
      (a == "--port"         ? settings.port
       : a == "--login-port" ? settings.loginPort
       : a == "--udp-port"   ? settings.udpPort
                             : settings.tcpPort) = port;
    } else {
      return usageError("unknown option " + a);
    }
  }
  if (files.empty()) return usageError("no file to decode");

  FrameSink sink = [&](const Decoded& d) {
    if (kept(d, settings)) out << (json ? d.json() : d.text()) << '\n';
  };
  int status = 0;
  for (const std::string& path : files) {
    if (files.size() > 1 && !json) out << "== " << path << '\n';
    std::string error;
    bool ok;
    if (path == "-") {
      std::string head(kHeadBytes, '\0');
      in.read(&head[0], std::streamsize(head.size()));
      head.resize(size_t(in.gcount()));
      std::streambuf* rest = in.rdbuf();
      ok = decodeInput(head, nullptr, [rest](char* b, size_t n) { return size_t(rest->sgetn(b, std::streamsize(n))); },
                       settings, sink, &error);
    } else {
      std::FILE* file = std::fopen(path.c_str(), "rb");
      if (!file) {
        err << "vexa-sim decode: cannot open " << path << ": " << std::strerror(errno) << "\n";
        status = 1;
        continue;
      }
      struct stat st {};
      std::string head(kHeadBytes, '\0');
      if (::fstat(::fileno(file), &st) == 0 && S_ISDIR(st.st_mode)) {
        error = "is a directory";
        ok = false;
      } else if (head.resize(std::fread(&head[0], 1, head.size(), file)), std::ferror(file)) {
        error = std::string("cannot read: ") + std::strerror(errno);
        ok = false;
      } else {
        ok = decodeInput(head, S_ISREG(st.st_mode) ? file : nullptr,
                         [file](char* b, size_t n) { return std::fread(b, 1, n, file); }, settings, sink, &error);
      }
      std::fclose(file);
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
