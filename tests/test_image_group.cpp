// Image groups: the block of one chunk, the gathering of a group over several
// calls, its chunks on the wire and put back together by the emulator, the
// serial path, and every refusal that abandons a group.
#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

#include "Bitmaps.h"
#include "EmulatorTest.h"
#include "ImageFiles.h"
#include "SKYREL.h"
#include "SerialLine.h"
#include "SimFixture.h"
#include "TestBytes.h"
#include "core/CBuffObj.h"
#include "core/Trace.h"
#include "model/GlobalMember.h"

namespace {

std::vector<uint8_t> Repeat(const std::string& hexBytes, int times) {
  std::vector<uint8_t> one = bytesOf(hexBytes), out;
  for (int i = 0; i < times; ++i) out.insert(out.end(), one.begin(), one.end());
  return out;
}


const std::string kFF8 = "FF FF FF FF FF FF FF FF ";
const std::string k008 = "00 00 00 00 00 00 00 00 ";

// Red plane of the quadrant picture at 128 x 128: the upper left and lower
// right quarters lit.
std::vector<uint8_t> QuadrantsRed128() {
  return Join(Repeat(kFF8 + k008, 64), Repeat(k008 + kFF8, 64));
}
// Red plane of white-over-black at 128 x 128: the upper half lit.
std::vector<uint8_t> WhiteOverBlack128() {
  return Join(Repeat(kFF8 + kFF8, 64), Repeat(k008 + k008, 64));
}

TEST(ImageGroupBlock, OneChunkGroup) {
  CBuffObj o;
  const std::string expected =
      hex(bytesOfText("000000005,")) + " 01 02 03 " + hex(bytesOfText("010101991231")) +
      " 0E 00 00 00 55 AA 00 00 38 31 31 31 31 31 01 00 00 00 0D 00 00 00 41 42 43"
      " FF 00 01 00 01 00 01 00 00 00 2D 31 2C";
  const std::string block =
      Hex(o.ImgGroupBuffer(Pack(bytesOf("41 42 43"), 0x31, 1, 1), 5, 0, 1, 2, 3, 1, true, 1, true));
  EXPECT_EQ(block, expected);
  EXPECT_EQ(bytesOf(block).size(), 63u);
}

TEST(ImageGroupBlock, MaterialNumberAndModeCharacters) {
  CBuffObj o;
  struct Case {
    int materialId;
    int mode;
    int level;
    const char* head;  // bytes 0-8
    char modeChar;     // byte 37
    char levelChar;    // byte 35
  } cases[] = {
      {5, 0, 1, "000000005", '1', '1'},       {-5, 1, 2, "-00000005", '2', '2'},
      {1234567890, 2, 0, "123456789", '3', '1'}, {0, 7, 0x31, "000000000", '1', '1'},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.materialId);
    CBuffObj::tagBufferInfo b =
        o.ImgGroupBuffer(Pack({}, 0x31, 1, 1), c.materialId, c.mode, 0, 0, 0, c.level, true, 1, true);
    ASSERT_EQ(b.nBufferLen, 60);
    EXPECT_EQ(std::string(b.chArrBuffer, 9), c.head);
    EXPECT_EQ(b.chArrBuffer[37], c.modeChar);
    EXPECT_EQ(b.chArrBuffer[35], c.levelChar);
  }
}

// ---------------------------------------------------------------------------
// Groups sent to the emulator.

class ImageGroupWire : public EmulatorTest {
 protected:
  // This suite's names for the suite's emulator and address.
  vexasim::Emulator& sim = *sim_;
  std::string& addr = address_;
  imagefiles::ScratchDir dir;
  std::string quadrants, whiteOverBlack;

  void SetUp() override {
    EmulatorTest::SetUp();
    SetReceiveTimeOut(500);
    quadrants = dir.write("q.png", imagefiles::Quadrants());
    whiteOverBlack = dir.write("wb.png", imagefiles::WhiteOverBlack());
  }
  void TearDown() override {
    // No test may leave a group open.
    EXPECT_EQ(chArrImageBuffer, nullptr);
    EmulatorTest::TearDown();
  }

  int Send(std::string source, int width, int height, int mode, int index, int count,
           int materialId = 9) {
    return SendImageGroup_Net(&source[0], &addr[0], 0, width, height, materialId, mode, 1, 2, 3,
                              1, true, index, count);
  }

  // Sends a play command and checks that it is the only frame received:
  // whatever came before it sent nothing.
  void ExpectNothingSentBefore() {
    ASSERT_EQ(PlayImageGroup_Net(&addr[0], 0, 0, 1, 0, 0, 0, 0, 0, 0, true, false), 0);
    ExpectOnlyFrameWithCommand(0x67);
  }

};

