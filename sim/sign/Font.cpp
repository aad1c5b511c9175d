// Sign texts and their glyphs (Font.h): bytes to characters (ASCII, and GBK
// through the decoders' table), the .hex bitmap font, and text drawn with it.
#include "Font.h"

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <fstream>

#include "Text.h"

namespace vexasim {

namespace {

int hexDigit(char c) {
  if (c >= '0' && c <= '9') return c - '0';
  if (c >= 'A' && c <= 'F') return c - 'A' + 10;
  if (c >= 'a' && c <= 'f') return c - 'a' + 10;
  return -1;
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
      const uint32_t code = detail::gbkCodePoint(p[i], p[i + 1]);
      out.push_back(SignChar{code ? code : kNoChar, 2});
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
    detail::appendUtf8(out, shown ? c.code : 0xFFFD);
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

int textWidth(const GlyphFont& font, const std::string& bytes) {
  int w = 0;
  for (const SignChar& c : decodeSignText(bytes)) {
    const Glyph* g = c.code == kNoChar ? nullptr : font.find(c.code);
    w += g ? g->width : 8 * c.bytes;
  }
  return w;
}

void drawText(RgbImage& img, const GlyphFont& font, int x, int y, const std::string& bytes, const uint8_t colour[3],
             int scale, int cx0, int cy0, int cx1, int cy1) {
  if (scale < 1) scale = 1;
  cx0 = std::max(cx0, 0);
  cy0 = std::max(cy0, 0);
  cx1 = std::min(cx1, img.width);
  cy1 = std::min(cy1, img.height);
  // Dot (dx, dy) of the character whose cell starts at x.
  auto dot = [&](int cellX, int dx, int dy) {
    const int px = cellX + dx * scale, py = y + dy * scale;
    img.fill(std::max(px, cx0), std::max(py, cy0), std::min(px + scale, cx1), std::min(py + scale, cy1), colour);
  };
  for (const SignChar& c : decodeSignText(bytes)) {
    if (x >= cx1) break;
    const Glyph* g = c.code == kNoChar ? nullptr : font.find(c.code);
    if (g) {
      for (int gy = 0; gy < 16; ++gy)
        for (int gx = 0; gx < g->width; ++gx)
          if (g->dot(gx, gy)) dot(x, gx, gy);
      x += g->width * scale;
      continue;
    }
    // A box one dot inside the character's cell.
    const int w = 8 * c.bytes;
    for (int gx = 1; gx <= w - 2; ++gx) {
      dot(x, gx, 1);
      dot(x, gx, 14);
    }
    for (int gy = 2; gy <= 13; ++gy) {
      dot(x, 1, gy);
      dot(x, w - 2, gy);
    }
    x += w * scale;
  }
}

}  // namespace vexasim
