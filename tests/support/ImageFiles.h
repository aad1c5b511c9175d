// Small BMP and PNG files written byte by byte for the image tests, in a
// scratch directory of their own.
#ifndef VEXA_TESTS_IMAGEFILES_H
#define VEXA_TESTS_IMAGEFILES_H

#include <stdlib.h>

#include <cstdint>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

namespace imagefiles {

inline void le16(std::vector<uint8_t>& v, uint32_t x) {
  v.push_back(uint8_t(x));
  v.push_back(uint8_t(x >> 8));
}
inline void le32(std::vector<uint8_t>& v, uint32_t x) {
  le16(v, x & 0xFFFF);
  le16(v, x >> 16);
}
inline void be32(std::vector<uint8_t>& v, uint32_t x) {
  for (int s = 24; s >= 0; s -= 8) v.push_back(uint8_t(x >> s));
}

// A Windows bitmap: 14-byte file header, 40-byte info header, palette of
// 0xRRGGBB entries (stored B, G, R, 0), then `pixels` exactly as the file
// stores them (rows bottom-up, each padded to four bytes), uncompressed.
inline std::vector<uint8_t> Bmp(int width, int height, int bitsPerPixel,
                                const std::vector<uint32_t>& palette,
                                const std::vector<uint8_t>& pixels) {
  const uint32_t offset = 14 + 40 + 4 * uint32_t(palette.size());
  std::vector<uint8_t> f = {'B', 'M'};
  le32(f, offset + uint32_t(pixels.size()));
  le32(f, 0);
  le32(f, offset);
  le32(f, 40);
  le32(f, uint32_t(width));
  le32(f, uint32_t(height));
  le16(f, 1);
  le16(f, uint32_t(bitsPerPixel));
  le32(f, 0);  // no compression
  le32(f, uint32_t(pixels.size()));
  le32(f, 2835);
  le32(f, 2835);
  le32(f, uint32_t(palette.size()));
  le32(f, 0);
  for (uint32_t c : palette) {
    f.push_back(uint8_t(c));
    f.push_back(uint8_t(c >> 8));
    f.push_back(uint8_t(c >> 16));
    f.push_back(0);
  }
  f.insert(f.end(), pixels.begin(), pixels.end());
  return f;
}

inline uint32_t Crc32(const uint8_t* p, size_t n) {
  uint32_t c = 0xFFFFFFFFu;
  for (size_t i = 0; i < n; ++i) {
    c ^= p[i];
    for (int k = 0; k < 8; ++k) c = (c & 1) ? (c >> 1) ^ 0xEDB88320u : c >> 1;
  }
  return ~c;
}

inline void PngChunk(std::vector<uint8_t>& f, const char* type, const std::vector<uint8_t>& data) {
  be32(f, uint32_t(data.size()));
  std::vector<uint8_t> typed(type, type + 4);
  typed.insert(typed.end(), data.begin(), data.end());
  f.insert(f.end(), typed.begin(), typed.end());
  be32(f, Crc32(typed.data(), typed.size()));
}

// The signature and the 13-byte header chunk of a PNG (no compression,
// filter or interlace method but 0); chunks follow it.
inline std::vector<uint8_t> PngHead(uint32_t width, uint32_t height, int depth, int colourType) {
  std::vector<uint8_t> f = {0x89, 'P', 'N', 'G', 0x0D, 0x0A, 0x1A, 0x0A};
  std::vector<uint8_t> ihdr;
  be32(ihdr, width);
  be32(ihdr, height);
  ihdr.insert(ihdr.end(), {uint8_t(depth), uint8_t(colourType), 0, 0, 0});
  PngChunk(f, "IHDR", ihdr);
  return f;
}

// A PNG of 8-bit samples, colour type 2 (RGB) or 6 (RGBA); `rows` holds the
// samples row after row, top first. The image data is one stored (not
// compressed) deflate block, every row with filter 0.
inline std::vector<uint8_t> Png(int width, int height, int colourType,
                                const std::vector<uint8_t>& rows) {
  const size_t rowBytes = size_t(width) * (colourType == 6 ? 4 : 3);
  std::vector<uint8_t> raw;
  for (int y = 0; y < height; ++y) {
    raw.push_back(0);
    raw.insert(raw.end(), rows.begin() + long(y * rowBytes), rows.begin() + long((y + 1) * rowBytes));
  }
  std::vector<uint8_t> z = {0x78, 0x01, 0x01};
  le16(z, uint32_t(raw.size()));
  le16(z, uint32_t(~raw.size() & 0xFFFF));
  z.insert(z.end(), raw.begin(), raw.end());
  uint32_t a = 1, b = 0;
  for (uint8_t c : raw) {
    a = (a + c) % 65521;
    b = (b + a) % 65521;
  }
  be32(z, (b << 16) | a);

  std::vector<uint8_t> f = PngHead(uint32_t(width), uint32_t(height), 8, colourType);
  PngChunk(f, "IDAT", z);
  PngChunk(f, "IEND", {});
  return f;
}

// A PNG of 8-bit samples, every one zero (black and, with alpha, clear),
// compressed: one fixed-code deflate block of a zero and then runs of 258
// zeros at distance 1, 13 bits each, so that large pictures stay small files.
inline std::vector<uint8_t> ZeroPng(uint32_t width, uint32_t height, int colourType) {
  const uint64_t channels = colourType == 6 ? 4 : colourType == 2 ? 3 : 1;
  const uint64_t raw = uint64_t(height) * (1 + width * channels);
  std::vector<uint8_t> z = {0x78, 0x01};
  uint32_t acc = 0;
  int used = 0;
  auto bit = [&](uint32_t b) {
    acc |= b << used;
    if (++used == 8) {
      z.push_back(uint8_t(acc));
      acc = 0;
      used = 0;
    }
  };
  auto code = [&](uint32_t c, int length) {  // Huffman codes go most significant bit first
    for (int i = length - 1; i >= 0; --i) bit((c >> i) & 1);
  };
  bit(1);  // last block
  bit(1);  // fixed codes (type 01, low bit first)
  bit(0);
  code(0x30, 8);  // literal 0
  uint64_t left = raw - 1;
  for (; left >= 258; left -= 258) {
    code(0xC5, 8);  // length 258
    code(0, 5);     // distance 1
  }
  for (; left > 0; --left) code(0x30, 8);
  code(0, 7);  // end of block
  if (used) z.push_back(uint8_t(acc));
  be32(z, uint32_t((raw % 65521) << 16 | 1));  // Adler-32 of zeros
  std::vector<uint8_t> f = PngHead(width, height, 8, colourType);
  PngChunk(f, "IDAT", z);
  PngChunk(f, "IEND", {});
  return f;
}

// A scratch directory removed with everything in it at the end.
class ScratchDir {
 public:
  ScratchDir() {
    char tmpl[] = "/tmp/vexa-images-XXXXXX";
    const char* made = mkdtemp(tmpl);
    path_ = made ? made : "";
  }
  ~ScratchDir() {
    std::error_code ec;
    if (!path_.empty()) std::filesystem::remove_all(path_, ec);
  }
  const std::string& path() const { return path_; }
  // Writes the bytes to the named file here and returns its full path.
  std::string write(const std::string& name, const std::vector<uint8_t>& bytes) const {
    const std::string full = path_ + "/" + name;
    std::ofstream(full, std::ios::binary)
        .write(reinterpret_cast<const char*>(bytes.data()), std::streamsize(bytes.size()));
    return full;
  }

 private:
  std::string path_;
};

// 2 x 2 RGB picture: red, green / blue, white.
inline std::vector<uint8_t> Quadrants() {
  return Png(2, 2, 2, {255, 0, 0, 0, 255, 0, 0, 0, 255, 255, 255, 255});
}

// 1 x 2 RGB picture: white above black.
inline std::vector<uint8_t> WhiteOverBlack() { return Png(1, 2, 2, {255, 255, 255, 0, 0, 0}); }

}  // namespace imagefiles

#endif  // VEXA_TESTS_IMAGEFILES_H
