// Frames in text: the library's trace and hex dumps (Decode.h).
#include <algorithm>
#include <cctype>
#include <cstdlib>
#include <cstring>
#include <istream>
#include <sstream>

#include "Decode.h"
#include "DecodeUtil.h"
#include "Reassembly.h"

namespace vexasim {

namespace {

// "2026-12-07 23:28:22.123 thread 4711 udp ...": true for the first line of
// a trace record, with the word after the thread id (the transport, or
// "refused:").
bool traceHeader(const std::string& line, std::string* transport) {
  static const char pattern[] = "####-##-## ##:##:##.### thread ";  // '#': a digit
  const size_t fixed = sizeof pattern - 1;
  if (line.size() < fixed) return false;
  for (size_t i = 0; i < fixed; ++i) {
    if (pattern[i] == '#' ? !std::isdigit(static_cast<unsigned char>(line[i])) : line[i] != pattern[i]) return false;
  }
  size_t at = fixed;
  while (at < line.size() && std::isdigit(static_cast<unsigned char>(line[at]))) ++at;
  if (at == fixed || at >= line.size() || line[at] != ' ') return false;
  size_t end = line.find(' ', at + 1);
  if (transport) *transport = line.substr(at + 1, end == std::string::npos ? std::string::npos : end - at - 1);
  return true;
}

int hexDigit(char c) {
  if (c >= '0' && c <= '9') return c - '0';
  if (c >= 'a' && c <= 'f') return c - 'a' + 10;
  if (c >= 'A' && c <= 'F') return c - 'A' + 10;
  return -1;
}

// A trace hex line: pairs of uppercase hex digits separated by single spaces.
bool traceHexLine(const std::string& s, std::vector<uint8_t>& out) {
  std::vector<uint8_t> got;
  size_t i = 0;
  while (i < s.size()) {
    if (i + 1 >= s.size()) return false;
    int hi = hexDigit(s[i]), lo = hexDigit(s[i + 1]);
    if (hi < 0 || lo < 0) return false;
    got.push_back(uint8_t(hi * 16 + lo));
    i += 2;
    if (i < s.size() && s[i++] != ' ') return false;
  }
  if (got.empty()) return false;
  out.insert(out.end(), got.begin(), got.end());
  return true;
}

// Reads one line of at most cap characters into line (without its end);
// the rest of a longer line is skipped and counted in *more. False at the end
// of the input.
bool boundedLine(std::istream& in, std::string& line, size_t cap, size_t* more) {
  line.clear();
  *more = 0;
  std::streambuf* buf = in.rdbuf();
  bool any = false;
  for (;;) {
    const int c = buf->sbumpc();
    if (c == std::char_traits<char>::eof()) {
      in.setstate(std::ios::eofbit);
      return any;
    }
    any = true;
    if (c == '\n') break;
    if (line.size() < cap) {
      line += char(c);
    } else {
      ++*more;
    }
  }
  if (!line.empty() && line.back() == '\r') line.pop_back();
  return true;
}

// The line of a trace longest kept whole: a hex line of the library holds 32
// bytes, so only a damaged or foreign trace comes near it.
constexpr size_t kLongestTraceLine = 16 * 1024;

// "> frame 1 of 2: 21 bytes", "> frame 1 of 2: 21 bytes PlayShowPage" (a
// trace that names the command), "< reply 20 bytes" or "< reply 20 bytes
// after 3 ms": the number before " bytes"; -1 when there is none.
long announcedBytes(const std::string& s) {
  size_t end = s.find(" bytes");
  if (end == std::string::npos) return -1;
  const std::string rest = s.substr(end + 6);
  const bool named = s.compare(0, 8, "> frame ") == 0 && rest.size() > 1 && rest[0] == ' ' &&
                     rest.find(' ', 1) == std::string::npos;
  if (!rest.empty() && !named && rest.compare(0, 7, " after ") != 0) return -1;
  size_t start = end;
  while (start > 0 && std::isdigit(static_cast<unsigned char>(s[start - 1]))) --start;
  if (start == end || end - start > 9) return -1;
  return std::stol(s.substr(start, end - start));
}

struct TraceBlock {
  bool active = false;
  bool reply = false;
  long announced = -1;
  std::vector<uint8_t> bytes;  // at most kFrameLimit
  size_t shown = 0;            // bytes the block's hex lines show
};

// "192.0.2.10:8800", ":8801", "10.0.0.5", "COM1" as an endpoint.
Endpoint endpointText(const std::string& s) {
  Endpoint e;
  const size_t colon = s.rfind(':');
  if (colon != std::string::npos && colon + 1 < s.size() &&
      s.find_first_not_of("0123456789", colon + 1) == std::string::npos && s.size() - colon <= 6) {
    e.address = s.substr(0, colon);
    e.port = std::atoi(s.c_str() + colon + 1);
  } else {
    e.address = s;
  }
  return e;
}

// The peer and the host's own end of a record's first line, from what
// follows the transport: "192.0.2.10:8800 from :8801" (datagrams),
// "192.0.2.10:8900" (stream), "192.0.2.10" (login link), "COM1 9600 rs485"
// (serial line).
void recordEnds(const std::string& rest, Endpoint& peer, Endpoint& local) {
  std::istringstream words(rest);
  std::string first, from, second;
  words >> first >> from >> second;
  peer = endpointText(first);
  local = from == "from" ? endpointText(second) : Endpoint{};
}

// A network frame that can only be a reply: 20 bytes carrying one status
// byte under a reply code (accepted/refused codes, and "h" of the voice
// module), a layout no command of the library has.
bool networkReplyLayout(const std::vector<uint8_t>& b) {
  if (b.size() != 20 || std::memcmp(b.data(), "\xFE\x5C\x4B\x89", 4) != 0 || detail::le32(b.data() + 13) != 1)
    return false;
  for (int code : {0x81, int('1'), int('h'), int('l'), int('x')})
    if (b[8] == code) return true;
  return false;
}

// The short serial reply at p: FE, a kind byte, four zero bytes, the status.
bool serialReplyLayout(const uint8_t* p, size_t n) {
  return n >= 7 && p[0] == 0xFE && p[2] == 0 && p[3] == 0 && p[4] == 0 && p[5] == 0;
}

}  // namespace

void decodeTrace(std::istream& in, const FrameSink& sink) {
  // The transport of the record being read; empty outside one (after a
  // refusal); "hex" before the first header line, for an excerpt of a record:
  // its frames are then decoded as any frame of the serial line.
  std::string transport = "hex";
  std::string time;
  Endpoint peer, local;
  TraceBlock block;
  auto report = [&](Decoded& d, bool fromPeer) {
    d.frame.channel = transport;
    d.time = time;
    d.src = fromPeer ? peer : local;
    d.dst = fromPeer ? local : peer;
    sink(d);
  };
  auto endBlock = [&]() {
    if (!block.active) return;
    const uint8_t* p = block.bytes.data();
    size_t n = block.bytes.size();
    Decoded d;
    d.frame = block.reply                                      ? decodeReply(p, n)
              : transport == "serial" || transport == "hex" ? decodeSerialFrame(p, n)
                                                            : decodeNetworkFrame(p, n);
    if (block.shown > n)
      detail::fail(d.frame, "the trace shows " + std::to_string(block.shown) + " bytes, more than a frame holds; " +
                                "those after the first " + std::to_string(n) + " are skipped");
    if (block.announced >= 0 && size_t(block.announced) != block.shown)
      detail::fail(d.frame, "the trace announces " + std::to_string(block.announced) + " bytes and shows " +
                                std::to_string(block.shown));
    report(d, block.reply);
    block = TraceBlock{};
  };
  std::string line;
  std::vector<uint8_t> got;
  size_t more = 0;
  while (boundedLine(in, line, kLongestTraceLine, &more)) {
    std::string word;
    if (traceHeader(line, &word)) {
      endBlock();
      bool known = word == "udp" || word == "tcp" || word == "login" || word == "serial";
      transport = known ? word : "";
      time = line.substr(0, 23);
      const size_t rest = line.find(' ', line.find(" thread ") + 8);
      recordEnds(rest == std::string::npos ? "" : line.substr(rest + 1 + word.size()), peer, local);
      continue;
    }
    if (transport.empty()) continue;
    if (block.active && line.compare(0, 4, "    ") == 0) {
      std::string hex = line.substr(4);
      size_t beyond = 0;  // bytes of a cut line past what was kept
      if (more) {
        const size_t whole = hex.size() / 3 * 3;  // "XX " groups kept whole
        beyond = (hex.size() - whole + more + 1) / 3;
        hex.resize(whole ? whole - 1 : 0);
      }
      got.clear();
      if (traceHexLine(hex, got)) {
        const size_t room = kFrameLimit - std::min(kFrameLimit, block.bytes.size());
        block.bytes.insert(block.bytes.end(), got.begin(), got.begin() + long(std::min(room, got.size())));
        block.shown += got.size() + beyond;
        continue;
      }
    }
    endBlock();
    size_t first = line.find_first_not_of(' ');
    if (first == std::string::npos) continue;
    std::string t = line.substr(first);
    if (t.compare(0, 8, "> frame ") == 0 || t.compare(0, 8, "< reply ") == 0) {
      block.active = true;
      block.reply = t[0] == '<';
      block.announced = announcedBytes(t);
    } else if (t.compare(0, 12, "< no reply (") == 0 && t.back() == ')') {
      Decoded d;
      d.noReply = t.substr(12, t.size() - 13);
      report(d, true);
    } else if (t.compare(0, 14, "no controller ") == 0) {
      // The login link had no connection to send on.
      Decoded d;
      d.noReply = t;
      report(d, true);
    }
  }
  endBlock();
}

namespace {

// Hex text read a character at a time, so that no line or token is held
// whole, however long: tokens are runs of characters between separators
// (white space, commas, colons, semicolons), '#' starts a comment up to the
// end of the line.
class HexReader {
 public:
  explicit HexReader(const FrameSink& sink) : sink_(sink) {}

