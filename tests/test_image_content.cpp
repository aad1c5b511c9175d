// The bitmap source: BMP files of 1, 4, 8, 24 and 32 bits and PNG files,
// written here byte by byte, turned into bit planes in each colour mode.
#include <gtest/gtest.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <climits>
#include <string>
#include <vector>

#include "ImageFiles.h"
#include "SKYREL.h"
#include "SimFixture.h"
#include "core/ImageContent.h"
#include "core/Trace.h"

using imagefiles::Bmp;
using imagefiles::Png;
using vexasim::bytesOf;
using vexasim::hex;

namespace {

class ImageContent : public ::testing::Test {
 protected:
  imagefiles::ScratchDir dir;

  // The bitmap of file `name` holding `bytes`, as hex, or "null".
  std::string BitmapOf(const std::string& name, const std::vector<uint8_t>& bytes, int mode,
                       int width, int height) {
    std::string path = dir.write(name, bytes);
    std::pair<unsigned char*, int> r = ImageContentBuffer(&path[0], mode, width, height);
    if (r.first == nullptr) return r.second == 0 ? "null" : "null with a length";
    return hex(std::vector<uint8_t>(r.first, r.first + r.second));
  }
};

// 4 x 2 pixels: red, green, blue, white / black, yellow, (128,127,200), (127,128,0).
// Planes (rows top first): red 1001 0110, green 0101 0101, blue 0011 0010.
const std::vector<uint8_t> kRgbRowsBottomUp24 = bytesOf(
    "000000 00FFFF C87F80 00807F"    // bottom row, B G R each
    "0000FF 00FF00 FF0000 FFFFFF");  // top row
const std::vector<uint8_t> kRgbRowsBottomUp32 = bytesOf(
    "00000000 00FFFF00 C87F8000 00807F00"  // fourth byte unused (all zero)
    "0000FF00 00FF0000 FF000000 FFFFFF00");

struct ModeCase {
  int mode;
  const char* expected;
};

TEST_F(ImageContent, TrueColourBmpInEachMode) {
  for (const ModeCase& c : {ModeCase{0, "96"}, ModeCase{1, "96 55"}, ModeCase{2, "96 55 32"}}) {
    SCOPED_TRACE(c.mode);
    EXPECT_EQ(BitmapOf("rgb24.bmp", Bmp(4, 2, 24, {}, kRgbRowsBottomUp24), c.mode, 4, 2), c.expected);
    EXPECT_EQ(BitmapOf("rgb32.bmp", Bmp(4, 2, 32, {}, kRgbRowsBottomUp32), c.mode, 4, 2), c.expected);
  }
}

TEST_F(ImageContent, EightBitPaletteBmp) {
  // 3 x 2, palette black, magenta, (0,200,0), (100,200,255); pixels 1 2 3 / 3 0 1.
  // Red 100 001, green 011 100, blue 101 101: 18 bits, of which mode 2 keeps 16.
  const std::vector<uint8_t> file =
      Bmp(3, 2, 8, {0x000000, 0xFF00FF, 0x00C800, 0x64C8FF}, bytesOf("03 00 01 00  01 02 03 00"));
  EXPECT_EQ(BitmapOf("p8.bmp", file, 2, 3, 2), "85 CB");
  EXPECT_EQ(BitmapOf("p8.bmp", file, 1, 3, 2), "85");
  // Six bits of one plane make no whole byte: a readable image of no bytes.
  std::string path = dir.write("p8.bmp", file);
  std::pair<unsigned char*, int> r = ImageContentBuffer(&path[0], 0, 3, 2);
  EXPECT_NE(r.first, nullptr);
  EXPECT_EQ(r.second, 0);
}

TEST_F(ImageContent, FourBitPaletteBmp) {
  // 4 x 2, palette black, white, red, blue; pixels 1 2 0 3 / 3 3 1 0.
  const std::vector<uint8_t> file = Bmp(4, 2, 4, {0x000000, 0xFFFFFF, 0xFF0000, 0x0000FF},
                                        bytesOf("33 10 00 00  12 03 00 00"));
  EXPECT_EQ(BitmapOf("p4.bmp", file, 0, 4, 2), "C2");
  EXPECT_EQ(BitmapOf("p4.bmp", file, 2, 4, 2), "C2 82 9E");
}

TEST_F(ImageContent, OneBitBmpUsesItsPalette) {
  // 10 x 2; rows 1010110011 / 0000011111; 0 is blue, 1 is yellow.
  const std::vector<uint8_t> file =
      Bmp(10, 2, 1, {0x0000FF, 0xFFFF00}, bytesOf("07 C0 00 00  AC C0 00 00"));
  // Red: the 20 bits, cut to two bytes.
  EXPECT_EQ(BitmapOf("p1.bmp", file, 0, 10, 2), "AC C1");
  // Red and green equal, blue inverted; 60 bits, of which 56 are kept.
  EXPECT_EQ(BitmapOf("p1.bmp", file, 2, 10, 2), "AC C1 FA CC 1F 53 3E");
}

TEST_F(ImageContent, PngScaledByNearestNeighbour) {
  // 2 x 2 quadrants red, green / blue, white drawn at 4 x 4.
  EXPECT_EQ(BitmapOf("q.png", imagefiles::Quadrants(), 0, 4, 4), "CC 33");
  EXPECT_EQ(BitmapOf("q.png", imagefiles::Quadrants(), 2, 4, 4), "CC 33 33 33 00 FF");
  // At 8 x 1 only the top row is sampled: four red, then four green pixels.
  EXPECT_EQ(BitmapOf("q.png", imagefiles::Quadrants(), 2, 8, 1), "F0 0F 00");
}

TEST_F(ImageContent, PngWithAnEmptyDataChunk) {
  // An empty IDAT chunk ahead of the real one is allowed and changes nothing.
  std::vector<uint8_t> file = imagefiles::Quadrants();
  std::vector<uint8_t> empty;
  imagefiles::PngChunk(empty, "IDAT", {});
  ASSERT_EQ(hex(empty), "00 00 00 00 49 44 41 54 35 AF 06 1E");
  file.insert(file.begin() + 33, empty.begin(), empty.end());  // after the signature and IHDR
  EXPECT_EQ(BitmapOf("e.png", file, 0, 4, 4), "CC 33");
}

TEST_F(ImageContent, TransparentPixelsAreDark) {
  // RGBA quadrants whose white corner is fully transparent; a pixel at half
  // opacity is lit, just under it dark.
  const std::vector<uint8_t> rgba = Png(2, 2, 6,
                                        {255, 0, 0, 255, 0, 255, 0, 255,  //
                                         0, 0, 255, 255, 255, 255, 255, 0});
  EXPECT_EQ(BitmapOf("a.png", rgba, 2, 4, 4), "CC 00 33 00 00 CC");
  const std::vector<uint8_t> half = Png(8, 1, 6,
                                        {255, 255, 255, 128, 255, 255, 255, 127,  //
                                         255, 0, 0, 255, 0, 0, 0, 255,           //
                                         255, 0, 0, 128, 255, 0, 0, 127,          //
                                         128, 0, 0, 255, 127, 0, 0, 255});
  EXPECT_EQ(BitmapOf("h.png", half, 0, 8, 1), "AA");
}

// Each refusal gives nothing and keeps its reason for the calling thread.
TEST_F(ImageContent, UnreadableSourcesGiveNothingAndSayWhy) {
  const std::string good = dir.write("good.png", imagefiles::Quadrants());
  const std::vector<uint8_t> bmp = Bmp(4, 2, 24, {}, kRgbRowsBottomUp24);
  const std::string bitmapSize = " pixels is not within 1 to 4096 a side";
  struct Case {
    const char* what;
    std::string path;
    int mode, width, height;
    std::string reason;  // after `image "PATH": `
  } cases[] = {
      {"missing file", dir.path() + "/none.png", 0, 4, 4, "No such file or directory"},
      {"text file", dir.write("t.png", bytesOf("48 65 6C 6C 6F 0A")), 0, 4, 4,
       "not a PNG or BMP image the decoder reads"},
      {"empty file", dir.write("e.bmp", {}), 0, 4, 4, "the file is empty"},
      {"truncated bmp", dir.write("tr.bmp", std::vector<uint8_t>(bmp.begin(), bmp.begin() + 40)), 0,
       4, 2, "its header announces more bytes than the 40 the file holds"},
      {"directory", dir.path(), 0, 4, 4, "not a regular file"},
      {"device that never ends", "/dev/zero", 0, 4, 4, "not a regular file"},
      {"width 0", good, 0, 0, 4, "a bitmap of 0 x 4" + bitmapSize},
      {"negative height", good, 0, 4, -1, "a bitmap of 4 x -1" + bitmapSize},
      {"too wide", good, 0, 4097, 1, "a bitmap of 4097 x 1" + bitmapSize},
      {"too high", good, 0, 1, 4097, "a bitmap of 1 x 4097" + bitmapSize},
      {"colour mode 3", good, 3, 4, 4, "colour mode 3 is not 0, 1 or 2"},
      {"colour mode -1", good, -1, 4, 4, "colour mode -1 is not 0, 1 or 2"},
  };
  for (Case& c : cases) {
    SCOPED_TRACE(c.what);
    std::pair<unsigned char*, int> r = ImageContentBuffer(&c.path[0], c.mode, c.width, c.height);
    EXPECT_EQ(r.first, nullptr);
    EXPECT_EQ(r.second, 0);
    EXPECT_EQ(trace::LastReason(), "image \"" + c.path + "\": " + c.reason);
  }
  std::pair<unsigned char*, int> r = ImageContentBuffer(nullptr, 0, 4, 4);
  EXPECT_EQ(r.first, nullptr);
  EXPECT_EQ(r.second, 0);
  EXPECT_EQ(trace::LastReason(), "the image source is null");
}

TEST_F(ImageContent, LargestSizeGivesTheWholeBitmap) {
  std::string path = dir.write("w.png", imagefiles::WhiteOverBlack());
  std::pair<unsigned char*, int> r = ImageContentBuffer(&path[0], 2, 4096, 4096);
  ASSERT_NE(r.first, nullptr);
  ASSERT_EQ(r.second, 4096 * 4096 * 3 / 8);
  // Each plane: the upper half lit, the lower half dark.
  const int plane = 4096 * 4096 / 8;
  for (int p = 0; p < 3; ++p) {
    EXPECT_EQ(r.first[p * plane], 0xFF);
    EXPECT_EQ(r.first[p * plane + plane / 2 - 1], 0xFF);
    EXPECT_EQ(r.first[p * plane + plane / 2], 0x00);
    EXPECT_EQ(r.first[p * plane + plane - 1], 0x00);
  }
}

// A BMP header (40-byte info header) announcing width x height at `bits`
// per pixel and compression `method`, followed by `pixelBytes` zero bytes.
std::vector<uint8_t> BmpHeader(uint32_t width, uint32_t height, int bits, int method,
                               size_t pixelBytes) {
  std::vector<uint8_t> f = Bmp(1, 1, bits, {}, std::vector<uint8_t>(pixelBytes, 0));
  auto put32 = [&](size_t at, uint32_t v) {
    for (int k = 0; k < 4; ++k) f[at + k] = uint8_t(v >> (8 * k));
  };
  put32(18, width);
  put32(22, height);
  put32(30, uint32_t(method));
  return f;
}

// A PNG whose one data chunk holds `idat`, then the closing chunk.
std::vector<uint8_t> PngOf(uint32_t width, uint32_t height, int depth, int colourType,
                           const std::vector<uint8_t>& idat) {
  std::vector<uint8_t> f = imagefiles::PngHead(width, height, depth, colourType);
  imagefiles::PngChunk(f, "IDAT", idat);
  imagefiles::PngChunk(f, "IEND", {});
  return f;
}

// 174 bytes: a 1 x 1 picture whose data chunk announces 2 GiB - 256 bytes
// and holds 133.
std::vector<uint8_t> TwoGigabytePng() {
  std::vector<uint8_t> f = imagefiles::PngHead(1, 1, 8, 2);
  imagefiles::be32(f, 0x7FFFFF00u);
  f.insert(f.end(), {'I', 'D', 'A', 'T'});
  f.resize(174, 0);
  return f;
}

struct HeaderCase {
  const char* what;
  std::vector<uint8_t> bytes;
  ImageVerdict verdict;
};

// The words a refusal uses for each verdict, by its number.
const char* const kVerdictWords[] = {"", "not a PNG or BMP image the decoder reads",
                                     "a side of 0 or beyond 8192 pixels", "more bytes than the",
                                     "MiB, beyond the 256 MiB allowed"};

TEST_F(ImageContent, HeadersAreJudgedBeforeDecoding) {
  const std::vector<uint8_t> bigData(140000, 0);  // enough for 1032:1 up to 144 MB of rows
  std::vector<uint8_t> noEnd = imagefiles::Quadrants();
  noEnd.resize(noEnd.size() - 12);
  std::vector<uint8_t> cutChunk = imagefiles::Quadrants();
  cutChunk.resize(cutChunk.size() - 20);
  const HeaderCase cases[] = {
      {"png", imagefiles::Quadrants(), ImageVerdict::kDecodable},
      {"bmp", Bmp(4, 2, 24, {}, kRgbRowsBottomUp24), ImageVerdict::kDecodable},
      {"2 GiB data chunk in 174 bytes", TwoGigabytePng(), ImageVerdict::kBeyondFile},
      {"png without its closing chunk", noEnd, ImageVerdict::kBeyondFile},
      {"png data chunk cut short", cutChunk, ImageVerdict::kBeyondFile},
      {"8192 x 8192 x 64 bits from 20 bytes", PngOf(8192, 8192, 16, 6, std::vector<uint8_t>(20)),
       ImageVerdict::kBeyondFile},
      {"png 8193 wide", PngOf(8193, 1, 8, 2, bigData), ImageVerdict::kSideTooLarge},
      {"png 0 high", PngOf(1, 0, 8, 2, bigData), ImageVerdict::kSideTooLarge},
      {"png of 3-bit samples", PngOf(4, 4, 3, 0, bigData), ImageVerdict::kNotAnImage},
      // Rows 4096 * (1 + 32768) plus pixels 8192 * 4096 * 4: 268,439,552
      // bytes, just over 256 MiB; one row less stays under it.
      {"png 8192 x 4096 rgba", PngOf(8192, 4096, 8, 6, bigData), ImageVerdict::kTooMuchMemory},
      {"png 8192 x 4095 rgba", PngOf(8192, 4095, 8, 6, bigData), ImageVerdict::kDecodable},
      {"bmp 8192 x 8192 without pixels", BmpHeader(8192, 8192, 24, 0, 4), ImageVerdict::kBeyondFile},
      {"bmp one byte short", BmpHeader(5, 2, 24, 0, 16 + 15 - 1), ImageVerdict::kBeyondFile},
      {"bmp last row without padding", BmpHeader(5, 2, 24, 0, 16 + 15), ImageVerdict::kDecodable},
      {"bmp height INT_MIN", BmpHeader(4, uint32_t(INT_MIN), 24, 0, 32), ImageVerdict::kSideTooLarge},
      {"bmp 8193 wide", BmpHeader(8193, 1, 1, 0, 1028), ImageVerdict::kSideTooLarge},
      {"bmp run-length coded", BmpHeader(4, 2, 8, 1, 8), ImageVerdict::kNotAnImage},
      {"bmp of 2 bits", BmpHeader(4, 2, 2, 0, 8), ImageVerdict::kNotAnImage},
      {"neither", bytesOf("47 49 46 38 39 61"), ImageVerdict::kNotAnImage},
      {"byte-swap mark cut short", bytesOf("89 50 4E 47 0D 0A 1A 0A 00 00 0D 00 43 67 42 49 00 57 02"),
       ImageVerdict::kBeyondFile},
  };
  for (const HeaderCase& c : cases) {
    SCOPED_TRACE(c.what);
    EXPECT_EQ(int(InspectImage(c.bytes.data(), c.bytes.size()).verdict), int(c.verdict));
    if (c.verdict != ImageVerdict::kDecodable) {
      std::string path = dir.write("h.img", c.bytes);
      EXPECT_EQ(ImageContentBuffer(&path[0], 0, 4, 2).first, nullptr);
      EXPECT_NE(trace::LastReason().find(kVerdictWords[int(c.verdict)]), std::string::npos)
          << trace::LastReason();
    }
  }
  EXPECT_EQ(TwoGigabytePng().size(), 174u);

  // The memory a refused image would need is stated, rounded up.
  std::string path = dir.write("m.png", PngOf(8192, 4096, 8, 6, bigData));
  EXPECT_EQ(ImageContentBuffer(&path[0], 0, 4, 2).first, nullptr);
  EXPECT_EQ(trace::LastReason(), "image \"" + path +
                                     "\": decoding its 8192 x 4096 pixels needs 257 MiB, beyond "
                                     "the 256 MiB allowed");
}

// Every call returns, whatever the image asks for, in a process whose
// address space is limited to 256 MiB; images within the bound still give
// their bitmaps.
TEST_F(ImageContent, CallsReturnUnderAnAddressSpaceLimit) {
#if defined(__SANITIZE_ADDRESS__) || defined(__SANITIZE_THREAD__)
  GTEST_SKIP() << "sanitizers reserve more address space than the limit";
#elif defined(__has_feature)
#if __has_feature(address_sanitizer) || __has_feature(thread_sanitizer)
  GTEST_SKIP() << "sanitizers reserve more address space than the limit";
#endif
#endif
  struct Case {
    std::string path;
    int mode, width, height;
    int length;  // -1: no bitmap
  } cases[] = {
      {dir.write("2g.png", TwoGigabytePng()), 0, 4, 4, -1},
      {dir.write("tiny.png", PngOf(8192, 8192, 16, 6, std::vector<uint8_t>(20))), 2, 64, 64, -1},
      {dir.write("nopx.bmp", BmpHeader(8192, 8192, 24, 0, 4)), 2, 64, 64, -1},
      // Just within the decoder's bound, beyond what the limit leaves.
      {dir.write("full.bmp", BmpHeader(8192, 8192, 1, 0, 1024 * 8192)), 0, 64, 64, -1},
      {dir.write("zero.png", imagefiles::ZeroPng(4096, 4096, 6)), 2, 4096, 4096, 4096 * 4096 * 3 / 8},
      {dir.write("q.png", imagefiles::Quadrants()), 2, 4, 4, 6},
  };
  const pid_t child = fork();
  ASSERT_GE(child, 0);
  if (child == 0) {
    struct rlimit limit = {256u << 20, 256u << 20};
    if (setrlimit(RLIMIT_AS, &limit) != 0) _exit(100);
    int index = 1;
    for (Case& c : cases) {
      std::pair<unsigned char*, int> r = ImageContentBuffer(&c.path[0], c.mode, c.width, c.height);
      const int got = r.first == nullptr ? -1 : r.second;
      if (got != c.length) _exit(index);
      ++index;
    }
    _exit(0);
  }
  int status = 0;
  ASSERT_EQ(waitpid(child, &status, 0), child);
  ASSERT_TRUE(WIFEXITED(status)) << "signal " << WTERMSIG(status);
  EXPECT_EQ(WEXITSTATUS(status), 0) << "case " << WEXITSTATUS(status) << " gave another result";
}

}  // namespace
