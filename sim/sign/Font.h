// The sign room's one way of drawing text: sign texts (ASCII and GBK) read
// into characters, glyphs of a bitmap font in the .hex form (Unifont's),
// and the text drawn into the raster, as the virtual sign's dots or, a dot
// a square of pixels, as the labels of a picture.
#ifndef VEXA_SIM_FONT_H
#define VEXA_SIM_FONT_H

#include <cstddef>
#include <cstdint>
#include <string>
#include <unordered_map>
#include <vector>

#include "Raster.h"

namespace vexasim {

// One character of a sign text: its code point (kNoChar when the bytes are no
// character) and the number of bytes it took, which is also its width in
// 8-pixel cells when the font lacks it.
struct SignChar {
  uint32_t code = 0;
  int bytes = 1;
};
constexpr uint32_t kNoChar = 0xFFFFFFFFu;

// Sign texts are single bytes below 0x80 and GBK double-byte characters
// (converted through the decoders' one GBK table, detail::gbkCodePoint); a
// byte that starts no character is kNoChar.
std::vector<SignChar> decodeSignText(const std::string& bytes);
// The same text as UTF-8 for a person to read; kNoChar becomes U+FFFD and
// control bytes are shown as U+FFFD too.
std::string signTextUtf8(const std::string& bytes);

// One glyph: 16 rows of 8 or 16 dots, most significant bit leftmost.
struct Glyph {
  int width = 8;
  uint8_t rows[32] = {};  // width 8: one byte per row; width 16: two
  bool dot(int x, int y) const;
};

// A bitmap font in the .hex form: one glyph per line, "CODE:DOTS" with the
// code point in hex and 32 (8 x 16) or 64 (16 x 16) hex digits of dots.
class GlyphFont {
 public:
  static constexpr const char* kDefaultPath = "/usr/share/unifont/unifont.hex";
  // Reads the file, replacing any glyphs held. Lines that are not glyphs are
  // skipped and counted in *skipped. False when the file cannot be read or
  // holds no glyph.
  bool load(const std::string& path, std::string* error = nullptr, size_t* skipped = nullptr);
  // Adds or replaces one glyph from its .hex line; false for a malformed line.
  bool addLine(const std::string& line);
  const Glyph* find(uint32_t code) const;
  size_t size() const { return glyphs_.size(); }

 private:
  std::unordered_map<uint32_t, Glyph> glyphs_;
};

// Draws text (bytes in the sign's encoding) into img with its first
// character's top-left dot at (x, y), every dot of a glyph a square of
// scale x scale pixels, clipped to the rectangle [cx0, cx1) x [cy0, cy1).
// Glyphs the font lacks are boxes one dot inside their cell of 8 dots per
// byte.
void drawText(RgbImage& img, const GlyphFont& font, int x, int y, const std::string& bytes, const uint8_t colour[3],
             int scale, int cx0, int cy0, int cx1, int cy1);
// The width of text in dots as drawText() draws it.
int textWidth(const GlyphFont& font, const std::string& bytes);

}  // namespace vexasim

#endif  // VEXA_SIM_FONT_H