  bool read(std::istream& in, std::string* error) {
    std::streambuf* buf = in.rdbuf();
    for (int c; (c = buf->sbumpc()) != std::char_traits<char>::eof();) {
      if (c == '\n' || comment_) {
        if (c == '\n') {
          if (!endToken(error)) return false;
          comment_ = false;
          ++line_;
          flushLine();
        }
        continue;
      }
      if (c == '#') {
        if (!endToken(error)) return false;
        comment_ = true;
      } else if (std::isspace(c) || c == ',' || c == ':' || c == ';') {
        if (!endToken(error)) return false;
      } else {
        addChar(char(c));
      }
    }
    in.setstate(std::ios::eofbit);
    if (!endToken(error)) return false;
    flushLine();
    finish();
    return true;
  }

 private:
  // The longest token kept for the error message, and the bytes of a token
  // held before they are fed (a token of more is fed as it grows).
  static constexpr size_t kShownToken = 40;
  static constexpr size_t kHeldBytes = 64 * 1024;

  void addChar(char c) {
    if (token_.size() < kShownToken) token_ += c;
    ++length_;
    if (length_ == 2 && prefix_ == '0' && (c == 'x' || c == 'X')) {
      digits_ = 0;  // "0x": the digits follow
      return;
    }
    if (length_ == 1) prefix_ = c;
    const int d = hexDigit(c);
    if (d < 0) {
      valid_ = false;
      return;
    }
    if (digits_++ % 2 == 0) {
      high_ = d;
    } else {
      held_.push_back(uint8_t(high_ * 16 + d));
      if (held_.size() >= kHeldBytes) flushToken();
    }
  }

