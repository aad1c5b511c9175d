// Multimedia uploads (both frame forms), the play-image-group payload, and
// the emulator's pictures of received bitmaps.
#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

#include "Bitmaps.h"
#include "EmulatorTest.h"
#include "ImageFiles.h"
#include "SKYREL.h"
#include "SimFixture.h"
#include "TestBytes.h"
#include "core/CBuffObj.h"
#include "model/GlobalMember.h"

namespace {

// A pack whose type follows from its index: 31 for the first, 32 after.
GlobalMember::tagPackBuffer Pack(const Bytes& data, int index, int count) {
  return ::Pack(data, index == 0 ? 0x31 : 0x32, index, count);
}


TEST(MultimediaFrame, NarrowFormKeepsItsLengthFields) {
  CBuffObj o;
  // 29 bytes, whose length fields read 30 and 11.
  struct Case {
    int flag, value;
    const char* flagAndValue;
  } cases[] = {{5, 0x42, "01 42"}, {0, 0x1FF, "00 FF"}, {-1, 0, "01 00"}};
  for (const Case& c : cases) {
    SCOPED_TRACE(c.flag);
    EXPECT_EQ(Hex(o.MultimediaBuffer(Pack(bytesOf("41 42"), 0, 1), 0x6C, 0, 2, 3, 12, 4, c.flag,
                                     c.value)),
              std::string("FE 5C 4B 89 1E 00 00 00 6C 19 32 5E 00 0B 00 00 00 ") + c.flagAndValue +
                  " 00 00 01 00 00 00 41 42 FF FF");
  }
}

TEST(PlayImagePayload, Bytes) {
  CBuffObj o;
  EXPECT_EQ(Hex(o.PlayImageBuffer(1, 3, 0x11, 0x1234, 0x5678, 0x21, 0x22, 0x123, true, false)),
            "03 FC 00 05 00 11 34 12 78 56 21 22 23");
  struct Case {
    int a;
    bool i, j;
    const char* bytes0to3;
  } cases[] = {
      {1, true, false, "03 FC 00 05"}, {1, false, true, "03 FC 01 05"},  // a = 1: 05 whatever j
      {0, true, true, "03 FC 00 50"},  {0, true, false, "03 FC 00 00"},  // a = 0: 50 only with j
      {2, true, true, "03 FC 00 00"},  {-1, false, true, "03 FC 01 00"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.a);
    EXPECT_EQ(Hex(o.PlayImageBuffer(c.a, 3, 0, 0, 0, 0, 0, 0, c.i, c.j)).substr(0, 11), c.bytes0to3);
  }
  EXPECT_EQ(Hex(o.PlayImageBuffer(0, 0x100, 0, 0, 0, 0, 0, 0, true, false)).substr(0, 5), "00 FF");
}

// ---------------------------------------------------------------------------

class MultimediaWire : public EmulatorTest {
 protected:
  // This suite's names for the suite's emulator and address.
  vexasim::Emulator& sim = *sim_;
  std::string& addr = address_;
  imagefiles::ScratchDir dir;
  std::string whiteOverBlack;

  void SetUp() override {
    EmulatorTest::SetUp();
    SetReceiveTimeOut(500);
    whiteOverBlack = dir.write("wb.png", imagefiles::WhiteOverBlack());
  }
  void TearDown() override {
    EXPECT_EQ(chArrImageBuffer, nullptr);
    EmulatorTest::TearDown();
  }

  int Upload(std::string source, bool wide, int horizontal, int vertical, int width, int height,
             int mode, int flag = 0, int value = 0) {
    return SendMultimedia_Net(&source[0], &addr[0], 0, wide, horizontal, vertical, width, height,
                              mode, flag, value);
  }

