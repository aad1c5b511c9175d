// The bitmap source: reads a BMP or PNG file and turns it into the
// controller's bitmap of (mode + 1) bit planes.
//
// An image is looked at before it is decoded: one whose header announces a
// side beyond kMaxImageSide, more bytes than the file holds, or a decoding
// that needs more than kMaxDecodeBytes is refused without decoding. The
// decoder's own allocations are counted as well and fail beyond that bound,
// so a file that lies in a way the header does not show still cannot make it
// reserve more.
//
// The image decoder is compiled into this one translation unit with every
// function static, so none of it is exported and the library keeps linking
// only the C and C++ libraries.
#include "core/ImageContent.h"

#include <sys/stat.h>

#include <algorithm>
#include <cerrno>
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <string>
#include <utility>
#include <vector>

namespace {

// On some valid files (a PNG with an empty data chunk) the decoder copies
// zero bytes from or to a null pointer, which the C library does not allow;
// its copies go through this function, which skips empty ones.
inline void* CopyBytes(void* to, const void* from, size_t n) {
  return n == 0 ? to : std::memcpy(to, from, n);
}

// The decoder's memory: every block carries its size in front, and the bytes
// one thread's decoder holds never exceed kMaxDecodeBytes.
struct alignas(std::max_align_t) BlockHead {
  size_t size;
};
thread_local uint64_t decoderBytes = 0;

void* DecoderAlloc(size_t n) {
  if (n > kMaxDecodeBytes - decoderBytes) return nullptr;
  auto* head = static_cast<BlockHead*>(std::malloc(sizeof(BlockHead) + n));
  if (head == nullptr) return nullptr;
  head->size = n;
  decoderBytes += n;
  return head + 1;
}

void DecoderFree(void* p) {
  if (p == nullptr) return;
  BlockHead* head = static_cast<BlockHead*>(p) - 1;
  decoderBytes -= head->size;
  std::free(head);
}

void* DecoderRealloc(void* p, size_t n) {
  if (p == nullptr) return DecoderAlloc(n);
  BlockHead* head = static_cast<BlockHead*>(p) - 1;
  const size_t old = head->size;
  if (n > old && n - old > kMaxDecodeBytes - decoderBytes) return nullptr;
  auto* moved = static_cast<BlockHead*>(std::realloc(head, sizeof(BlockHead) + n));
  if (moved == nullptr) return nullptr;
  decoderBytes = decoderBytes - old + n;
  moved->size = n;
  return moved + 1;
}

}  // namespace

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
#define STBI_MAX_DIMENSIONS kMaxImageSide
#define STBI_MALLOC(n) DecoderAlloc(n)
#define STBI_REALLOC(p, n) DecoderRealloc(p, n)
#define STBI_FREE(p) DecoderFree(p)
#define memcpy(to, from, n) CopyBytes(to, from, n)
// The decoder's buffer refill reads a field that only contexts fed by
// callbacks set; ours are fed from memory and never refill, which GCC cannot
// see once everything is inlined at -O3.
#if defined(__GNUC__) && !defined(__clang__)
#pragma GCC diagnostic push
#pragma GCC diagnostic ignored "-Wmaybe-uninitialized"
#endif
#include <stb_image.h>
#if defined(__GNUC__) && !defined(__clang__)
#pragma GCC diagnostic pop
#endif
#undef memcpy