TEST_F(ImageGroupWire, ThreeImagesInExactlyThreeChunks) {
  // Positions 1 and 2 store their 2048 bytes and send nothing.
  for (int position = 1; position <= 2; ++position) {
    ASSERT_EQ(Send(position == 1 ? quadrants : whiteOverBlack, 128, 128, 0, position, 3), 0);
    EXPECT_EQ(g_nArrIndex, 2048 * position);
  }
  ExpectNothingSentBefore();
  ASSERT_EQ(Send(quadrants, 128, 128, 0, 3, 3), 0);
  // The counter keeps the bytes of the group just sent until the next start.
  EXPECT_EQ(g_nArrIndex, 3 * 2048);
  EXPECT_EQ(chArrImageBuffer, nullptr);
  ASSERT_TRUE(sim.waitForFrames(3, 2000));
  std::vector<vexasim::Frame> frames = sim.frames();
  ASSERT_EQ(frames.size(), 3u);
  for (size_t k = 0; k < 3; ++k) {
    SCOPED_TRACE(k);
    const std::vector<uint8_t>& block = frames[k].payload;
    // Pack type "1" only in the first block, "-1," only after the last.
    ASSERT_EQ(block.size(), 2048u + (k == 2 ? 60 : 57));
    EXPECT_EQ(block[36], k == 0 ? '1' : '2');
    EXPECT_EQ(hex({block.begin() + 39, block.begin() + 41}), "03 00");  // image count
    // Mark, pack count, pack index.
    EXPECT_EQ(hex({block.begin() + 2095, block.begin() + 2105}),
              "FF 00 01 00 03 00 0" + std::to_string(k + 1) + " 00 00 00");
  }
  EXPECT_EQ(hex({frames[2].payload.end() - 3, frames[2].payload.end()}), "2D 31 2C");

  // Frames of 2124, 2124 and 2127 bytes go out in datagrams of at most 1408.
  std::vector<size_t> sizes;
  for (const vexasim::Datagram& d : sim.datagrams()) sizes.push_back(d.bytes.size());
  EXPECT_EQ(sizes, (std::vector<size_t>{1408, 716, 1408, 716, 1408, 719}));

  // The emulator puts the group back together.
  std::vector<vexasim::Bitmap> bitmaps = vexasim::receivedBitmaps(sim);
  ASSERT_EQ(bitmaps.size(), 1u);
  EXPECT_EQ(bitmaps[0].imageCount, 3);
  EXPECT_EQ(bitmaps[0].colourMode, 0);
  EXPECT_EQ(bitmaps[0].materialId, "000000009");
  EXPECT_EQ(bitmaps[0].bytes,
            Join(Join(QuadrantsRed128(), WhiteOverBlack128()), QuadrantsRed128()));
}

TEST_F(ImageGroupWire, ChunksOfTwoImagesThatSpanABoundary) {
  // Two 64 x 64 images in colour mode 2: 1536 bytes each, 3072 in all, sent
  // as chunks of 2048 and 1024. Each plane of white over black: 32 rows lit.
  ASSERT_EQ(Send(whiteOverBlack, 64, 64, 2, 1, 2), 0);
  ASSERT_EQ(Send(whiteOverBlack, 64, 64, 2, 2, 2), 0);
  ASSERT_TRUE(sim.waitForFrames(2, 2000));
  std::vector<vexasim::Frame> frames = sim.frames();
  ASSERT_EQ(frames.size(), 2u);
  EXPECT_EQ(frames[0].payload.size(), 2048u + 57);
  EXPECT_EQ(frames[1].payload.size(), 1024u + 60);
  EXPECT_EQ(frames[0].payload[37], '3');
  EXPECT_EQ(hex({frames[1].payload.begin() + 43, frames[1].payload.begin() + 47}), "0A 04 00 00");
  std::vector<vexasim::Bitmap> bitmaps = vexasim::receivedBitmaps(sim);
  ASSERT_EQ(bitmaps.size(), 1u);
  EXPECT_EQ(bitmaps[0].colourMode, 2);
  const std::vector<uint8_t> plane = Join(Repeat(kFF8, 32), Repeat(k008, 32));
  EXPECT_EQ(bitmaps[0].bytes, Repeat(hex(plane), 6));
}

TEST_F(ImageGroupWire, ColourModeSevenCountsAsZero) {
  ASSERT_EQ(Send(whiteOverBlack, 16, 8, 7, 1, 1), 0);
  ASSERT_TRUE(sim.waitForFrames(1, 2000));
  std::vector<vexasim::Frame> frames = sim.frames();
  ASSERT_EQ(frames.size(), 1u);
  EXPECT_EQ(frames[0].payload[37], '1');
  // One bit per pixel: 16 bytes, the upper four rows lit.
  EXPECT_EQ(hex({frames[0].payload.begin() + 43, frames[0].payload.end()}),
            "1A 00 00 00 FF FF FF FF FF FF FF FF 00 00 00 00 00 00 00 00"
            " FF 00 01 00 01 00 01 00 00 00 2D 31 2C");
}

