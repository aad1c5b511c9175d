// Frames in text: the library's trace and hex dumps (Decode.h).
#include <cctype>
#include <cstring>
#include <istream>

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

// The number before " bytes" at the end of "> frame 1 of 2: 21 bytes" or
// "< reply 20 bytes"; -1 when there is none.
long announcedBytes(const std::string& s) {
  const std::string unit = " bytes";
  if (s.size() <= unit.size() || s.compare(s.size() - unit.size(), unit.size(), unit) != 0) return -1;
  size_t end = s.size() - unit.size(), start = end;
  while (start > 0 && std::isdigit(static_cast<unsigned char>(s[start - 1]))) --start;
  if (start == end || end - start > 9) return -1;
  return std::stol(s.substr(start, end - start));
}

struct TraceBlock {
  bool active = false;
  bool reply = false;
  long announced = -1;
  std::vector<uint8_t> bytes;
};

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
  TraceBlock block;
  auto endBlock = [&]() {
    if (!block.active) return;
    const uint8_t* p = block.bytes.data();
    size_t n = block.bytes.size();
    Frame f = block.reply                                      ? decodeReply(p, n)
              : transport == "serial" || transport == "hex" ? decodeSerialFrame(p, n)
                                                            : decodeNetworkFrame(p, n);
    if (block.announced >= 0 && size_t(block.announced) != n)
      detail::fail(f, "the trace announces " + std::to_string(block.announced) + " bytes and shows " +
                          std::to_string(n));
    f.channel = transport;
    sink(f);
    block = TraceBlock{};
  };
  std::string line;
  while (std::getline(in, line)) {
    if (!line.empty() && line.back() == '\r') line.pop_back();
    std::string word;
    if (traceHeader(line, &word)) {
      endBlock();
      bool known = word == "udp" || word == "tcp" || word == "login" || word == "serial";
      transport = known ? word : "";
      continue;
    }
    if (transport.empty()) continue;
    if (block.active && line.compare(0, 4, "    ") == 0 && traceHexLine(line.substr(4), block.bytes)) continue;
    endBlock();
    size_t first = line.find_first_not_of(' ');
    if (first == std::string::npos) continue;
    std::string t = line.substr(first);
    if (t.compare(0, 8, "> frame ") == 0 || t.compare(0, 8, "< reply ") == 0) {
      block.active = true;
      block.reply = t[0] == '<';
      block.announced = announcedBytes(t);
    }
  }
  endBlock();
}

bool decodeHexText(std::istream& in, const FrameSink& sink, std::string* error) {
  StreamSplitter splitter(true);
  std::vector<StreamPiece> pieces;
  auto report = [&](Frame f) {
    f.channel = "hex";
    sink(f);
  };
  auto emit = [&]() {
    for (StreamPiece& piece : pieces) {
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
    pieces.clear();
  };
  std::string line;
  for (long number = 1; std::getline(in, line); ++number) {
    line = line.substr(0, line.find('#'));
    std::vector<uint8_t> bytes;
    size_t i = 0;
    while (i < line.size()) {
      char c = line[i];
      if (std::isspace(static_cast<unsigned char>(c)) || c == ',' || c == ':' || c == ';') {
        ++i;
        continue;
      }
      size_t end = i;
      while (end < line.size() && !std::isspace(static_cast<unsigned char>(line[end])) && line[end] != ',' &&
             line[end] != ':' && line[end] != ';')
        ++end;
      std::string token = line.substr(i, end - i);
      i = end;
      if (token.size() > 2 && token[0] == '0' && (token[1] == 'x' || token[1] == 'X')) token = token.substr(2);
      bool ok = token.size() % 2 == 0;
      for (char d : token) ok = ok && hexDigit(d) >= 0;
      if (!ok) {
        if (error) *error = "line " + std::to_string(number) + ": \"" + token + "\" is not hex bytes";
        splitter.finish(pieces);
        emit();
        return false;
      }
      for (size_t k = 0; k < token.size(); k += 2)
        bytes.push_back(uint8_t(hexDigit(token[k]) * 16 + hexDigit(token[k + 1])));
    }
    splitter.feed(bytes.data(), bytes.size(), 0, pieces);
    emit();
  }
  splitter.finish(pieces);
  emit();
  return true;
}

InputKind inputKindOf(const std::string& head) {
  static const uint32_t captureMagics[] = {0xA1B2C3D4, 0xD4C3B2A1, 0xA1B23C4D, 0x4D3CB2A1, 0x0A0D0D0A};
  if (head.size() >= 4) {
    const uint8_t* p = reinterpret_cast<const uint8_t*>(head.data());
    uint32_t m = (uint32_t(p[0]) << 24) | (uint32_t(p[1]) << 16) | (uint32_t(p[2]) << 8) | p[3];
    for (uint32_t magic : captureMagics)
      if (m == magic) return InputKind::Capture;
  }
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