namespace {

// ---------------------------------------------------------------------------
// Reading the header.

uint32_t Be32(const unsigned char* p) {
  return (uint32_t(p[0]) << 24) | (uint32_t(p[1]) << 16) | (uint32_t(p[2]) << 8) | p[3];
}
uint32_t Le32(const unsigned char* p) {
  return uint32_t(p[0]) | (uint32_t(p[1]) << 8) | (uint32_t(p[2]) << 16) | (uint32_t(p[3]) << 24);
}
uint32_t Le16(const unsigned char* p) { return uint32_t(p[0]) | (uint32_t(p[1]) << 8); }

// The buffer a decoder grows by doubling from `start` until `need` fits.
uint64_t Doubled(uint64_t start, uint64_t need) {
  while (start < need) start *= 2;
  return start;
}

ImageFacts Verdict(ImageVerdict v, int width = 0, int height = 0, uint64_t bytes = 0) {
  ImageFacts f;
  f.verdict = v;
  f.width = width;
  f.height = height;
  f.decodeBytes = bytes;
  return f;
}

// A deflate stream yields at most 258 bytes for every two bits it holds.
constexpr uint64_t kMaxInflateRatio = 1032;

// Bytes of the filtered rows of a PNG: one filter byte per row, rows of
// `channels` samples of `depth` bits; an interlaced image in its seven passes.
uint64_t PngRowBytes(uint64_t w, uint64_t h, uint64_t channels, uint64_t depth, bool interlaced) {
  static const int kX0[7] = {0, 4, 0, 2, 0, 1, 0}, kY0[7] = {0, 0, 4, 0, 2, 0, 1};
  static const int kDx[7] = {8, 8, 4, 4, 2, 2, 1}, kDy[7] = {8, 8, 8, 4, 4, 2, 2};
  auto rows = [&](uint64_t pw, uint64_t ph) {
    return pw == 0 || ph == 0 ? 0 : ph * (1 + (pw * channels * depth + 7) / 8);
  };
  if (!interlaced) return rows(w, h);
  uint64_t total = 0;
  for (int p = 0; p < 7; ++p)
    total += rows((w + kDx[p] - 1 - kX0[p]) / kDx[p], (h + kDy[p] - 1 - kY0[p]) / kDy[p]);
  return total;
}

ImageFacts InspectPng(const unsigned char* b, size_t size) {
  // The first chunk must be the 13-byte image header, after the mark of
  // byte-swapped files if there is one.
  size_t ihdr = 8;
  if (size >= 16 && std::memcmp(b + 12, "CgBI", 4) == 0) {
    if (size < 20 || Be32(b + 8) > size - 20) return Verdict(ImageVerdict::kBeyondFile);
    ihdr += 12 + Be32(b + 8);
  }
  if (size - ihdr < 25 || Be32(b + ihdr) != 13 || std::memcmp(b + ihdr + 4, "IHDR", 4) != 0)
    return Verdict(ImageVerdict::kNotAnImage);
  const unsigned char* head = b + ihdr + 8;
  const uint32_t w = Be32(head), h = Be32(head + 4);
  const int depth = head[8], colour = head[9];
  if (w == 0 || h == 0 || w > uint32_t(kMaxImageSide) || h > uint32_t(kMaxImageSide))
    return Verdict(ImageVerdict::kSideTooLarge);
  const int width = int(w), height = int(h);
  if ((depth != 1 && depth != 2 && depth != 4 && depth != 8 && depth != 16) ||
      (colour != 0 && colour != 2 && colour != 3 && colour != 4 && colour != 6) ||
      (colour == 3 && depth == 16) || head[10] != 0 || head[11] != 0 || head[12] > 1)
    return Verdict(ImageVerdict::kNotAnImage, width, height);
  const bool interlaced = head[12] == 1;
  const bool palette = colour == 3;
  const int channels = colour == 2 ? 3 : colour == 4 ? 2 : colour == 6 ? 4 : 1;

  // Every chunk up to the closing one must lie within the file.
  uint64_t idat = 0, firstIdat = 0;
  bool transparency = false, closed = false;
  for (size_t at = ihdr; !closed;) {
    if (size - at < 8) return Verdict(ImageVerdict::kBeyondFile, width, height);
    const uint32_t length = Be32(b + at);
    if (length > size - at - 8) return Verdict(ImageVerdict::kBeyondFile, width, height);
    const unsigned char* type = b + at + 4;
    if (std::memcmp(type, "IDAT", 4) == 0) {
      if (idat == 0) firstIdat = length;
      idat += length;
    }
    transparency = transparency || std::memcmp(type, "tRNS", 4) == 0;
    closed = std::memcmp(type, "IEND", 4) == 0;
    at += 8 + uint64_t(length);
    at += size - at < 4 ? size - at : 4;  // the check sum
  }
  if (idat == 0) return Verdict(ImageVerdict::kNotAnImage, width, height);
  const uint64_t raw = PngRowBytes(w, h, uint64_t(channels), uint64_t(depth), interlaced);
  if (raw > kMaxInflateRatio * idat) return Verdict(ImageVerdict::kBeyondFile, width, height);

  // The decoder's buffers, phase by phase: the compressed data with its
  // inflated rows; the rows with the decoded pixels (twice for interlacing);
  // the palette's expansion to four channels; the conversion to four
  // channels; the conversion of 16-bit samples to 8 bits.
  const uint64_t pixels = uint64_t(w) * h;
  const uint64_t sample = depth == 16 ? 2 : 1;
  const int decodedChannels =
      palette ? 1 : transparency ? channels + 1 : channels == 3 ? 4 : channels;
  const uint64_t decoded = pixels * uint64_t(decodedChannels) * sample;
  const uint64_t guess = uint64_t((w * uint64_t(depth) + 7) / 8) * h * uint64_t(channels) + h;
  const uint64_t rows = Doubled(guess, raw);
  const uint64_t compressed = Doubled(firstIdat > 4096 ? firstIdat : 4096, idat);
  uint64_t peak = std::max(compressed + rows, rows + decoded * (interlaced ? 2 : 1));
  if (palette) peak = std::max(peak, rows + decoded + pixels * 4);
  if (!palette && decodedChannels != 4) peak = std::max(peak, decoded + pixels * 4 * sample);
  if (sample == 2) peak = std::max(peak, pixels * 4 * 2 + pixels * 4);
  return Verdict(peak > kMaxDecodeBytes ? ImageVerdict::kTooMuchMemory : ImageVerdict::kDecodable,
                 width, height, peak);
}

ImageFacts InspectBmp(const unsigned char* b, size_t size) {
  if (size < 26) return Verdict(ImageVerdict::kNotAnImage);
  const uint32_t offset = Le32(b + 10), header = Le32(b + 14);
  if (header != 12 && header != 40 && header != 56 && header != 108 && header != 124)
    return Verdict(ImageVerdict::kNotAnImage);
  if (size < 14 + header) return Verdict(ImageVerdict::kBeyondFile);
  const bool core = header == 12;
  const uint64_t w = core ? Le16(b + 18) : Le32(b + 18);
  // The height is signed: rows stored top-down have a negative one.
  const int64_t signedHeight = core ? int64_t(Le16(b + 20)) : int64_t(int32_t(Le32(b + 22)));
  const uint64_t h = uint64_t(signedHeight < 0 ? -signedHeight : signedHeight);
  if (w == 0 || h == 0 || w > uint64_t(kMaxImageSide) || h > uint64_t(kMaxImageSide))
    return Verdict(ImageVerdict::kSideTooLarge);
  const int width = int(w), height = int(h);
  const unsigned char* rest = b + (core ? 22 : 26);
  const uint32_t planes = Le16(rest), bits = Le16(rest + 2);
  const uint32_t compression = core ? 0 : Le32(rest + 4);
  if (planes != 1 || (bits != 1 && bits != 4 && bits != 8 && bits != 16 && bits != 24 && bits != 32) ||
      (compression != 0 && compression != 3) || (compression == 3 && bits != 16 && bits != 32))
    return Verdict(ImageVerdict::kNotAnImage, width, height);
  // Rows are padded to four bytes; the last one needs only its pixels.
  if (offset < 14 + header || offset > size) return Verdict(ImageVerdict::kBeyondFile, width, height);
  const uint64_t row = (w * bits + 31) / 32 * 4;
  if (row * (h - 1) + (w * bits + 7) / 8 > size - offset)
    return Verdict(ImageVerdict::kBeyondFile, width, height);
  const uint64_t peak = w * h * 4;
  return Verdict(peak > kMaxDecodeBytes ? ImageVerdict::kTooMuchMemory : ImageVerdict::kDecodable,
                 width, height, peak);
}

// ---------------------------------------------------------------------------
// Decoding.

struct ImageFree {
  void operator()(unsigned char* p) const { stbi_image_free(p); }
};
using Pixels = std::unique_ptr<unsigned char, ImageFree>;

// Puts `text` in `why` when the caller asked for it. Returns false.
bool Say(std::string* why, const std::string& text) {
  if (why != nullptr) *why = text;
  return false;
}

// No bitmap, saying why in `why` when the caller asked for it.
std::pair<unsigned char*, int> Unreadable(std::string* why, const std::string& text) {
  Say(why, text);
  return {nullptr, 0};
}

// The whole content of a regular file, or nothing. Devices, pipes and
// directories are refused so that reading can neither block nor run forever.
bool ReadRegularFile(const char* path, std::vector<unsigned char>& out, std::string* why) {
  struct stat st;
  if (::stat(path, &st) != 0) return Say(why, std::strerror(errno));
  if (!S_ISREG(st.st_mode)) return Say(why, "not a regular file");
  if (st.st_size <= 0) return Say(why, "the file is empty");
  if (uint64_t(st.st_size) > kMaxImageFileBytes) {
    return Say(why, "a file of " + std::to_string(st.st_size) + " bytes, beyond the " +
                        std::to_string(kMaxImageFileBytes >> 20) + " MiB an image file may have");
  }
  std::FILE* f = std::fopen(path, "rb");
  if (f == nullptr) return Say(why, std::strerror(errno));
  out.resize(static_cast<size_t>(st.st_size));
  const size_t got = std::fread(out.data(), 1, out.size(), f);
  std::fclose(f);
  out.resize(got);
  return got > 0 || Say(why, "nothing could be read from the file");
}

// Why a bitmap of this mode and size cannot be made, or "" when it can.
std::string BitmapRequestFault(int colourMode, int width, int height) {
  if (colourMode < 0 || colourMode > 2) {
    return "colour mode " + std::to_string(colourMode) + " is not 0, 1 or 2";
  }
  if (width <= 0 || height <= 0 || width > kMaxBitmapSide || height > kMaxBitmapSide) {
    return "a bitmap of " + std::to_string(width) + " x " + std::to_string(height) +
           " pixels is not within 1 to " + std::to_string(kMaxBitmapSide) + " a side";
  }
  return std::string();
}

// Why an image with these header facts is not decoded, in words.
std::string VerdictInWords(const ImageFacts& facts, size_t fileBytes) {
  switch (facts.verdict) {
    case ImageVerdict::kDecodable:
      return std::string();
    case ImageVerdict::kNotAnImage:
      return "not a PNG or BMP image the decoder reads";
    case ImageVerdict::kSideTooLarge:
      return "its header announces a side of 0 or beyond " + std::to_string(kMaxImageSide) +
             " pixels";
    case ImageVerdict::kBeyondFile:
      return "its header announces more bytes than the " + std::to_string(fileBytes) +
             " the file holds";
    case ImageVerdict::kTooMuchMemory:
      return "decoding its " + std::to_string(facts.width) + " x " + std::to_string(facts.height) +
             " pixels needs " + std::to_string((facts.decodeBytes + (1u << 20) - 1) >> 20) +
             " MiB, beyond the " + std::to_string(kMaxDecodeBytes >> 20) + " MiB allowed";
  }
  return "not a PNG or BMP image the decoder reads";
}

// One channel of a pixel laid over black: a transparent pixel shows dark,
// as the unlit parts of a sign do.
int OverBlack(int channel, int alpha) { return (channel * alpha + 127) / 255; }

}  // namespace

