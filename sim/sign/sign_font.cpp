// Sign texts and their glyphs: bytes to characters (ASCII and GBK through the
// C library's iconv) and the .hex bitmap font the characters are drawn in.
#include <iconv.h>

#include <cerrno>
#include <cstring>
#include <fstream>
#include <mutex>

#include "Sign.h"

namespace vexasim {

namespace {

// One GBK double-byte character to its code point, kNoChar when the pair is
// none. One conversion descriptor serves the process; iconv keeps state in
// it, so calls take turns.
uint32_t gbkPair(uint8_t lead, uint8_t trail) {
  static std::mutex mu;
  static iconv_t cd = iconv_open("UTF-32LE", "GBK");
  if (cd == iconv_t(-1)) return kNoChar;
  std::lock_guard<std::mutex> lk(mu);
  char in[2] = {char(lead), char(trail)};
  unsigned char out[8] = {};
  char* inp = in;
  char* outp = reinterpret_cast<char*>(out);
  size_t inLeft = 2, outLeft = sizeof out;
  iconv(cd, nullptr, nullptr, nullptr, nullptr);
  if (iconv(cd, &inp, &inLeft, &outp, &outLeft) == size_t(-1) || inLeft != 0 || outLeft != 4)
    return kNoChar;
  return uint32_t(out[0]) | (uint32_t(out[1]) << 8) | (uint32_t(out[2]) << 16) | (uint32_t(out[3]) << 24);
}

int hexDigit(char c) {
  if (c >= '0' && c <= '9') return c - '0';
  if (c >= 'A' && c <= 'F') return c - 'A' + 10;
  if (c >= 'a' && c <= 'f') return c - 'a' + 10;
  return -1;
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

}  // namespace

std::vector<SignChar> decodeSignText(const std::string& bytes) {
  std::vector<SignChar> out;
  const auto* p = reinterpret_cast<const uint8_t*>(bytes.data());
  const size_t n = bytes.size();
  for (size_t i = 0; i < n;) {
    if (p[i] < 0x80) {
      out.push_back(SignChar{p[i], 1});
      ++i;
    } else if (p[i] >= 0x81 && p[i] <= 0xFE && i + 1 < n && p[i + 1] >= 0x40 && p[i + 1] != 0x7F &&
               p[i + 1] != 0xFF) {
      out.push_back(SignChar{gbkPair(p[i], p[i + 1]), 2});
      i += 2;
    } else {
      // No lead byte, or none followed by a byte that can end a character.
      out.push_back(SignChar{kNoChar, 1});
      ++i;
    }
  }
  return out;
}

std::string signTextUtf8(const std::string& bytes) {
  std::string out;
  for (const SignChar& c : decodeSignText(bytes)) {
    const bool shown = c.code != kNoChar && c.code >= 0x20 && c.code != 0x7F &&
                       !(c.code >= 0xD800 && c.code <= 0xDFFF) && c.code <= 0x10FFFF;
    appendUtf8(out, shown ? c.code : 0xFFFD);
  }
  return out;
}

bool Glyph::dot(int x, int y) const {
  if (x < 0 || y < 0 || x >= width || y >= 16) return false;
  const uint8_t b = width == 16 ? rows[2 * y + x / 8] : rows[y];
  return (b >> (7 - x % 8)) & 1;
}

bool GlyphFont::addLine(const std::string& line) {
  size_t colon = line.find(':');
  if (colon == 0 || colon == std::string::npos || colon > 8) return false;
  uint32_t code = 0;
  for (size_t i = 0; i < colon; ++i) {
    int d = hexDigit(line[i]);
    if (d < 0) return false;
    code = code * 16 + uint32_t(d);
  }
  size_t end = line.size();
  while (end > colon + 1 && (line[end - 1] == '\r' || line[end - 1] == ' ')) --end;
  const size_t digits = end - colon - 1;
  if (digits != 32 && digits != 64) return false;
  Glyph g;
  g.width = digits == 64 ? 16 : 8;
  for (size_t k = 0; k < digits / 2; ++k) {
    int hi = hexDigit(line[colon + 1 + 2 * k]), lo = hexDigit(line[colon + 2 + 2 * k]);
    if (hi < 0 || lo < 0) return false;
    g.rows[k] = uint8_t(hi * 16 + lo);
  }
  glyphs_[code] = g;
  return true;
}

bool GlyphFont::load(const std::string& path, std::string* error, size_t* skipped) {
  std::ifstream in(path);
  if (!in) {
    if (error) *error = "cannot read the font " + path + ": " + std::strerror(errno);
    return false;
  }
  glyphs_.clear();
  size_t bad = 0;
  std::string line;
  while (std::getline(in, line)) {
    if (line.empty() || line[0] == '#') continue;
    if (!addLine(line)) ++bad;
  }
  if (skipped) *skipped = bad;
  if (glyphs_.empty()) {
    if (error) *error = "no glyph in the font " + path;
    return false;
  }
  return true;
}

const Glyph* GlyphFont::find(uint32_t code) const {
  auto it = glyphs_.find(code);
  return it == glyphs_.end() ? nullptr : &it->second;
}

}  // namespace vexasim
