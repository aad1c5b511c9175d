// The bitmap source: reads a BMP or PNG file and turns it into the
// controller's bitmap of (mode + 1) bit planes.
//
// The image decoder is compiled into this one translation unit with every
// function static, so none of it is exported and the library keeps linking
// only the C and C++ libraries.
#include <sys/stat.h>

#include <cstdint>
#include <cstdio>
#include <cstring>
#include <memory>
#include <utility>
#include <vector>

#include "SKYREL.h"

#define STB_IMAGE_STATIC
#define STB_IMAGE_IMPLEMENTATION
#define STBI_ONLY_BMP
#define STBI_ONLY_PNG
#define STBI_NO_STDIO
#define STBI_NO_LINEAR
#define STBI_NO_HDR
#define STBI_NO_FAILURE_STRINGS
// Internal consistency checks of the decoder must never abort a host process.
#define STBI_ASSERT(x) ((void)0)
// Larger pictures are refused rather than decoded into hundreds of megabytes.
#define STBI_MAX_DIMENSIONS 8192
// On some valid files (a PNG with an empty data chunk) the decoder copies
// zero bytes from or to a null pointer, which the C library does not allow;
// its copies go through this function, which skips empty ones.
namespace {
inline void* CopyBytes(void* to, const void* from, size_t n) {
  return n == 0 ? to : std::memcpy(to, from, n);
}
}  // namespace
#define memcpy(to, from, n) CopyBytes(to, from, n)
#include <stb_image.h>
#undef memcpy

namespace {

constexpr int kMaxSide = 4096;                 // largest bitmap width or height
constexpr long kMaxFileBytes = 64L * 1024 * 1024;  // largest image file read

struct ImageFree {
  void operator()(unsigned char* p) const { stbi_image_free(p); }
};
using Pixels = std::unique_ptr<unsigned char, ImageFree>;

// The whole content of a regular file, or nothing. Devices, pipes and
// directories are refused so that reading can neither block nor run forever.
bool ReadRegularFile(const char* path, std::vector<unsigned char>& out) {
  struct stat st;
  if (::stat(path, &st) != 0 || !S_ISREG(st.st_mode)) return false;
  if (st.st_size <= 0 || st.st_size > kMaxFileBytes) return false;
  std::FILE* f = std::fopen(path, "rb");
  if (f == nullptr) return false;
  out.resize(static_cast<size_t>(st.st_size));
  const size_t got = std::fread(out.data(), 1, out.size(), f);
  std::fclose(f);
  out.resize(got);
  return got > 0;
}

// One channel of a pixel laid over black: a transparent pixel shows dark,
// as the unlit parts of a sign do.
int OverBlack(int channel, int alpha) { return (channel * alpha + 127) / 255; }

}  // namespace

std::pair<unsigned char*, int> ImageContentBuffer(char* source, int colourMode, int width,
                                                  int height) {
  const std::pair<unsigned char*, int> unreadable{nullptr, 0};
  try {
    if (source == nullptr || colourMode < 0 || colourMode > 2) return unreadable;
    if (width <= 0 || height <= 0 || width > kMaxSide || height > kMaxSide) return unreadable;

    std::vector<unsigned char> file;
    if (!ReadRegularFile(source, file)) return unreadable;
    int imageWidth = 0;
    int imageHeight = 0;
    int channelsInFile = 0;
    Pixels rgba(stbi_load_from_memory(file.data(), static_cast<int>(file.size()), &imageWidth,
                                      &imageHeight, &channelsInFile, 4));
    if (!rgba || imageWidth <= 0 || imageHeight <= 0) return unreadable;

    // Sizes are bounded by kMaxSide, so these products fit comfortably.
    const int64_t pixels = static_cast<int64_t>(width) * height;
    const int planes = colourMode + 1;
    const int64_t length = pixels * planes / 8;

    thread_local std::vector<unsigned char> bitmap;
    // Never empty, so that a readable image of zero bytes still gives a
    // non-null pointer.
    bitmap.assign(static_cast<size_t>(length) + 1, 0);

    const unsigned char* px = rgba.get();
    int64_t bit = 0;
    for (int plane = 0; plane < planes; ++plane) {
      for (int y = 0; y < height; ++y) {
        const int64_t sy = static_cast<int64_t>(y) * imageHeight / height;
        for (int x = 0; x < width; ++x, ++bit) {
          const int64_t sx = static_cast<int64_t>(x) * imageWidth / width;
          const unsigned char* p = px + (sy * imageWidth + sx) * 4;
          if (OverBlack(p[plane], p[3]) < 128) continue;
          // Bits past the whole bytes of the bitmap are dropped.
          if (bit / 8 < length) bitmap[static_cast<size_t>(bit / 8)] |= 0x80u >> (bit % 8);
        }
      }
    }
    return {bitmap.data(), static_cast<int>(length)};
  } catch (...) {
    return unreadable;
  }
}
