// Writing what the emulator received as pictures: the small raster used for
// them, its font, PNG output, and the choice of picture per frame.
#include <atomic>
#include <cstdio>
#include <string>

#include "Render.h"

#pragma GCC diagnostic push
#pragma GCC diagnostic ignored "-Wunused-function"
#pragma GCC diagnostic ignored "-Wsign-compare"
#pragma GCC diagnostic ignored "-Wmissing-field-initializers"
#pragma GCC diagnostic ignored "-Wunused-parameter"
#define STB_IMAGE_WRITE_STATIC
#define STB_IMAGE_WRITE_IMPLEMENTATION
#include <stb/stb_image_write.h>
#include <stb/stb_easy_font.h>
#pragma GCC diagnostic pop

namespace vexasim {

RgbImage::RgbImage(int w, int h, uint8_t r, uint8_t g, uint8_t b)
    : width(w < 1 ? 1 : w), height(h < 1 ? 1 : h) {
  pixels.resize(size_t(width) * size_t(height) * 3);
  for (size_t i = 0; i < pixels.size(); i += 3) {
    pixels[i] = r;
    pixels[i + 1] = g;
    pixels[i + 2] = b;
  }
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
  for (int y = y0; y < y1; ++y)
    for (int x = x0; x < x1; ++x) set(x, y, rgb);
}

void RgbImage::frame(int x0, int y0, int x1, int y1, int t, const uint8_t rgb[3]) {
  fill(x0, y0, x1, y0 + t, rgb);
  fill(x0, y1 - t, x1, y1, rgb);
  fill(x0, y0, x0 + t, y1, rgb);
  fill(x1 - t, y0, x1, y1, rgb);
}

void RgbImage::text(int x, int y, const std::string& s, int scale, const uint8_t rgb[3], int cx0,
                    int cy0, int cx1, int cy1) {
  if (s.empty() || scale < 1) return;
  std::string copy = s;
  // 270 bytes of vertices per character is stb_easy_font's own estimate.
  std::vector<char> vertices(copy.size() * 300 + 300);
  unsigned char white[4] = {255, 255, 255, 255};
  int quads = stb_easy_font_print(0, 0, &copy[0], white, vertices.data(), int(vertices.size()));
  for (int q = 0; q < quads; ++q) {
    float minX = 1e9f, minY = 1e9f, maxX = -1e9f, maxY = -1e9f;
    for (int v = 0; v < 4; ++v) {
      const float* xy = reinterpret_cast<const float*>(vertices.data() + (q * 4 + v) * 16);
      if (xy[0] < minX) minX = xy[0];
      if (xy[0] > maxX) maxX = xy[0];
      if (xy[1] < minY) minY = xy[1];
      if (xy[1] > maxY) maxY = xy[1];
    }
    int x0 = x + int(minX * float(scale)), x1 = x + int(maxX * float(scale));
    int y0 = y + int(minY * float(scale)), y1 = y + int(maxY * float(scale));
    fill(x0 < cx0 ? cx0 : x0, y0 < cy0 ? cy0 : y0, x1 > cx1 ? cx1 : x1, y1 > cy1 ? cy1 : y1, rgb);
  }
}

int RgbImage::textWidth(const std::string& s, int scale) {
  std::string copy = s;
  return copy.empty() ? 0 : stb_easy_font_width(&copy[0]) * scale;
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

BackgroundJobs::BackgroundJobs(size_t limit) : limit_(limit), thread_([this] { run(); }) {}

BackgroundJobs::~BackgroundJobs() {
  {
    std::lock_guard<std::mutex> lk(mu_);
    stopping_ = true;
  }
  cv_.notify_all();
  thread_.join();
}

bool BackgroundJobs::post(std::function<void()> job) {
  {
    std::lock_guard<std::mutex> lk(mu_);
    if (jobs_.size() >= limit_) return false;
    jobs_.push_back(std::move(job));
  }
  cv_.notify_all();
  return true;
}

void BackgroundJobs::run() {
  for (;;) {
    std::function<void()> job;
    {
      std::unique_lock<std::mutex> lk(mu_);
      cv_.wait(lk, [this] { return stopping_ || !jobs_.empty(); });
      if (jobs_.empty()) return;  // stopping, and nothing left to do
      job = std::move(jobs_.front());
      jobs_.pop_front();
    }
    try {
      job();
    } catch (...) {
      // A picture that cannot be made must not end the emulator.
    }
  }
}

std::vector<std::string> writeOutputFiles(const Frame& f, const std::string& dir, std::string* error) {
  static std::atomic<int> counter{0};
  std::vector<std::string> written;
  if (f.kind != "net") return written;
  if (f.command == 0x22) {
    RgbImage image(1, 1, 0, 0, 0);
    std::string why;
    if (!renderPageSet(f.payload.data(), f.payload.size(), &image, &why)) {
      if (error) *error = "page set not drawn: " + why;
      return written;
    }
    std::string set;
    for (char c : f.get("set"))
      if ((c >= '0' && c <= '9') || c == '-') set += c;
    char name[64];
    std::snprintf(name, sizeof name, "/pageset-%03d-%s.png", ++counter,
                  set.empty() ? "unnumbered" : set.c_str());
    std::string path = dir + name;
    if (writePng(path, image)) written.push_back(path);
    else if (error) *error = "cannot write " + path;
  }
  return written;
}

}  // namespace vexasim
