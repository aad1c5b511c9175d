// The decoders' text helpers: hex dumps, quoted texts, GBK characters as
// code points and UTF-8 (through one table made once with iconv), and JSON
// strings. Every printer of frames and the virtual sign's texts go through
// these.
//
// The printers run for every frame the emulator receives, and the fuzz
// target prints every input it decodes: they append runs of bytes that need
// no escape in one piece and convert GBK through a table.
#include "Text.h"

#include <iconv.h>

#include <cstring>
#include <vector>

namespace vexasim {
namespace detail {

namespace {

// Four bytes as "XX XX XX XX " in twelve characters: the bytes' nibbles
// spread to a byte each and turned into digits all at once. Whole frames are
// dumped in hex for every JSON line, so this is the printers' busiest loop;
// done byte by byte it costs a third of the fuzz target's time under the
// sanitizers, which check every step.
void hexOfFour(const uint8_t* p, char* o) {
  const uint64_t v = uint64_t(p[0]) | uint64_t(p[1]) << 8 | uint64_t(p[2]) << 16 | uint64_t(p[3]) << 24;
  const uint64_t spread = (v & 0xFF) | (v & 0xFF00) << 8 | (v & 0xFF0000) << 16 | (v & 0xFF000000) << 24;
  constexpr uint64_t lowNibbles = 0x000F000F000F000Full, ones = 0x0101010101010101ull;
  // Byte 2i: the high nibble of byte i, byte 2i + 1 its low nibble.
  const uint64_t nibbles = ((spread >> 4) & lowNibbles) | (spread & lowNibbles) << 8;
  const uint64_t letters = ((nibbles + ones * 6) >> 4) & ones;  // 1 for nibbles from 10
  const uint64_t d = nibbles + ones * '0' + letters * ('A' - '0' - 10);
  const char text[12] = {char(d), char(d >> 8), ' ', char(d >> 16), char(d >> 24), ' ',
                         char(d >> 32), char(d >> 40), ' ', char(d >> 48), char(d >> 56), ' '};
  std::memcpy(o, text, sizeof text);
}

}  // namespace

// Appends "01 FE" for n bytes.
void appendHex(std::string& s, const uint8_t* p, size_t n) {
  if (n == 0) return;
  const size_t at = s.size();
  s.resize(at + n * 3 - 1);
  char* o = &s[at];
  // Groups of four while more than four are left (each writes a space after it).
  size_t done = 0;
  for (; n - done > 4; done += 4) hexOfFour(p + done, o + 3 * done);
  const char* const digits = "0123456789ABCDEF";  // a pointer: no bounds check per digit under a sanitizer
  for (; done < n; ++done) {
    o[3 * done] = digits[p[done] >> 4];
    o[3 * done + 1] = digits[p[done] & 15];
    if (done + 1 < n) o[3 * done + 2] = ' ';
  }
}


std::string hexBytes(const uint8_t* p, size_t n) {
  std::string s;
  appendHex(s, p, n);
  return s;
}

std::string hexCode(int code) {
  const char* const digits = "0123456789abcdef";
  const char b[4] = {'0', 'x', digits[(code >> 4) & 15], digits[code & 15]};
  return std::string(b, sizeof b);
}

namespace {

// Whether a byte is shown escaped in a quoted text and in a JSON string:
// quote, backslash, control bytes, and every byte from 7F (in JSON those may
// start a UTF-8 character).
bool special(unsigned char c) { return c < 0x20 || c >= 0x7F || c == '"' || c == '\\'; }

// Length of the run of bytes at p (n of them) that are not special. Texts
// and hex dumps are long runs of such bytes, so they are tested eight at a
// time.
size_t plainRun(const char* p, size_t n) {
  constexpr uint64_t ones = 0x0101010101010101ull, highs = 0x8080808080808080ull;
  auto anyZero = [](uint64_t v) { return (v - ones) & ~v & highs; };
  size_t i = 0;
  for (; i + 8 <= n; i += 8) {
    uint64_t w;
    std::memcpy(&w, p + i, 8);
    // A byte from 80, below 20, equal to 7F, to '"' or to '\\'.
    const uint64_t found = (w & highs) | ((w - ones * 0x20) & ~w & highs) | ((w + ones) & highs) |
                           anyZero(w ^ (ones * '"')) | anyZero(w ^ (ones * '\\'));
    if (found) break;
  }
  while (i < n && !special(static_cast<unsigned char>(p[i]))) ++i;
  return i;
}

void appendByte(std::string& s, uint8_t c) {
  const char* const digits = "0123456789ABCDEF";  // a pointer: no bounds check per digit under a sanitizer
  if (c == '"' || c == '\\') {
    const char b[2] = {'\\', char(c)};
    s.append(b, 2);
  } else if (c >= 0x20 && c < 0x7F) {
    s += char(c);
  } else {
    const char b[4] = {'\\', 'x', digits[c >> 4], digits[c & 15]};
    s.append(b, 4);
  }
}

}  // namespace

// The code points of the GBK double-byte characters, 0 where a pair is none:
// lead bytes 81..FE, trail bytes 40..FE. Made once through iconv.
constexpr unsigned kLeads = 0xFE - 0x81 + 1, kTrails = 0xFE - 0x40 + 1;

namespace {

const std::vector<uint32_t>& gbkTable() {
  static const std::vector<uint32_t> table = [] {
    std::vector<uint32_t> t(kLeads * kTrails, 0);
    iconv_t cd = iconv_open("UTF-32LE", "GBK");
    if (cd == iconv_t(-1)) return t;
    for (unsigned lead = 0; lead < kLeads; ++lead) {
      for (unsigned trail = 0; trail < kTrails; ++trail) {
        char in[2] = {char(0x81 + lead), char(0x40 + trail)};
        unsigned char out[8];
        char* inp = in;
        char* outp = reinterpret_cast<char*>(out);
        size_t inLeft = sizeof in, outLeft = sizeof out;
        iconv(cd, nullptr, nullptr, nullptr, nullptr);
        if (iconv(cd, &inp, &inLeft, &outp, &outLeft) == size_t(-1) || inLeft != 0 || outLeft != 4) continue;
        t[lead * kTrails + trail] =
            uint32_t(out[0]) | (uint32_t(out[1]) << 8) | (uint32_t(out[2]) << 16) | (uint32_t(out[3]) << 24);
      }
    }
    iconv_close(cd);
    return t;
  }();
  return table;
}

}  // namespace

uint32_t gbkCodePoint(uint8_t lead, uint8_t trail) {
  if (lead < 0x81 || lead == 0xFF || trail < 0x40 || trail == 0xFF) return 0;
  return gbkTable()[(lead - 0x81u) * kTrails + (trail - 0x40u)];
}

void appendUtf8(std::string& out, uint32_t c) {
  if (c < 0x80) {
    out += char(c);
  } else if (c < 0x800) {
    out += char(0xC0 | (c >> 6));
    out += char(0x80 | (c & 0x3F));
  } else if (c < 0x10000) {
    out += char(0xE0 | (c >> 12));
    out += char(0x80 | ((c >> 6) & 0x3F));
    out += char(0x80 | (c & 0x3F));
  } else {
    out += char(0xF0 | (c >> 18));
    out += char(0x80 | ((c >> 12) & 0x3F));
    out += char(0x80 | ((c >> 6) & 0x3F));
    out += char(0x80 | (c & 0x3F));
  }
}

bool gbkToUtf8(uint8_t lead, uint8_t trail, std::string& out) {
  const uint32_t c = gbkCodePoint(lead, trail);
  if (c == 0) return false;
  appendUtf8(out, c);
  return true;
}

namespace {

// The text in quotes, printable ASCII as it is; with `gbk`, each GBK
// character as UTF-8; every other byte as \xNN.
std::string quoted(const uint8_t* p, size_t n, bool gbk) {
  std::string s;
  s.reserve(n + 2);
  s += '"';
  const char* c = reinterpret_cast<const char*>(p);
  for (size_t i = 0; i < n;) {
    const size_t run = plainRun(c + i, n - i);
    s.append(c + i, run);
    i += run;
    if (i == n) break;
    if (gbk && p[i] >= 0x80 && i + 1 < n && gbkToUtf8(p[i], p[i + 1], s)) {
      i += 2;
    } else {
      appendByte(s, p[i++]);
    }
  }
  s += '"';
  return s;
}

}  // namespace

std::string quotedText(const uint8_t* p, size_t n) { return quoted(p, n, false); }

std::string shownText(const uint8_t* p, size_t n) { return quoted(p, n, true); }

namespace {

// Length of the UTF-8 sequence at p (n bytes left); 0 when it is none.
size_t utf8Length(const unsigned char* p, size_t n) {
  const unsigned char c = p[0];
  size_t len = c >= 0xF0 && c <= 0xF4 ? 4 : c >= 0xE0 ? 3 : c >= 0xC2 && c <= 0xDF ? 2 : 0;
  if (c >= 0xF5 || len == 0 || len > n) return 0;
  for (size_t k = 1; k < len; ++k)
    if ((p[k] & 0xC0) != 0x80) return 0;
  // Overlong forms, surrogates and code points past U+10FFFF.
  if ((c == 0xE0 && p[1] < 0xA0) || (c == 0xED && p[1] >= 0xA0) || (c == 0xF0 && p[1] < 0x90) ||
      (c == 0xF4 && p[1] >= 0x90))
    return 0;
  return len;
}

}  // namespace

void appendJsonChars(std::string& out, const std::string& s) {
  const char* p = s.c_str();
  const size_t n = s.size();
  for (size_t i = 0; i < n;) {
    const size_t run = plainRun(p + i, n - i);
    out.append(p + i, run);
    i += run;
    if (i == n) break;
    const unsigned char c = static_cast<unsigned char>(p[i]);
    const size_t len = c >= 0x80 ? utf8Length(reinterpret_cast<const unsigned char*>(p) + i, n - i) : 0;
    if (len) {
      out.append(p + i, len);
      i += len;
      continue;
    }
    switch (c) {
      case '"': out += "\\\""; break;
      case '\\': out += "\\\\"; break;
      case '\n': out += "\\n"; break;
      case '\r': out += "\\r"; break;
      case '\t': out += "\\t"; break;
      default: {
        const char* const digits = "0123456789abcdef";
        const char b[6] = {'\\', 'u', '0', '0', digits[c >> 4], digits[c & 15]};
        out.append(b, 6);
      }
    }
    ++i;
  }
}


std::string jsonString(const std::string& s) {
  std::string out;
  out.reserve(s.size() + 2);
  out += '"';
  appendJsonChars(out, s);
  out += '"';
  return out;
}

}  // namespace detail
}  // namespace vexasim
