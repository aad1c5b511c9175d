// Pictures of received bitmaps (vexa-sim --out): every image of an image
// group and every multimedia picture as a PNG, each pixel in the colour its
// planes give it (red, green, blue bits), unlit pixels black.
#include <cstdio>
#include <string>

#include "Bitmaps.h"
#include "Render.h"

namespace vexasim {

namespace {

// A strip is cut off here (the note says so) rather than drawn gigapixels wide.
constexpr long kMaxStrip = 1L << 20;

// How the bytes of one image are laid out for drawing.
struct Layout {
  int width = 0;
  int height = 0;
  int mode = 0;
  long planePixels = 0;  // bits of one plane in the bytes
};

bool fits(long width, long height, int mode, size_t bytes) {
  return width > 0 && height > 0 && mode >= 0 && mode <= 2 &&
         size_t(width * height * (mode + 1) / 8) == bytes;
}

Layout layoutOf(const Bitmap& b, size_t bytes, int sizeW, int sizeH, std::string* note) {
  long width = b.width > 0 ? b.width : sizeW;
  long height = b.height > 0 ? b.height : sizeH;
  int mode = b.colourMode;
  if (mode < 0 && width > 0 && height > 0) {
    const long bits = long(bytes) * 8;
    if (bits % (width * height) == 0 && bits / (width * height) <= 3)
      mode = int(bits / (width * height)) - 1;
  }
  if (width > 0 && height > 0 && width <= 65535 && height <= 65535 &&
      fits(width, height, mode, bytes))
    return Layout{int(width), int(height), mode, width * height};

  // No size, or one the bytes do not fill: every pixel in order in a strip
  // one pixel high, the planes one after another as the bytes hold them. A
  // colour mode beyond the three planes (a garbled block byte) counts as one
  // plane, so no pixel is drawn from planes that do not exist.
  if (mode < 0 || mode > 2) mode = 0;
  const long stripWidth = long(bytes) * 8 / (mode + 1);
  Layout strip{int(stripWidth > kMaxStrip ? kMaxStrip : stripWidth), 1, mode, stripWidth};
  if (note) {
    char text[160];
    if (width > 0 && height > 0)
      std::snprintf(text, sizeof text, "%zu bytes do not fill %ldx%ld in colour mode %d; drawn as a %dx1 strip",
                    bytes, width, height, b.colourMode, strip.width);
    else
      std::snprintf(text, sizeof text, "size unknown (see --bitmap-size); %zu bytes drawn as a %dx1 strip",
                    bytes, strip.width);
    *note = text;
    if (stripWidth > kMaxStrip) *note += " (cut to its first " + std::to_string(kMaxStrip) + " pixels)";
  }
  return strip;
}

}  // namespace

RgbImage drawBitmap(const Bitmap& b, int k, int sizeW, int sizeH, std::string* note) {
  const int images = b.imageCount > 0 && b.bytes.size() % size_t(b.imageCount) == 0 ? b.imageCount : 1;
  const size_t per = b.bytes.size() / size_t(images);
  const size_t start = per * size_t(k < 0 || k >= images ? 0 : k);
  const Layout l = layoutOf(b, per, sizeW, sizeH, note);
  RgbImage image(l.width, l.height, 0, 0, 0);
  for (int y = 0; y < l.height; ++y) {
    for (int x = 0; x < l.width; ++x) {
      uint8_t rgb[3] = {0, 0, 0};
      for (int plane = 0; plane <= l.mode && plane < 3; ++plane) {
        const long bit = plane * l.planePixels + long(y) * l.width + x;
        const size_t at = start + size_t(bit / 8);
        if (size_t(bit / 8) < per && (b.bytes[at] & (0x80 >> (bit % 8)))) rgb[plane] = 255;
      }
      image.set(x, y, rgb);
    }
  }
  return image;
}

std::vector<std::string> writeBitmapFiles(const Frame& f, const std::string& dir, int sizeW,
                                          int sizeH, std::string* note) {
  static BitmapCollector collector;
  static int counter = 0;
  std::vector<std::string> written;
  std::optional<Bitmap> b = collector.add(f);
  if (!b) return written;
  ++counter;
  std::string material;
  for (char c : b->materialId)
    if ((c >= '0' && c <= '9') || c == '-') material += c;
  const int images = b->imageCount > 0 && b->bytes.size() % size_t(b->imageCount) == 0 ? b->imageCount : 1;
  for (int k = 0; k < images; ++k) {
    RgbImage image = drawBitmap(*b, k, sizeW, sizeH, note);
    char name[96];
    if (b->command == 0x31)
      std::snprintf(name, sizeof name, "/imagegroup-%03d-%s-%d.png", counter,
                    material.empty() ? "unnumbered" : material.c_str(), k + 1);
    else
      std::snprintf(name, sizeof name, "/multimedia-%03d.png", counter);
    const std::string path = dir + name;
    if (writePng(path, image)) written.push_back(path);
    else if (note) *note = "cannot write " + path;
  }
  return written;
}

}  // namespace vexasim
