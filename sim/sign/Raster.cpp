// The sign room's raster and its PNG output (Raster.h), written with stb's
// PNG writer.
#include "Raster.h"

#include <algorithm>
#include <cstring>

#pragma GCC diagnostic push
#pragma GCC diagnostic ignored "-Wunused-function"
#pragma GCC diagnostic ignored "-Wsign-compare"
#pragma GCC diagnostic ignored "-Wmissing-field-initializers"
#pragma GCC diagnostic ignored "-Wunused-parameter"
#define STB_IMAGE_WRITE_STATIC
#define STB_IMAGE_WRITE_IMPLEMENTATION
#include <stb/stb_image_write.h>
#pragma GCC diagnostic pop

namespace vexasim {

namespace {

// Writes `count` pixels of one colour from dst on: the first by hand, then
// doubling copies of what is written, so that a large area costs a few
// memcpy calls instead of a loop over every byte.
void repeatPixel(uint8_t* dst, size_t count, const uint8_t rgb[3]) {
  if (count == 0) return;
  dst[0] = rgb[0];
  dst[1] = rgb[1];
  dst[2] = rgb[2];
  const size_t bytes = count * 3;
  for (size_t done = 3; done < bytes;) {
    const size_t n = std::min(done, bytes - done);
    std::memcpy(dst + done, dst, n);
    done += n;
  }
}

}  // namespace

RgbImage::RgbImage(int w, int h, uint8_t r, uint8_t g, uint8_t b)
    : width(w < 1 ? 1 : w), height(h < 1 ? 1 : h) {
  const size_t count = size_t(width) * size_t(height);
  if (r == g && g == b) {
    pixels.assign(count * 3, r);
    return;
  }
  pixels.resize(count * 3);
  const uint8_t rgb[3] = {r, g, b};
  repeatPixel(pixels.data(), count, rgb);
}

bool RgbImage::lit(int x, int y) const {
  if (x < 0 || y < 0 || x >= width || y >= height) return false;
  const uint8_t* p = at(x, y);
  return p[0] || p[1] || p[2];
}

void RgbImage::set(int x, int y, const uint8_t rgb[3]) {
  if (x < 0 || y < 0 || x >= width || y >= height) return;
  uint8_t* p = &pixels[(size_t(y) * size_t(width) + size_t(x)) * 3];
  p[0] = rgb[0];
  p[1] = rgb[1];
  p[2] = rgb[2];
}

void RgbImage::fill(int x0, int y0, int x1, int y1, const uint8_t rgb[3]) {
  if (x0 < 0) x0 = 0;
  if (y0 < 0) y0 = 0;
  if (x1 > width) x1 = width;
  if (y1 > height) y1 = height;
  if (x0 >= x1 || y0 >= y1) return;
  // The first row of the area, then copies of it.
  const size_t rowBytes = size_t(x1 - x0) * 3;
  uint8_t* first = &pixels[(size_t(y0) * size_t(width) + size_t(x0)) * 3];
  repeatPixel(first, size_t(x1 - x0), rgb);
  for (int y = y0 + 1; y < y1; ++y)
    std::memcpy(&pixels[(size_t(y) * size_t(width) + size_t(x0)) * 3], first, rowBytes);
}

void RgbImage::frame(int x0, int y0, int x1, int y1, int t, const uint8_t rgb[3]) {
  fill(x0, y0, x1, y0 + t, rgb);
  fill(x0, y1 - t, x1, y1, rgb);
  fill(x0, y0, x0 + t, y1, rgb);
  fill(x1 - t, y0, x1, y1, rgb);
}

namespace {

// Pictures are written while frames keep arriving: fast beats small. Every
// row is stored against the row above it instead of trying each filter per
// row, which takes most of the time; drawn pictures repeat rows a lot, so
// they stay small. The settings are the writer's globals; they are set once,
// before the first picture, as pictures are made on more than one thread.
void fastPng() {
  static const bool set = [] {
    stbi_write_png_compression_level = 4;
    stbi_write_force_png_filter = 2;
    return true;
  }();
  (void)set;
}

void appendBytes(void* context, void* data, int size) {
  static_cast<std::string*>(context)->append(static_cast<const char*>(data), size_t(size));
}

}  // namespace

bool writePng(const std::string& path, const RgbImage& image) {
  fastPng();
  return stbi_write_png(path.c_str(), image.width, image.height, 3, image.pixels.data(),
                        image.width * 3) != 0;
}

bool encodePng(const RgbImage& image, std::string* out) {
  fastPng();
  out->clear();
  return stbi_write_png_to_func(appendBytes, out, image.width, image.height, 3, image.pixels.data(),
                                image.width * 3) != 0;
}

}  // namespace vexasim