ImageFacts InspectImage(const unsigned char* bytes, size_t size) {
  static const unsigned char kPngSignature[8] = {0x89, 'P', 'N', 'G', 0x0D, 0x0A, 0x1A, 0x0A};
  if (bytes == nullptr) return Verdict(ImageVerdict::kNotAnImage);
  if (size >= 8 && std::memcmp(bytes, kPngSignature, 8) == 0) return InspectPng(bytes, size);
  if (size >= 2 && bytes[0] == 'B' && bytes[1] == 'M') return InspectBmp(bytes, size);
  return Verdict(ImageVerdict::kNotAnImage);
}

std::pair<unsigned char*, int> ImageBitmapFromBytes(const unsigned char* bytes, size_t size,
                                                    int colourMode, int width, int height,
                                                    std::string* why) {
  try {
    const std::string fault = BitmapRequestFault(colourMode, width, height);
    if (!fault.empty()) return Unreadable(why, fault);
    if (bytes == nullptr || size == 0) return Unreadable(why, "the image is empty");
    if (size > kMaxImageFileBytes) {
      return Unreadable(why, std::to_string(size) + " bytes, beyond the " +
                                 std::to_string(kMaxImageFileBytes >> 20) +
                                 " MiB an image may have");
    }
    const ImageFacts facts = InspectImage(bytes, size);
    if (facts.verdict != ImageVerdict::kDecodable) {
      return Unreadable(why, VerdictInWords(facts, size));
    }

    int imageWidth = 0;
    int imageHeight = 0;
    int channelsInFile = 0;
    Pixels rgba(stbi_load_from_memory(bytes, static_cast<int>(size), &imageWidth, &imageHeight,
                                      &channelsInFile, 4));
    if (!rgba || imageWidth <= 0 || imageHeight <= 0) {
      return Unreadable(why, "its image data cannot be decoded");
    }

    // Sizes are bounded by kMaxBitmapSide, so these products fit comfortably.
    const int64_t pixels = static_cast<int64_t>(width) * height;
    const int planes = colourMode + 1;
    const int64_t length = pixels * planes / 8;

    // Never empty, so that a readable image of zero bytes still gives a
    // non-null pointer. A thread keeps no more than its last bitmap.
    thread_local std::vector<unsigned char> bitmap;
    const size_t keep = static_cast<size_t>(length) + 1;
    if (bitmap.capacity() > 2 * keep) std::vector<unsigned char>().swap(bitmap);
    bitmap.assign(keep, 0);

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
    return Unreadable(why, "out of memory");
  }
}

std::pair<unsigned char*, int> ImageBitmapFromFile(const char* source, int colourMode, int width,
                                                   int height, std::string* why) {
  try {
    if (source == nullptr) return Unreadable(why, "the image source is null");
    // The request is judged before the file is read.
    const std::string fault = BitmapRequestFault(colourMode, width, height);
    if (!fault.empty()) return Unreadable(why, fault);
    std::vector<unsigned char> file;
    if (!ReadRegularFile(source, file, why)) return {nullptr, 0};
    return ImageBitmapFromBytes(file.data(), file.size(), colourMode, width, height, why);
  } catch (...) {
    return Unreadable(why, "out of memory");
  }
}