  void flushToken() {
    lineBytes_.insert(lineBytes_.end(), held_.begin(), held_.end());
    held_.clear();
    if (lineBytes_.size() >= kHeldBytes) flushLine();
  }

  bool endToken(std::string* error) {
    if (length_ == 0) return true;
    const bool ok = valid_ && digits_ % 2 == 0 && digits_ > 0;
    if (!ok) {
      if (error)
        *error = "line " + std::to_string(line_) + ": \"" + token_ + (length_ > token_.size() ? "..." : "") +
                 "\" is not hex bytes";
      // Nothing of the line that holds it is decoded.
      held_.clear();
      lineBytes_.clear();
      finish();
      return false;
    }
    flushToken();
    token_.clear();
    length_ = digits_ = 0;
    valid_ = true;
    return true;
  }

  void flushLine() {
    splitter_.feed(lineBytes_.data(), lineBytes_.size(), 0, pieces_);
    lineBytes_.clear();
    emit();
  }

  void finish() {
    splitter_.finish(pieces_);
    emit();
  }

  void report(Frame f) {
    Decoded d;
    d.frame = std::move(f);
    d.frame.channel = "hex";
    sink_(d);
  }

  void emit() {
    for (StreamPiece& piece : pieces_) {
      const std::vector<uint8_t>& b = piece.bytes;
      if (!piece.junk) {
        report(networkReplyLayout(b) ? decodeReply(b.data(), b.size()) : decodeStreamPiece(piece, true));
        continue;
      }
      // Bytes that start no frame may hold short serial replies.
      size_t at = 0, from = 0;
      while (at < b.size()) {
        if (!serialReplyLayout(b.data() + at, b.size() - at)) {
          ++at;
          continue;
        }
        if (at > from) report(junkFrame(std::vector<uint8_t>(b.begin() + long(from), b.begin() + long(at))));
        report(decodeReply(b.data() + at, 7));
        from = at += 7;
      }
      if (from < b.size()) report(junkFrame(std::vector<uint8_t>(b.begin() + long(from), b.end())));
    }
    pieces_.clear();
  }

