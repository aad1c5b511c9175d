// The sign room's one raster: an 8-bit RGB picture, rows top to bottom,
// three bytes per pixel. The virtual sign's dots (one pixel per lamp, black
// where it is dark), the picture of its round lamps, the pictures of
// received bitmaps and of page sets are all drawn into it and written as PNG
// from it.
#ifndef VEXA_SIM_RASTER_H
#define VEXA_SIM_RASTER_H

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

namespace vexasim {

struct RgbImage {
  int width = 0;
  int height = 0;
  std::vector<uint8_t> pixels;

  // A picture of at least 1 x 1 pixels, all of one colour (black unless given).
  RgbImage(int w, int h, uint8_t r = 0, uint8_t g = 0, uint8_t b = 0);
  // The pixel's three bytes; x, y must lie inside.
  const uint8_t* at(int x, int y) const { return &pixels[(size_t(y) * size_t(width) + size_t(x)) * 3]; }
  // Whether the pixel is other than black; false outside the picture.
  bool lit(int x, int y) const;
  // Pixels outside the picture are left alone.
  void set(int x, int y, const uint8_t rgb[3]);
  void fill(int x0, int y0, int x1, int y1, const uint8_t rgb[3]);  // [x0,x1) x [y0,y1)
  void frame(int x0, int y0, int x1, int y1, int thickness, const uint8_t rgb[3]);
};

bool writePng(const std::string& path, const RgbImage& image);
// The PNG file of image, in memory.
bool encodePng(const RgbImage& image, std::string* out);

}  // namespace vexasim

#endif  // VEXA_SIM_RASTER_H
