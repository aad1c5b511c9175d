// check-text: whether a text can be sent (every character has a GBK form)
// and shown (the signs' 16-dot font has a glyph for it).
#include <cstdio>
#include <fstream>
#include <ostream>
#include <set>

#include "Cli.h"

namespace cli {

namespace {

struct Character {
  std::string utf8;       // its bytes as given
  char32_t code = 0;      // its code point
  bool valid = true;      // false: a byte that starts no UTF-8 character
};

// The text cut into its characters. A byte that starts no well-formed
// character stands alone, marked invalid.
std::vector<Character> Characters(const std::string& s) {
  std::vector<Character> out;
  const auto* p = reinterpret_cast<const unsigned char*>(s.data());
  const size_t n = s.size();
  for (size_t i = 0; i < n;) {
    const unsigned char b = p[i];
    // Bytes that follow the first: 0 to 3, or -1 for a byte that starts none.
    const int more = b < 0x80 ? 0 : b >= 0xC2 && b <= 0xDF ? 1 : b >= 0xE0 && b <= 0xEF ? 2
                   : b >= 0xF0 && b <= 0xF4 ? 3 : -1;
    bool ok = more >= 0 && i + static_cast<size_t>(more) < n;
    char32_t code = more <= 0 ? b : b & (0x7F >> (more + 1));
    for (int k = 1; ok && k <= more; ++k) {
      ok = (p[i + k] & 0xC0) == 0x80;
      code = (code << 6) | (p[i + k] & 0x3F);
    }
    Character c;
    if (ok) {
      c.code = code;
      c.utf8.assign(s, i, static_cast<size_t>(more) + 1);
      i += static_cast<size_t>(more) + 1;
    } else {
      c.valid = false;
      c.code = b;
      c.utf8.assign(1, static_cast<char>(b));
      ++i;
    }
    out.push_back(c);
  }
  return out;
}

std::string Named(const Character& c) {
  char code[32];
  if (!c.valid) {
    std::snprintf(code, sizeof code, "byte 0x%02X (no UTF-8)", static_cast<unsigned>(c.code));
    return code;
  }
  std::snprintf(code, sizeof code, "U+%04X", static_cast<unsigned>(c.code));
  return std::string(code) + " '" + c.utf8 + "'";
}

std::string Hex(const std::string& bytes) {
  std::string out;
  char b[4];
  for (unsigned char c : bytes) {
    std::snprintf(b, sizeof b, out.empty() ? "%02X" : " %02X", c);
    out += b;
  }
  return out;
}

// The code points of `wanted` that the .hex font at `path` has a glyph for
// (lines "XXXX:bits"); false when the file cannot be read.
bool Glyphs(const std::string& path, const std::set<char32_t>& wanted, std::set<char32_t>* found) {
  std::ifstream in(path);
  if (!in) return false;
  std::string line;
  while (std::getline(in, line)) {
    const size_t colon = line.find(':');
    if (colon == std::string::npos || colon == 0 || colon > 8) continue;
    char32_t code = 0;
    bool hex = true;
    for (size_t i = 0; i < colon && hex; ++i) {
      const char h = line[i];
      const int v = h >= '0' && h <= '9' ? h - '0' : h >= 'A' && h <= 'F' ? h - 'A' + 10
                    : h >= 'a' && h <= 'f' ? h - 'a' + 10 : -1;
      hex = v >= 0;
      code = code * 16 + static_cast<char32_t>(v);
    }
    if (hex && wanted.count(code)) found->insert(code);
  }
  return !in.bad();
}

}  // namespace

int CheckText(std::ostream& out, const std::string& utf8, const std::string& fontPath) {
  const std::vector<Character> chars = Characters(utf8);
  std::string gbk;
  std::vector<std::string> noGbk, noGlyph;
  std::set<char32_t> wanted;
  for (const Character& c : chars) {
    std::optional<std::string> bytes = c.valid ? hall::ToGbk(c.utf8) : std::nullopt;
    if (bytes) {
      gbk += *bytes;
    } else {
      noGbk.push_back(Named(c));
    }
    if (c.valid) wanted.insert(c.code);
  }
  std::set<char32_t> glyphs;
  const bool font = Glyphs(fontPath, wanted, &glyphs);
  if (font) {
    std::set<char32_t> named;
    for (const Character& c : chars) {
      if (c.valid && !glyphs.count(c.code) && named.insert(c.code).second) noGlyph.push_back(Named(c));
    }
  }
  out << "GBK: " << (gbk.empty() ? "(no bytes)" : Hex(gbk)) << " (" << gbk.size() << " bytes)\n";
  for (const std::string& n : noGbk) out << "GBK cannot hold " << n << '\n';
  if (!font) {
    out << "font " << fontPath << " cannot be read: GBK checked only\n";
  } else {
    for (const std::string& n : noGlyph) out << "the font has no glyph for " << n << '\n';
  }
  if (noGbk.empty() && noGlyph.empty()) {
    out << (font ? "every character can be sent and shown\n" : "every character can be sent\n");
    return 0;
  }
  return kDataError;
}

}  // namespace cli
