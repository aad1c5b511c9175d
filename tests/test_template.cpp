// The template block around text-like contents: both header shapes, the
// fields that vary, the material number's nine characters, the size limit,
// and the emulator's reading of a run of blocks.
#include <gtest/gtest.h>

#include <climits>
#include <cstring>

#include "TestBytes.h"
#include "VexaSim.h"


namespace {

const std::string kHead = Hx("010101991231");

CBuffObj::tagBufferInfo Content(const std::string& text) { return Record(bytesOfText(text)); }


TEST(TemplateBlock, ShortShapeWithEmptyContent) {
  CBuffObj o;
  const auto b = o.TemplateBuffer(EmptyBuffer(), 0x31, 192, 16, 2, 0, 0, 0, 0, 9, 9, 9, 0,
                                  false, 0, 1, 1, 1, 1, false);
  // The area size and text attributes have no place in the short shape.
  EXPECT_EQ(hex(BytesOf(b)), Hx("000000002,") + " 00 00 00 " + kHead + " 0E 00 00 00 " +
                                 "55 AA 00 00 31 32 31 31 31 31 01 00 00 00 " +
                                 "0A 00 00 00 FF 00 01 00 01 00 01 00 00 00");
}

TEST(TemplateBlock, TextShapeWithEveryFieldDistinct) {
  CBuffObj o;
  const auto b = o.TemplateBuffer(Content("AB"), 0x37, 199, 16, -5, 2, 1, 2, 3, 4, 3, 1, 2, true,
                                  9, 7, 5, 6, 0, true);
  // Width 199 is 24 units of 8; the "-1," mark is not counted by the body
  // length (0C = 2 + 10); trailer word B comes before word C.
  EXPECT_EQ(hex(BytesOf(b)), Hx("-00000005,") + " 01 02 03 " + kHead + " 13 00 00 00 " +
                                 "55 AA 00 09 37 31 32 31 33 31 00 00 18 00 10 00 04 31 00 " +
                                 "0C 00 00 00 41 42 FF 00 07 00 06 00 05 00 00 00 2D 31 2C");
}

TEST(TemplateBlock, VaryingFields) {
  struct Case {
    const char* name;
    int areaWidth, attrHigh, attrLow, levelCode, displayMode;
    const char* at35to37;  // level, constant '1', colour mode
    const char* at41to46;  // width/8, height, style, attributes
  };
  const Case cases[] = {
      {"plain", 192, 3, 1, 0x31, 0, "31 31 31", "18 00 10 00 00 31"},
      {"level2 mode1", 8, 0, 15, 2, 1, "32 31 32", "01 00 10 00 00 0F"},
      {"level3 mode2", 7, 15, 0, 3, 2, "33 31 33", "00 00 10 00 00 F0"},
      {"mode7 counts as 0", 0, 1, 2, 9, 7, "31 31 31", "00 00 10 00 00 12"},
      {"nibbles keep low bits", -9, 18, 1, 1, 1, "31 31 32", "FF FF 10 00 00 21"},
      {"largest attribute", 64, INT_MAX, 0, 1, 0, "31 31 31", "08 00 10 00 00 F0"},
  };
  CBuffObj o;
  for (const Case& c : cases) {
    const Bytes b = BytesOf(o.TemplateBuffer(EmptyBuffer(), 0x37, c.areaWidth, 16, 1,
                                             c.displayMode, 0, 0, 0, 0, c.attrHigh, c.attrLow,
                                             c.levelCode, true, 0, 1, 1, 1, 0, false));
    ASSERT_EQ(b.size(), 62u) << c.name;
    EXPECT_EQ(hex(Bytes(b.begin() + 35, b.begin() + 38)), c.at35to37) << c.name;
    EXPECT_EQ(hex(Bytes(b.begin() + 41, b.begin() + 47)), c.at41to46) << c.name;
  }
}

TEST(TemplateBlock, MaterialNumberTakesNineCharacters) {
  const std::pair<int, const char*> cases[] = {
      {2, "000000002,"},         {-5, "-00000005,"},        {999999999, "999999999,"},
      {1234567890, "123456789,"}, {-99999999, "-99999999,"}, {-123456789, "-12345678,"},
  };
  CBuffObj o;
  for (const auto& c : cases) {
    const Bytes b = BytesOf(o.TemplateBuffer(EmptyBuffer(), 0x31, 0, 0, c.first, 0, 0, 0, 0, 0,
                                             0, 0, 1, false, 0, 1, 1, 1, 1, false));
    ASSERT_EQ(b.size(), 57u) << c.first;
    EXPECT_EQ(std::string(b.begin(), b.begin() + 10), c.second);
  }
}

TEST(TemplateBlock, ABlockThatCannotBeFramedIsInvalid) {
  CBuffObj o;
  // 2921 content bytes in the short shape with the mark: 2981, a full frame.
  auto fits = o.TemplateBuffer(Content(std::string(2921, 'x')), 0x31, 0, 0, 1, 0, 0, 0, 0, 0, 0,
                               0, 1, false, 0, 1, 1, 1, 1, true);
  EXPECT_EQ(fits.nBufferLen, 2981);
  EXPECT_EQ(o.CompletePacketBuffer(fits, 0x31, 0).nBufferLen, 3000);
  auto over = o.TemplateBuffer(Content(std::string(2922, 'x')), 0x31, 0, 0, 1, 0, 0, 0, 0, 0, 0,
                               0, 1, false, 0, 1, 1, 1, 1, true);
  EXPECT_FALSE(IsValid(o.CompletePacketBuffer(over, 0x31, 0)));
  auto tooLong = o.TemplateBuffer(Content(std::string(2944, 'x')), 0x31, 0, 0, 1, 0, 0, 0, 0, 0,
                                  0, 0, 1, false, 0, 1, 1, 1, 1, true);
  EXPECT_EQ(tooLong.nBufferLen, -1);
}

// The emulator's reading of blocks, including faults it must report.
vexasim::Frame Decode(const std::string& payloadHex) {
  const Bytes payload = bytesOf(payloadHex);
  Bytes frame = bytesOf("FE 5C 4B 89 00 00 00 00 31 00 00 00 00 00 00 00 00");
  const uint32_t total = static_cast<uint32_t>(payload.size() + 19);
  for (int i = 0; i < 4; ++i) frame[4 + i] = uint8_t(total >> (8 * i));
  for (int i = 0; i < 4; ++i) frame[13 + i] = uint8_t(payload.size() >> (8 * i));
  frame.insert(frame.end(), payload.begin(), payload.end());
  frame.push_back(0xFF);
  frame.push_back(0xFF);
  return vexasim::decodeNetworkFrame(frame.data(), frame.size());
}

TEST(TemplateBlockDecoder, ContentsByType) {
  const std::string lineUp = Hx("000123456,") + " 00 00 00 " + kHead + " 0E 00 00 00 " +
                             "55 AA 00 00 35 31 31 31 31 31 01 00 00 00 12 00 00 00 " +
                             "02 12 08 01 00 00 00 00 FF 00 05 00 01 00 01 00 00 00";
  vexasim::Frame f = Decode(lineUp);
  EXPECT_TRUE(f.checksOk) << f.error;
  EXPECT_EQ(f.name, "LineUpField");
  EXPECT_EQ(f.get("lineUpIndex") + f.get("attrHigh") + f.get("attrLow") + f.get("sequenceNo"),
            "2125");
  const std::string collected = Hx("000000007,") + " 00 00 00 " + kHead + " 0E 00 00 00 " +
                                "55 AA 00 00 36 31 31 31 31 31 01 00 00 00 1B 00 00 00 " +
                                "01 03 01 01 22 10 00 00 00 00 00 00 00 00 00 00 00 " +
                                "FF 00 01 00 01 00 01 00 00 00 2D 31 2C";
  f = Decode(collected);
  EXPECT_TRUE(f.checksOk) << f.error;
  EXPECT_EQ(f.name, "CollectedDataField");
  EXPECT_EQ(f.get("dataIndex") + "/" + f.get("textStyle") + "/" + f.get("last"), "3/2/true");
}

TEST(TemplateBlockDecoder, FaultsAreReported) {
  const std::string good = Hx("000000001,") + " 00 00 00 " + kHead + " 0E 00 00 00 " +
                           "55 AA 00 00 31 32 31 31 31 31 01 00 00 00 11 00 00 00 " +
                           "01 03 80 80 11 11 00 FF 00 01 00 01 00 01 00 00 00";
  EXPECT_TRUE(Decode(good).checksOk) << Decode(good).error;
  // A closing mark before another block; a body length past the end; top
  // bits of the date-time bytes that differ.
  EXPECT_FALSE(Decode(good + " 2D 31 2C " + good).checksOk);
  std::string longBody = good;
  longBody.replace(longBody.find("11 00 00 00 01 03"), 2, "12");
  EXPECT_FALSE(Decode(longBody).checksOk);
  std::string topBits = good;
  topBits.replace(topBits.find("80 80"), 5, "80 00");
  EXPECT_FALSE(Decode(topBits).checksOk);
}

}  // namespace