  void ExpectNothingSentBefore() {
    ASSERT_EQ(PlayImageGroup_Net(&addr[0], 0, 1, 2, 0, 0, 0, 0, 0, 0, true, false), 0);
    ExpectOnlyFrameWithCommand(0x67);
  }

};

std::vector<uint8_t> Repeat(uint8_t b, size_t n) { return std::vector<uint8_t>(n, b); }

TEST_F(MultimediaWire, NineHundredSixtyOneBytesInTwoFrames) {
  // White over black at 124 x 62, one plane: 31 lit rows of 124 pixels are
  // 3844 bits, so 480 bytes FF, then F0, then zeros up to 961 bytes.
  ASSERT_EQ(Upload(whiteOverBlack, true, 17, 5, 124, 62, 0), 0);
  ASSERT_TRUE(sim.waitForFrames(2, 2000));
  std::vector<vexasim::Frame> frames = sim.frames();
  ASSERT_EQ(frames.size(), 2u);

  std::vector<uint8_t> first = bytesOf(
      "FE 5C 4B 89 E1 03 00 00 78 19 32 5E 00 CE 03 00 00"
      " 02 00 05 00 0F 00 3E 00 00 00 02 00 00 00");
  std::vector<uint8_t> data = Repeat(0xFF, 480);
  data.push_back(0xF0);
  std::vector<uint8_t> zeros = Repeat(0x00, 479);
  data.insert(data.end(), zeros.begin(), zeros.end());
  first.insert(first.end(), data.begin(), data.end());
  first.push_back(0xFF);
  first.push_back(0xFF);
  EXPECT_EQ(frames[0].raw, first);
  EXPECT_EQ(hex(frames[1].raw),
            "FE 5C 4B 89 22 00 00 00 78 19 32 5E 00 0F 00 00 00"
            " 02 00 05 00 0F 00 3E 00 00 00 02 00 01 00 00 FF FF");
  for (const vexasim::Frame& f : frames) {
    EXPECT_TRUE(f.checksOk) << f.error;
    EXPECT_EQ(f.name, "Multimedia");
  }
  EXPECT_EQ(frames[0].get("dataLength"), "960");
  EXPECT_EQ(frames[1].get("dataLength"), "1");
  EXPECT_EQ(frames[1].get("packIndex"), "1");

  std::vector<vexasim::Bitmap> bitmaps = vexasim::receivedBitmaps(sim);
  ASSERT_EQ(bitmaps.size(), 1u);
  EXPECT_EQ(bitmaps[0].width, 120);  // what width / 8 leaves of 124
  EXPECT_EQ(bitmaps[0].height, 62);
  data.push_back(0x00);
  EXPECT_EQ(bitmaps[0].bytes, data);
}

TEST_F(MultimediaWire, HorizontalAndWidthTravelInUnitsOfEight) {
  ASSERT_EQ(Upload(whiteOverBlack, true, 17, 3, 100, 8, 0), 0);
  ASSERT_TRUE(sim.waitForFrames(1, 2000));
  const vexasim::Frame f = sim.frames().at(0);
  EXPECT_EQ(f.get("horizontal8"), "2");
  EXPECT_EQ(f.get("width8"), "12");
  EXPECT_EQ(f.get("dataLength"), "100");
}

TEST_F(MultimediaWire, NarrowFormOnTheWire) {
  ASSERT_EQ(Upload(whiteOverBlack, false, 17, 3, 16, 1, 5, 7, 0x42), 0);  // mode 5 counts as 0
  ASSERT_TRUE(sim.waitForFrames(1, 2000));
  const vexasim::Frame f = sim.frames().at(0);
  EXPECT_EQ(hex(f.raw),
            "FE 5C 4B 89 1E 00 00 00 6C 19 32 5E 00 0B 00 00 00 01 42 00 00 01 00 00 00 FF FF FF FF");
  EXPECT_TRUE(f.checksOk) << f.error;
  EXPECT_EQ(f.get("totalLengthField"), "30");
  EXPECT_EQ(f.get("payloadLengthField"), "11");
  std::vector<vexasim::Bitmap> bitmaps = vexasim::receivedBitmaps(sim);
  ASSERT_EQ(bitmaps.size(), 1u);
  EXPECT_EQ(hex(bitmaps[0].bytes), "FF FF");
  EXPECT_EQ(bitmaps[0].width, 0);  // the narrow form carries no size
}

TEST_F(MultimediaWire, EveryChunkIsSentAndTheLastAnswerCounts) {
  struct Case {
    uint8_t firstStatus, lastStatus;
    int result;
  } cases[] = {{'2', '1', 0}, {'1', '3', 4}};
  for (const Case& c : cases) {
    sim.setReplyOverride([c](const vexasim::Frame& f) -> std::optional<std::vector<uint8_t>> {
      return Reply('x', f.get("packIndex") == "0" ? c.firstStatus : c.lastStatus);
    });
    EXPECT_EQ(Upload(whiteOverBlack, true, 0, 0, 124, 62, 0), c.result);
    ASSERT_TRUE(sim.waitForFrames(2, 2000));
    EXPECT_EQ(sim.frames().size(), 2u);
    sim.clear();
  }
}

TEST_F(MultimediaWire, AnOpenImageGroupIsAbandoned) {
  std::string source = whiteOverBlack;
  ASSERT_EQ(SendImageGroup_Net(&source[0], &addr[0], 0, 16, 8, 1, 0, 0, 0, 0, 1, true, 1, 2), 0);
  ASSERT_NE(chArrImageBuffer, nullptr);
  ASSERT_EQ(Upload(whiteOverBlack, false, 0, 0, 16, 1, 0), 0);
  EXPECT_EQ(chArrImageBuffer, nullptr);
  EXPECT_EQ(g_nArrIndex, 2);  // the 16 x 1 picture just sent, one bit a dot
  // The group is gone: its second image has nothing to join.
  EXPECT_EQ(SendImageGroup_Net(&source[0], &addr[0], 0, 16, 8, 1, 0, 0, 0, 0, 1, true, 2, 2), 1);
}

TEST_F(MultimediaWire, RefusalsSendNothing) {
  std::string missing = dir.path() + "/missing.bmp";
  EXPECT_EQ(Upload(missing, true, 0, 0, 16, 8, 0), 1);
  EXPECT_EQ(Upload(whiteOverBlack, true, 0, 0, 0, 8, 0), 1);   // no width
  EXPECT_EQ(Upload(whiteOverBlack, false, 0, 0, 2, 2, 0), 1);  // four pixels: no whole byte
  char bad[] = "300.1.1.1";
  EXPECT_EQ(SendMultimedia_Net(&whiteOverBlack[0], bad, 0, true, 0, 0, 16, 8, 0, 0, 0), 1);
  EXPECT_EQ(SendMultimedia_Net(&whiteOverBlack[0], nullptr, 0, true, 0, 0, 16, 8, 0, 0, 0), 1);
  EXPECT_EQ(SendMultimedia_Net(nullptr, &addr[0], 0, true, 0, 0, 16, 8, 0, 0, 0), 1);
  EXPECT_EQ(chArrImageBuffer, nullptr);
  ExpectNothingSentBefore();
}

TEST_F(MultimediaWire, PlayImageGroupOnTheWire) {
  ASSERT_EQ(PlayImageGroup_Net(&addr[0], 0, 0, 7, 1, 300, 2, 3, 4, 5, false, true), 0);
  ASSERT_TRUE(sim.waitForFrames(1, 2000));
  const vexasim::Frame f = sim.frames().at(0);
  EXPECT_EQ(hex(f.raw),
            "FE 5C 4B 89 20 00 00 00 67 00 00 00 00 0D 00 00 00"
            " 07 F8 01 50 00 01 2C 01 02 00 03 04 05 FF FF");
  EXPECT_TRUE(f.checksOk) << f.error;
  EXPECT_EQ(f.name, "PlayImageGroup");
  EXPECT_EQ(f.get("mode"), "a=0 with j");
  EXPECT_EQ(f.get("d"), "300");
  char bad[] = "not an address";
  EXPECT_EQ(PlayImageGroup_Net(bad, 0, 0, 7, 1, 300, 2, 3, 4, 5, false, true), 1);
  EXPECT_EQ(PlayImageGroup_Net(nullptr, 0, 0, 7, 1, 300, 2, 3, 4, 5, false, true), 1);
}

// ---------------------------------------------------------------------------
// Pictures of received bitmaps.

TEST(BitmapPicture, SizeFromTheOptionOrAStrip) {
  vexasim::Bitmap b;
  b.command = 0x31;
  b.colourMode = 0;
  b.imageCount = 2;
  b.bytes = bytesOf("81 FF");  // two 4 x 2 images of one plane
  std::string note;
  vexasim::RgbImage given = vexasim::drawBitmap(b, 0, 4, 2, &note);
  EXPECT_EQ(given.width, 4);
  EXPECT_EQ(given.height, 2);
  EXPECT_EQ(note, "");
  // Image 1 is 81: its first and last pixels lit.
  EXPECT_EQ(given.pixels[0], 255);
  EXPECT_EQ(given.pixels[3], 0);
  EXPECT_EQ(given.pixels[(1 * 4 + 3) * 3], 255);
  // Without a size, or with one the bytes do not fill, a strip of 8 pixels.
  for (int w : {0, 5}) {
    note.clear();
    vexasim::RgbImage strip = vexasim::drawBitmap(b, 1, w, w, &note);
    EXPECT_EQ(strip.width, 8);
    EXPECT_EQ(strip.height, 1);
    EXPECT_NE(note, "");
    EXPECT_EQ(strip.pixels[7 * 3], 255);  // image 2 is FF
  }
  // A colour mode beyond the three planes (a garbled block byte) counts as
  // one plane: nine FF bytes are a strip of 72 red pixels.
  b.colourMode = 8;
  b.imageCount = 1;
  b.bytes = bytesOf("FF FF FF FF FF FF FF FF FF");
  vexasim::RgbImage garbled = vexasim::drawBitmap(b, 0, 0, 0, &note);
  ASSERT_EQ(garbled.width, 72);
  EXPECT_EQ(garbled.pixels[71 * 3], 255);
  EXPECT_EQ(garbled.pixels[71 * 3 + 1], 0);
  EXPECT_EQ(garbled.pixels[71 * 3 + 2], 0);
}

TEST_F(MultimediaWire, PictureFileReadsBackAsTheSameBitmap) {
  std::string quadrants = dir.write("q.png", imagefiles::Quadrants());
  ASSERT_EQ(Upload(quadrants, true, 0, 0, 16, 8, 2), 0);
  ASSERT_TRUE(sim.waitForFrames(1, 2000));
  std::vector<std::string> written;
  std::string note;
  for (const vexasim::Frame& f : sim.frames()) {
    std::vector<std::string> paths = vexasim::writeBitmapFiles(f, dir.path(), 0, 0, &note);
    written.insert(written.end(), paths.begin(), paths.end());
  }
  ASSERT_EQ(written.size(), 1u) << note;
  std::pair<unsigned char*, int> back = ImageContentBuffer(&written[0][0], 2, 16, 8);
  ASSERT_NE(back.first, nullptr);
  EXPECT_EQ(hex(std::vector<uint8_t>(back.first, back.first + back.second)),
            "FF 00 FF 00 FF 00 FF 00 00 FF 00 FF 00 FF 00 FF"   // red
            " 00 FF 00 FF 00 FF 00 FF 00 FF 00 FF 00 FF 00 FF"  // green
            " 00 00 00 00 00 00 00 00 FF FF FF FF FF FF FF FF"); // blue
}

}  // namespace