  const FrameSink& sink_;
  StreamSplitter splitter_{true};
  std::vector<StreamPiece> pieces_;
  std::vector<uint8_t> lineBytes_;  // bytes of the line read so far
  std::vector<uint8_t> held_;        // bytes of the token read so far
  std::string token_;                // its first characters
  size_t length_ = 0, digits_ = 0;
  char prefix_ = 0;
  int high_ = 0;
  bool valid_ = true;
  bool comment_ = false;
  long line_ = 1;
};

}  // namespace

bool decodeHexText(std::istream& in, const FrameSink& sink, std::string* error) {
  return HexReader(sink).read(in, error);
}

InputKind inputKindOf(const std::string& head) {
  static const uint32_t captureMagics[] = {0xA1B2C3D4, 0xD4C3B2A1, 0xA1B23C4D, 0x4D3CB2A1, 0x0A0D0D0A};
  if (head.size() >= 4) {
    const uint8_t* p = reinterpret_cast<const uint8_t*>(head.data());
    uint32_t m = (uint32_t(p[0]) << 24) | (uint32_t(p[1]) << 16) | (uint32_t(p[2]) << 8) | p[3];
    for (uint32_t magic : captureMagics)
      if (m == magic) return InputKind::Capture;
  }
  if (head.find('\0') != std::string::npos) return InputKind::Binary;
  size_t at = 0;
  while (at < head.size()) {
    size_t end = head.find('\n', at);
    std::string line = head.substr(at, end == std::string::npos ? std::string::npos : end - at);
    size_t first = line.find_first_not_of(" \t\r");
    if (first != std::string::npos) {
      // A record's first line, or a line from within a record.
      for (const char* start : {"> frame ", "< reply ", "attempt "})
        if (line.compare(first, std::strlen(start), start) == 0) return InputKind::Trace;
      return traceHeader(line, nullptr) ? InputKind::Trace : InputKind::Hex;
    }
    if (end == std::string::npos) break;
    at = end + 1;
  }
  return InputKind::Hex;
}

}  // namespace vexasim