TEST_F(ImageGroupWire, ANewGroupReleasesTheOpenOne) {
  ASSERT_EQ(Send(quadrants, 16, 8, 0, 1, 2), 0);
  ASSERT_EQ(Send(whiteOverBlack, 16, 8, 0, 1, 1), 0);
  ASSERT_TRUE(sim.waitForFrames(1, 2000));
  std::vector<vexasim::Bitmap> bitmaps = vexasim::receivedBitmaps(sim);
  ASSERT_EQ(bitmaps.size(), 1u);
  EXPECT_EQ(hex(bitmaps[0].bytes), "FF FF FF FF FF FF FF FF 00 00 00 00 00 00 00 00");
  EXPECT_EQ(bitmaps[0].imageCount, 1);
}

TEST_F(ImageGroupWire, CallsThatBreakTheGroupAbandonIt) {
  std::string missing = dir.path() + "/missing.png";
  std::string text = dir.write("text.png", bytesOfText("not a picture"));
  struct Step {
    std::string* source;
    int width, mode, index, count;
  };
  struct Case {
    const char* what;
    std::vector<Step> steps;  // all but the last return 0
  } cases[] = {
      {"position 2 with no group open", {{&quadrants, 16, 0, 2, 2}}},
      {"count changes", {{&quadrants, 16, 0, 1, 3}, {&quadrants, 16, 0, 2, 4}}},
      {"wider image, longer bitmap", {{&quadrants, 16, 0, 1, 2}, {&quadrants, 32, 0, 2, 2}}},
      {"narrower image, shorter bitmap", {{&quadrants, 16, 0, 1, 2}, {&quadrants, 8, 0, 2, 2}}},
      {"colour mode changes", {{&quadrants, 16, 0, 1, 2}, {&quadrants, 8, 1, 2, 2}}},
      {"position skipped", {{&quadrants, 16, 0, 1, 3}, {&quadrants, 16, 0, 3, 3}}},
      {"position repeated", {{&quadrants, 16, 0, 1, 3}, {&quadrants, 16, 0, 2, 3}, {&quadrants, 16, 0, 2, 3}}},
      {"missing file later", {{&quadrants, 16, 0, 1, 2}, {&missing, 16, 0, 2, 2}}},
      {"unknown format later", {{&quadrants, 16, 0, 1, 2}, {&text, 16, 0, 2, 2}}},
      {"missing file first", {{&missing, 16, 0, 1, 1}}},
      {"bitmap longer than its group", {{&quadrants, 16, 0, 0, 0}}},
      {"more images than the count field holds", {{&quadrants, 16, 0, 1, 65536}}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    // A refused later image with no group open leaves the counter alone; a
    // group that was started and then broken leaves it at 0.
    const int before = g_nArrIndex;
    const bool opensAGroup = c.steps[0].index < 2;
    for (size_t s = 0; s < c.steps.size(); ++s) {
      const Step& st = c.steps[s];
      const int want = s + 1 < c.steps.size() ? 0 : 1;
      EXPECT_EQ(Send(*st.source, st.width, 8, st.mode, st.index, st.count), want) << "step " << s;
    }
    EXPECT_EQ(chArrImageBuffer, nullptr);
    EXPECT_EQ(g_nArrIndex, opensAGroup ? 0 : before);
    ExpectNothingSentBefore();
  }
}

TEST_F(ImageGroupWire, TheReasonSaysWhyAnImageCannotBeRead) {
  const std::string missing = dir.path() + "/missing.png";
  ASSERT_EQ(Send(quadrants, 16, 8, 0, 1, 2), 0);
  EXPECT_EQ(Send(missing, 16, 8, 0, 2, 2), 1);
  EXPECT_EQ(trace::LastReason(),
            "image \"" + missing + "\": No such file or directory; the image group is abandoned");
}

TEST_F(ImageGroupWire, CounterTakenByAnotherOperationAbandonsTheGroup) {
  ASSERT_EQ(Send(quadrants, 16, 8, 0, 1, 2), 0);
  g_nArrIndex = 3;  // as a multi-part text starting in between would leave it
  EXPECT_EQ(Send(quadrants, 16, 8, 0, 2, 2), 1);
  EXPECT_EQ(chArrImageBuffer, nullptr);
  ExpectNothingSentBefore();
}

TEST_F(ImageGroupWire, MissingArgumentsLeaveTheGroupAsItWas) {
  ASSERT_EQ(Send(quadrants, 16, 8, 0, 1, 2), 0);
  char* const open = chArrImageBuffer;
  char bad[] = "10.0.0";
  EXPECT_EQ(SendImageGroup_Net(nullptr, &addr[0], 0, 16, 8, 9, 0, 1, 2, 3, 1, true, 2, 2), 1);
  EXPECT_EQ(SendImageGroup_Net(&whiteOverBlack[0], nullptr, 0, 16, 8, 9, 0, 1, 2, 3, 1, true, 2, 2), 1);
  EXPECT_EQ(SendImageGroup_Net(&whiteOverBlack[0], bad, 0, 16, 8, 9, 0, 1, 2, 3, 1, true, 2, 2), 1);
  EXPECT_EQ(chArrImageBuffer, open);
  EXPECT_EQ(g_nArrIndex, 16);
  ExpectNothingSentBefore();
  // The group goes on as if nothing had happened.
  ASSERT_EQ(Send(whiteOverBlack, 16, 8, 0, 2, 2), 0);
  ASSERT_TRUE(sim.waitForFrames(1, 2000));
  std::vector<vexasim::Bitmap> bitmaps = vexasim::receivedBitmaps(sim);
  ASSERT_EQ(bitmaps.size(), 1u);
  EXPECT_EQ(hex(bitmaps[0].bytes),
            "FF 00 FF 00 FF 00 FF 00 00 FF 00 FF 00 FF 00 FF"
            " FF FF FF FF FF FF FF FF 00 00 00 00 00 00 00 00");
}

// ---------------------------------------------------------------------------
// The serial path: a pseudo-terminal linked as COM7 in a scratch directory.

class ImageGroupSerial : public ImageGroupWire {
 protected:
  std::string slave;
  ComPortDir ports;
  char noAddress[1] = "";
  char device[2] = "0";

  void SetUp() override {
    ImageGroupWire::SetUp();
    slave = sim.openSerial();
    ASSERT_FALSE(slave.empty());
    ASSERT_NO_FATAL_FAILURE(ports.enter());
    ASSERT_NO_FATAL_FAILURE(ports.link(7, slave));
    SetReceiveTimeOut(200);
  }
  void TearDown() override {
    CloseCom();
    ports.leave();
    ImageGroupWire::TearDown();
  }


  int SendSerial(std::string source, int protocol, int index, int count) {
    return SendImageGroupBuffer(2, 1, noAddress, protocol, 7, 9600, device, &source[0], 16, 8, 4,
                                0, 1, 2, 3, 1, true, index, count);
  }
};

TEST_F(ImageGroupSerial, GroupGoesOutOnTheSerialLine) {
  ASSERT_EQ(SendSerial(quadrants, 0, 1, 2), 0);
  ASSERT_EQ(SendSerial(whiteOverBlack, 1, 2, 2), 0);
  ASSERT_TRUE(sim.waitForFrames(1, 2000));
  std::vector<vexasim::Frame> frames = sim.frames();
  ASSERT_EQ(frames.size(), 1u);
  EXPECT_EQ(frames[0].channel, "serial");
  EXPECT_EQ(frames[0].command, 0x31);
  // Two 16-byte bitmaps in one block of 92 bytes, in a frame of 111.
  const std::vector<uint8_t> line = sim.serialBytes();
  ASSERT_EQ(line.size(), 111u);
  EXPECT_EQ(hex({line.begin(), line.begin() + 17}),
            "FE 5C 4B 89 6F 00 00 00 31 00 00 00 00 5C 00 00 00");
  std::vector<vexasim::Bitmap> bitmaps = vexasim::receivedBitmaps(sim);
  ASSERT_EQ(bitmaps.size(), 1u);
  EXPECT_EQ(bitmaps[0].channel, "serial");
  EXPECT_EQ(bitmaps[0].imageCount, 2);
  EXPECT_EQ(hex(bitmaps[0].bytes),
            "FF 00 FF 00 FF 00 FF 00 00 FF 00 FF 00 FF 00 FF"
            " FF FF FF FF FF FF FF FF 00 00 00 00 00 00 00 00");
}

TEST_F(ImageGroupSerial, BusProtocolSendsNothingAndReleasesTheGroup) {
  ASSERT_EQ(SendSerial(quadrants, 0, 1, 2), 0);
  ASSERT_NE(chArrImageBuffer, nullptr);
  EXPECT_EQ(SendSerial(whiteOverBlack, 2, 2, 2), 1);
  EXPECT_EQ(chArrImageBuffer, nullptr);
  EXPECT_EQ(SendSerial(whiteOverBlack, 2, 1, 1), 1);
  EXPECT_EQ(chArrImageBuffer, nullptr);
  ExpectNothingSentBefore();
  EXPECT_TRUE(sim.serialBytes().empty());
}

}  // namespace
