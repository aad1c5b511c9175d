// The template contents of a page-set upload (collected-data and line-up
// fields) and the page-set descriptor.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <string>
#include <vector>

#include "SKYREL.h"
#include "SimFixture.h"
#include "TestBytes.h"
#include "VexaSim.h"
#include "core/CBuffObj.h"
#include "model/GlobalMember.h"

namespace {

using Material = GlobalMember::tagMaterial;


Material LineUpMaterial() {
  Material m;
  m.contentType = '5';
  m.materialId = 123456;
  m.lineUpIndex = 2;
  m.attrHigh = 1;
  m.attrLow = 2;
  m.levelCode = '1';
  m.primaryFlag = true;
  m.text = "SECRET-TEXT";
  return m;
}

Material CollectedMaterial() {
  Material m;
  m.contentType = '6';
  m.materialId = 77;
  m.dataIndex = 3;
  m.textStyle = 2 * 17;
  m.attrHigh = 1;
  m.attrLow = 0;
  m.levelCode = '1';
  m.primaryFlag = true;
  m.text = "SECRET-TEXT";
  return m;
}

TEST(TemplateContent, LineUpBlockOfTheFifthMaterial) {
  CBuffObj obj;
  const Bytes want = Join({bytesOfText("000123456,"), bytesOf("00 00 00"),
                           bytesOfText("010101991231"), bytesOf("0E 00 00 00"),
                           bytesOf("55 AA 00 00 35 31 31 31 31 31 01 00 00 00"),
                           bytesOf("12 00 00 00"), bytesOf("02 12 08 01 00 00 00 00"),
                           bytesOf("FF 00 05 00 01 00 01 00 00 00")});
  ASSERT_EQ(want.size(), 65u);
  EXPECT_EQ(BytesOf(obj.LineUpBuffer_Template(LineUpMaterial(), 5, false)), want);

  Bytes last = want;
  last.insert(last.end(), {'-', '1', ','});
  EXPECT_EQ(BytesOf(obj.LineUpBuffer_Template(LineUpMaterial(), 5, true)), last);
}

TEST(TemplateContent, CollectedDataBlock) {
  CBuffObj obj;
  const Bytes want = Join({bytesOfText("000000077,"), bytesOf("00 00 00"),
                           bytesOfText("010101991231"), bytesOf("0E 00 00 00"),
                           bytesOf("55 AA 00 00 36 31 31 31 31 31 01 00 00 00"),
                           bytesOf("1B 00 00 00"),
                           bytesOf("01 03 01 01 22 10 00 00 00 00 00 00 00 00 00 00 00"),
                           bytesOf("FF 00 01 00 01 00 01 00 00 00")});
  ASSERT_EQ(want.size(), 74u);
  EXPECT_EQ(BytesOf(obj.CollectionBuffer_Template(CollectedMaterial(), 1, false)), want);
}

TEST(TemplateContent, CollectedDataContentFromTheBuilder) {
  globalMember.showPages.clear();
  char s[] = "00:00", e[] = "23:59", text[] = "SECRET-TEXT";
  ASSERT_EQ(AddShowPage(1, s, e, 0), 0);
  ASSERT_EQ(AddArea(1, 0, 0, 64, 16), 0);
  ASSERT_EQ(AddTemplate_CollectData(1, text, 3, 0, 2, 1, 0), 0);
  const Material m = globalMember.showPages[0].areas[0].materials[0];
  globalMember.showPages.clear();

  CBuffObj obj;
  const Bytes block = BytesOf(obj.CollectionBuffer_Template(m, 1, false));
  ASSERT_EQ(block.size(), 74u);
  EXPECT_EQ(Bytes(block.begin() + 47, block.begin() + 64),
            bytesOf("01 03 01 01 22 10 00 00 00 00 00 00 00 00 00 00 00"));
}

// Only the low nibble of each packed value reaches its half of the byte.
struct NibbleCase {
  int attrHigh, attrLow, textStyle;
  uint8_t attrByte, styleByte;
};

class PackedNibbles : public ::testing::TestWithParam<NibbleCase> {};

TEST_P(PackedNibbles, KeepTheLowFourBits) {
  const NibbleCase& c = GetParam();
  CBuffObj obj;
  Material collected = CollectedMaterial();
  collected.attrHigh = c.attrHigh;
  collected.attrLow = c.attrLow;
  collected.textStyle = c.textStyle;
  const Bytes cd = BytesOf(obj.CollectionBuffer_Template(collected, 1, false));
  ASSERT_EQ(cd.size(), 74u);
  EXPECT_EQ(cd[47 + 4], c.styleByte);
  EXPECT_EQ(cd[47 + 5], c.attrByte);

  Material lineUp = LineUpMaterial();
  lineUp.attrHigh = c.attrHigh;
  lineUp.attrLow = c.attrLow;
  const Bytes lu = BytesOf(obj.LineUpBuffer_Template(lineUp, 1, false));
  ASSERT_EQ(lu.size(), 65u);
  EXPECT_EQ(lu[47 + 1], c.attrByte);
}

INSTANTIATE_TEST_SUITE_P(
    Nibbles, PackedNibbles,
    ::testing::Values(NibbleCase{18, 0, 0, 0x20, 0x00},            // 18 keeps 2
                      NibbleCase{-1, 18, 18 * 17, 0xF2, 0x22}));  // 306 = 0x132 keeps 2

TEST(TemplateContent, MaterialTextIsNeverSent) {
  CBuffObj obj;
  const std::string secret = "SECRET-TEXT";
  for (bool last : {false, true}) {
    EXPECT_EQ(TextOf(obj.LineUpBuffer_Template(LineUpMaterial(), 1, last)).find(secret),
              std::string::npos);
    EXPECT_EQ(TextOf(obj.CollectionBuffer_Template(CollectedMaterial(), 1, last)).find(secret),
              std::string::npos);
  }
}

// ---------------------------------------------------------------------------
// The page-set descriptor.

GlobalMember::tagShowPage Page(const std::string& start, const std::string& end) {
  GlobalMember::tagShowPage p;
  p.startTime = start;
  p.endTime = end;
  return p;
}

GlobalMember::tagArea Area(int x, int y, int w, int h, std::vector<Material> materials) {
  GlobalMember::tagArea a;
  a.x = x;
  a.y = y;
  a.areaWidth = w;
  a.areaHeight = h;
  a.materials = std::move(materials);
  return a;
}

Material Typed(int id, int contentType) {
  Material m;
  m.materialId = id;
  m.contentType = contentType;
  return m;
}

bool NineDigits(const std::string& s) {
  return s.size() >= 9 && std::all_of(s.begin(), s.begin() + 9, [](char c) { return c >= '0' && c <= '9'; });
}

TEST(PageSetDescriptor, DemonstrationPage) {
  GlobalMember::tagShowPage page = Page("00:00", "23:59");
  page.areas.push_back(Area(0, 0, 192, 16, {Typed(2, '1')}));
  CBuffObj obj;
  const std::string d = TextOf(obj.PackShowPageBuffer({page}));
  ASSERT_EQ(d.size(), 61u);
  EXPECT_TRUE(NineDigits(d)) << d;
  EXPECT_EQ(d.substr(9), ",00:00-23:59.0000000021000000024016" "1000000000#01#10;");
}

TEST(PageSetDescriptor, PagesAreasAndMaterialsInOrder) {
  GlobalMember::tagShowPage first = Page("08:00", "12:00");
  first.areas.push_back(Area(100, 5, 36, 20, {Typed(11, '7'), Typed(12, '5')}));
  first.areas.push_back(Area(8, 30, 64, 16, {Typed(13, ':'), Typed(14, '9'), Typed(15, '8')}));
  GlobalMember::tagShowPage second = Page("12:00", "18:00.5");
  second.areas.push_back(Area(0, 0, 7, 999, {Typed(16, '6')}));
  GlobalMember::tagShowPage empty = Page("", "");

  CBuffObj obj;
  const std::string d = TextOf(obj.PackShowPageBuffer({first, second, empty}));
  const std::string tail = "1000000000#01#10;";
  EXPECT_EQ(d.substr(9),
            std::string(",08:00-12:00.") +
                // x 100 and width 36 travel as 100/8 = 12 and 36/8 = 4.
                "000000011" "7" "012" "005" "004" "020" + tail +
                "000000012" "5" "012" "005" "004" "020" + tail +
                // Image groups of every colour mode travel as '8'.
                "000000013" "8" "001" "030" "008" "016" + tail +
                "000000014" "8" "001" "030" "008" "016" + tail +
                "000000015" "8" "001" "030" "008" "016" + tail +
                ",12:00-18:00.5." +
                "000000016" "6" "000" "000" "000" "999" + tail +
                ",-.");
  EXPECT_EQ(d.size(), 9u + 13 + 5 * 39 + 15 + 39 + 3);
}

// Numbers whose text is wider than their field keep their first characters.
TEST(PageSetDescriptor, OversizedNumbersKeepTheirFirstCharacters) {
  const struct {
    int id, x, y, w, h;
    const char* entry;
  } cases[] = {
      {1234567890, 0, 0, 8, 16, "123456789" "1" "000" "000" "001" "016"},
      {-5, 0, 0, 8, 16, "-00000005" "1" "000" "000" "001" "016"},
      {1, 8000, 1234, 80000, -5, "000000001" "1" "100" "123" "100" "-05"},
      {1, -16, -100, -8, 0, "000000001" "1" "-02" "-10" "-01" "000"},
  };
  CBuffObj obj;
  for (const auto& c : cases) {
    GlobalMember::tagShowPage page = Page("a", "b");
    page.areas.push_back(Area(c.x, c.y, c.w, c.h, {Typed(c.id, '1')}));
    const std::string d = TextOf(obj.PackShowPageBuffer({page}));
    ASSERT_EQ(d.size(), 9u + 5 + 39);
    EXPECT_EQ(d.substr(14, 22), c.entry) << "id " << c.id;
  }
}

TEST(PageSetDescriptor, TooLargeForTheRecordIsInvalid) {
  GlobalMember::tagShowPage page = Page("00:00", "23:59");
  std::vector<Material> many(100, Typed(1, '6'));
  page.areas.push_back(Area(0, 0, 64, 16, many));
  CBuffObj obj;
  EXPECT_EQ(obj.PackShowPageBuffer({page}).nBufferLen, -1);
}

// ---------------------------------------------------------------------------
// The emulator's reading of descriptors, written by hand here.

vexasim::Frame DecodeDescriptor(const std::string& text) {
  Bytes frame = bytesOf("FE 5C 4B 89 00 00 00 00 22 00 00 00 00 00 00 00 00");
  frame.insert(frame.end(), text.begin(), text.end());
  frame.insert(frame.end(), {0xFF, 0xFF});
  frame[4] = uint8_t(frame.size());
  frame[5] = uint8_t(frame.size() >> 8);
  frame[13] = uint8_t(text.size());
  frame[14] = uint8_t(text.size() >> 8);
  return vexasim::decodeNetworkFrame(frame.data(), frame.size());
}

TEST(PageSetDecoder, ReadsPagesAndMaterials) {
  const vexasim::Frame f = DecodeDescriptor(
      "000000042,08:00-12:00.000000011" "7" "012" "005" "004" "020" "1000000000#01#10;"
      "-00000003" "8" "001" "030" "008" "016" "1000000000#01#10;"
      ",x-y.");
  EXPECT_TRUE(f.checksOk) << f.error;
  EXPECT_EQ(f.name, "PageSet");
  EXPECT_EQ(f.get("set"), "000000042");
  EXPECT_EQ(f.get("pages"), "2");
  EXPECT_EQ(f.get("page1.start"), "\"08:00\"");
  EXPECT_EQ(f.get("page1.end"), "\"12:00\"");
  EXPECT_EQ(f.get("page1.materials"), "2");
  EXPECT_EQ(f.get("page1.m2.id"), "\"-00000003\"");
  EXPECT_EQ(f.get("page1.m2.type"), "\"8\"");
  EXPECT_EQ(f.get("page1.m2.y"), "\"030\"");
  EXPECT_EQ(f.get("page1.m2.tail"), "ok");
  EXPECT_EQ(f.get("page2.materials"), "0");
}

TEST(PageSetDecoder, FlagsWhatNoUploadSends) {
  const struct {
    const char* what;
    std::string text;
  } cases[] = {
      {"wrong tail", "000000001,a-b.000000001" "1" "000000001016" "1000000000#01#11;"},
      {"colour type", "000000001,a-b.000000001" "9" "000000001016" "1000000000#01#10;"},
      {"cut entry", "000000001,a-b.000000001" "1" "000000001016" "1000000000#01#10"},
      {"no page", "000000001"},
      {"letters in a size", "000000001,a-b.000000001" "1" "000000x01016" "1000000000#01#10;"},
  };
  for (const auto& c : cases) {
    const vexasim::Frame f = DecodeDescriptor(c.text);
    EXPECT_FALSE(f.checksOk) << c.what;
  }
}

}  // namespace
