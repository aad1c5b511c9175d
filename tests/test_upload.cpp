// Uploading a page set to the in-process controller emulator: the
// descriptor, one transmission per material, refusals and what they leave.
#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>
#include <sstream>
#include <string>
#include <unistd.h>
#include <vector>

#include "EmulatorTest.h"
#include "SKYREL.h"
#include "SimFixture.h"
#include "TestBytes.h"
#include "VexaSim.h"
#include "model/GlobalMember.h"

namespace {

using vexasim::Frame;


std::string Describe() {
  std::ostringstream s;
  for (const GlobalMember::tagShowPage& p : globalMember.showPages) {
    s << p.pageNo << ' ' << p.startTime << '-' << p.endTime << ':';
    for (const GlobalMember::tagArea& a : p.areas) {
      s << " [" << a.x << ',' << a.y << ' ' << a.areaWidth << 'x' << a.areaHeight;
      for (const GlobalMember::tagMaterial& m : a.materials)
        s << ' ' << char(m.contentType) << m.materialId << '/' << m.files.size();
      s << ']';
    }
    s << '\n';
  }
  return s.str();
}

// sequenceNo of a date-time block: content of 7 bytes from offset 47, then
// FF 00 and the number.
int DateTimeSequence(const Frame& f) {
  if (f.payload.size() < 58) return -1;
  return f.payload[56] | (f.payload[57] << 8);
}

bool EndsWithLastMark(const Frame& f) {
  const Bytes& p = f.payload;
  return p.size() >= 3 && p[p.size() - 3] == '-' && p[p.size() - 2] == '1' && p[p.size() - 1] == ',';
}

class Upload : public EmulatorTest {
 protected:
  void SetUp() override {
    EmulatorTest::SetUp();
    globalMember.showPages.clear();
  }
  void TearDown() override {
    globalMember.showPages.clear();
    EmulatorTest::TearDown();
  }

  std::vector<Frame> Received(size_t atLeast) {
    sim_->waitForFrames(atLeast, 3000);
    return sim_->frames();
  }

  // A start-play probe after a refused call: had the call sent anything, it
  // would have arrived first.
  void ExpectNothingSent(const std::string& what) {
    ASSERT_EQ(StartPlay_Net(ip(), 1), 0) << what;
    std::vector<Frame> got = Received(1);
    ASSERT_EQ(got.size(), 1u) << what << " sent something";
    EXPECT_EQ(got[0].command, 0x51) << what;
    sim_->clear();
  }

  static void DemonstrationSet() {
    char s[] = "00:00", e[] = "23:59";
    ASSERT_EQ(AddShowPage(2, s, e, 0), 0);
    ASSERT_EQ(AddArea(2, 0, 0, 192, 16), 0);
    ASSERT_EQ(AddTemplate_DateTime(2, 2, 0, 1, 1, 1, 1, 0, 1, 3, 1, 0, 0, 0, false), 0);
  }
  // A date-time material with the given id on the page's last area.
  static void DateTime(int pageNo, int id) {
    ASSERT_EQ(AddTemplate_DateTime(pageNo, id, 0, 1, 1, 1, 1, 0, 1, 3, 1, 0, 0, 0, false), 0);
  }
  static void Page(int pageNo) {
    char s[] = "06:00", e[] = "22:00";
    ASSERT_EQ(AddShowPage(pageNo, s, e, 0), 0);
  }
};


const char kTail[] = "1000000000#01#10;";

TEST_F(Upload, DemonstrationSetGoesOutAsTwoExactFrames) {
  DemonstrationSet();
  ASSERT_EQ(SendTemplateData_Net(ip(), 1), 0);
  std::vector<Frame> got = Received(2);
  ASSERT_EQ(got.size(), 2u);

  // The descriptor, its nine-digit set number aside.
  const Bytes& d = got[0].raw;
  ASSERT_EQ(d.size(), 80u);
  EXPECT_EQ(Bytes(d.begin(), d.begin() + 17),
            bytesOf("FE 5C 4B 89 50 00 00 00 22 00 00 00 00 3D 00 00 00"));
  for (size_t i = 17; i < 26; ++i) EXPECT_TRUE(d[i] >= '0' && d[i] <= '9') << "set digit " << i;
  EXPECT_EQ(Bytes(d.begin() + 26, d.end()),
            Join({bytesOfText(",00:00-23:59.000000002" "1" "000" "000" "024" "016"),
                  bytesOfText(kTail), bytesOf("FF FF")}));
  EXPECT_TRUE(got[0].checksOk) << got[0].error;

  // The date-time block, sequence 1 and the closing mark.
  const Bytes want = Join({bytesOf("FE 5C 4B 89 56 00 00 00 31 00 00 00 00 43 00 00 00"),
                           bytesOfText("000000002,"), bytesOf("00 00 00"),
                           bytesOfText("010101991231"), bytesOf("0E 00 00 00"),
                           bytesOf("55 AA 00 00 31 32 31 31 31 31 01 00 00 00"),
                           bytesOf("11 00 00 00"), bytesOf("01 03 80 80 11 11 00"),
                           bytesOf("FF 00 01 00 01 00 01 00 00 00"), bytesOfText("-1,"),
                           bytesOf("FF FF")});
  ASSERT_EQ(want.size(), 86u);
  EXPECT_EQ(got[1].raw, want);

  // Emptied on success: a second upload is refused before sending.
  EXPECT_TRUE(globalMember.showPages.empty());
  sim_->clear();
  EXPECT_EQ(SendTemplateData_Net(ip(), 1), 1);
  ExpectNothingSent("second upload");
}

TEST_F(Upload, TwoPagesNumberTheirMaterialsAndOnlyTheLastEnds) {
  Page(1);
  ASSERT_EQ(AddArea(1, 0, 0, 64, 16), 0);
  DateTime(1, 10);
  Page(2);
  ASSERT_EQ(AddArea(2, 0, 16, 64, 16), 0);
  DateTime(2, 20);
  ASSERT_EQ(SendTemplateData_Net(ip(), 1), 0);

  std::vector<Frame> got = Received(3);
  ASSERT_EQ(got.size(), 3u);
  EXPECT_EQ(got[0].command, 0x22);
  EXPECT_EQ(got[0].get("pages"), "2");
  ASSERT_EQ(got[1].command, 0x31);
  ASSERT_EQ(got[2].command, 0x31);
  EXPECT_EQ(DateTimeSequence(got[1]), 1);
  EXPECT_EQ(DateTimeSequence(got[2]), 2);
  EXPECT_EQ(got[1].payload.size(), 64u);
  EXPECT_FALSE(EndsWithLastMark(got[1]));
  EXPECT_EQ(got[2].payload.size(), 67u);
  EXPECT_TRUE(EndsWithLastMark(got[2]));
}

TEST_F(Upload, DescriptorRefusedTwiceSendsNoMaterialAndKeepsTheModel) {
  DemonstrationSet();
  const std::string before = Describe();
  sim_->setReplyMode(vexasim::ReplyMode::Refuse2);
  EXPECT_EQ(SendTemplateData_Net(ip(), 1), 3);
  sim_->setReplyMode(vexasim::ReplyMode::Accept);
  std::vector<Frame> got = Received(2);
  ASSERT_EQ(got.size(), 2u);
  EXPECT_EQ(got[0].command, 0x22);
  EXPECT_EQ(got[1].command, 0x22);
  EXPECT_EQ(got[0].raw, got[1].raw);
  EXPECT_EQ(Describe(), before);
  sim_->clear();
  ExpectNothingSent("after the refused descriptor");

  // The kept model can be uploaded again.
  EXPECT_EQ(SendTemplateData_Net(ip(), 1), 0);
  EXPECT_TRUE(globalMember.showPages.empty());
}

TEST_F(Upload, DescriptorAcceptedOnItsRetry) {
  DemonstrationSet();
  int descriptors = 0;
  sim_->setReplyOverride([&descriptors](const Frame& f) -> std::optional<Bytes> {
    if (f.command == 0x22 && ++descriptors == 1) return vexasim::replyFor(f, vexasim::ReplyMode::Refuse3);
    return std::nullopt;
  });
  EXPECT_EQ(SendTemplateData_Net(ip(), 1), 0);
  std::vector<Frame> got = Received(3);
  ASSERT_EQ(got.size(), 3u);
  EXPECT_EQ(got[0].command, 0x22);
  EXPECT_EQ(got[1].command, 0x22);
  EXPECT_EQ(got[2].command, 0x31);
}

// Area A holds materials 1, 2, 3; area B holds 4. Material 2 is refused,
// also on its immediate retry: 3 is skipped, 4 still goes out.
TEST_F(Upload, RefusedMaterialSkipsOnlyTheRestOfItsArea) {
  Page(1);
  ASSERT_EQ(AddArea(1, 0, 0, 64, 16), 0);
  DateTime(1, 1);
  DateTime(1, 2);
  DateTime(1, 3);
  ASSERT_EQ(AddArea(1, 64, 0, 64, 16), 0);
  DateTime(1, 4);
  sim_->setReplyOverride([](const Frame& f) -> std::optional<Bytes> {
    if (f.command == 0x31 && DateTimeSequence(f) == 2) return vexasim::replyFor(f, vexasim::ReplyMode::Refuse2);
    return std::nullopt;
  });
  // The last transmission was accepted: the result is 0 and the set is gone.
  EXPECT_EQ(SendTemplateData_Net(ip(), 1), 0);
  std::vector<Frame> got = Received(5);
  ASSERT_EQ(got.size(), 5u);
  EXPECT_EQ(got[0].command, 0x22);
  std::vector<int> sequence;
  for (size_t i = 1; i < got.size(); ++i) sequence.push_back(DateTimeSequence(got[i]));
  EXPECT_EQ(sequence, (std::vector<int>{1, 2, 2, 4}));
  EXPECT_TRUE(EndsWithLastMark(got[4]));
  EXPECT_TRUE(globalMember.showPages.empty());
}

TEST_F(Upload, RefusedLastMaterialKeepsTheModel) {
  Page(1);
  ASSERT_EQ(AddArea(1, 0, 0, 64, 16), 0);
  DateTime(1, 1);
  DateTime(1, 2);
  const std::string before = Describe();
  sim_->setReplyOverride([](const Frame& f) -> std::optional<Bytes> {
    if (f.command == 0x31 && DateTimeSequence(f) == 2) return vexasim::replyFor(f, vexasim::ReplyMode::Refuse3);
    return std::nullopt;
  });
  EXPECT_EQ(SendTemplateData_Net(ip(), 1), 4);
  EXPECT_EQ(Received(4).size(), 4u);
  EXPECT_EQ(Describe(), before);
}

TEST_F(Upload, PlaceAndSizeTravelInUnitsOfEight) {
  Page(1);
  ASSERT_EQ(AddArea(1, 100, 3, 36, 20), 0);
  DateTime(1, 5);
  ASSERT_EQ(SendTemplateData_Net(ip(), 1), 0);
  std::vector<Frame> got = Received(2);
  ASSERT_GE(got.size(), 1u);
  const Frame& d = got[0];
  EXPECT_TRUE(d.checksOk) << d.error;
  EXPECT_EQ(d.get("page1.m1.x8"), "\"012\"");
  EXPECT_EQ(d.get("page1.m1.w8"), "\"004\"");
  const std::string text(d.payload.begin() + 9, d.payload.end());
  EXPECT_EQ(text, std::string(",06:00-22:00.000000005" "1" "012" "003" "004" "020") + kTail);
}

TEST_F(Upload, RefusedModelsAndAddressesSendNothing) {
  EXPECT_EQ(SendTemplateData_Net(ip(), 1), 1);
  ExpectNothingSent("empty model");

  Page(1);
  ASSERT_EQ(AddArea(1, 0, 0, 64, 16), 0);
  EXPECT_EQ(SendTemplateData_Net(ip(), 1), 1);
  ExpectNothingSent("area without material");

  DateTime(1, 1);
  const std::string before = Describe();
  char malformed[] = "1.2.3";
  EXPECT_EQ(SendTemplateData_Net(nullptr, 1), 1);
  EXPECT_EQ(SendTemplateData_Net(malformed, 1), 1);
  EXPECT_EQ(Describe(), before);
  ExpectNothingSent("bad address");
}

TEST_F(Upload, DescriptorMustFitOneFrame) {
  // 9 + 13 + 76 * 39 = 2986 characters: more than the 2981 a frame carries.
  Page(1);
  ASSERT_EQ(AddArea(1, 0, 0, 64, 16), 0);
  for (int i = 0; i < 76; ++i) DateTime(1, i + 1);
  const std::string before = Describe();
  EXPECT_EQ(SendTemplateData_Net(ip(), 1), 1);
  EXPECT_EQ(Describe(), before);
  ExpectNothingSent("oversized descriptor");

  // 75 materials fit.
  globalMember.showPages[0].areas[0].materials.pop_back();
  ASSERT_EQ(SendTemplateData_Net(ip(), 1), 0);
  std::vector<Frame> got = Received(76);
  ASSERT_EQ(got.size(), 76u);
  EXPECT_EQ(got[0].payload.size(), 9u + 13 + 75 * 39);
  EXPECT_EQ(DateTimeSequence(got[75]), 75);
}

TEST_F(Upload, ImageGroupWithoutAFileIsRefusedBeforeSending) {
  Page(1);
  ASSERT_EQ(AddArea(1, 0, 0, 64, 16), 0);
  DateTime(1, 1);
  ASSERT_EQ(AddArea(1, 0, 16, 64, 16), 0);
  char none[] = "";
  ASSERT_EQ(AddTemplate_ImageGroup(1, none, 7, 0, 0, 0, 0), 0);
  const std::string before = Describe();
  EXPECT_EQ(SendTemplateData_Net(ip(), 1), 1);
  EXPECT_EQ(Describe(), before);
  ExpectNothingSent("image group without a file");
}

TEST_F(Upload, InternalTextTooLongForOneFrameIsRefusedBeforeSending) {
  Page(1);
  ASSERT_EQ(AddArea(1, 0, 0, 64, 16), 0);
  std::string text(2917, 'A');  // the text shape leaves room for 2916 with the mark
  ASSERT_EQ(AddTemplate_InternalText(1, &text[0], 1, 0, 0, 0, 0, 0, 0, 0, false), 0);
  EXPECT_EQ(SendTemplateData_Net(ip(), 1), 1);
  EXPECT_EQ(globalMember.showPages.size(), 1u);
  ExpectNothingSent("oversized internal text");

  globalMember.showPages[0].areas[0].materials[0].text.resize(2916);
  EXPECT_EQ(SendTemplateData_Net(ip(), 1), 0);
  std::vector<Frame> got = Received(2);
  ASSERT_EQ(got.size(), 2u);
  EXPECT_EQ(got[1].raw.size(), 3000u);
}

TEST_F(Upload, UnknownContentTypeIsRefusedBeforeSending) {
  Page(1);
  ASSERT_EQ(AddArea(1, 0, 0, 64, 16), 0);
  DateTime(1, 1);
  globalMember.showPages[0].areas[0].materials[0].contentType = '2';
  EXPECT_EQ(SendTemplateData_Net(ip(), 1), 1);
  EXPECT_EQ(globalMember.showPages.size(), 1u);
  ExpectNothingSent("unknown content type");
}

// ---------------------------------------------------------------------------
// Image groups and levels. A 2 x 1 picture, white then black, drawn into a
// 16 x 8 area: each row is eight lit pixels, then eight dark ones.

class UploadImages : public Upload {
 protected:
  void SetUp() override {
    Upload::SetUp();
    char dir[] = "/tmp/vexa-upload-XXXXXX";
    ASSERT_NE(mkdtemp(dir), nullptr);
    dir_ = dir;
    file_ = dir_ + "/half.bmp";
    // 24-bit BMP, 2 x 1: file header, info header, one padded row (B G R).
    const Bytes bmp = bytesOf(
        "42 4D 3E 00 00 00 00 00 00 00 36 00 00 00"
        "28 00 00 00 02 00 00 00 01 00 00 00 01 00 18 00 00 00 00 00 08 00 00 00"
        "13 0B 00 00 13 0B 00 00 00 00 00 00 00 00 00 00"
        "FF FF FF 00 00 00 00 00");
    std::FILE* f = std::fopen(file_.c_str(), "wb");
    ASSERT_NE(f, nullptr);
    ASSERT_EQ(std::fwrite(bmp.data(), 1, bmp.size(), f), bmp.size());
    std::fclose(f);
  }
  void TearDown() override {
    std::remove(file_.c_str());
    rmdir(dir_.c_str());
    Upload::TearDown();
  }

  std::string dir_, file_;
};

TEST_F(UploadImages, ColourModeTwoIsListedAsTypeEightAndUploadsTheLastFile) {
  Page(1);
  ASSERT_EQ(AddArea(1, 8, 0, 16, 8), 0);
  // Only the last file of the list is uploaded; the first does not exist.
  std::string list = dir_ + "/missing.bmp," + file_;
  ASSERT_EQ(AddTemplate_ImageGroup(1, &list[0], 9, 2, 4, 5, 6), 0);
  ASSERT_EQ(globalMember.showPages[0].areas[0].materials[0].contentType, ':');
  ASSERT_EQ(SendTemplateData_Net(ip(), 1), 0);

  std::vector<Frame> got = Received(2);
  ASSERT_EQ(got.size(), 2u);
  EXPECT_EQ(got[0].get("page1.m1.type"), "\"8\"");
  const std::string d(got[0].payload.begin() + 9, got[0].payload.end());
  EXPECT_EQ(d, std::string(",06:00-22:00.000000009" "8" "001" "000" "002" "008") + kTail);

  // 16 x 8 pixels, three planes: 48 bytes of FF 00.
  Bytes bitmap;
  for (int i = 0; i < 24; ++i) bitmap.insert(bitmap.end(), {0xFF, 0x00});
  const Bytes want = Join({bytesOfText("000000009,"), bytesOf("04 05 06"),
                           bytesOfText("010101991231"), bytesOf("0E 00 00 00"),
                           bytesOf("55 AA 00 00 38 31 31 31 33 31 01 00 00 00"),
                           bytesOf("3A 00 00 00"), bitmap,
                           bytesOf("FF 00 01 00 01 00 01 00 00 00"), bytesOfText("-1,")});
  EXPECT_EQ(got[1].command, 0x31);
  EXPECT_EQ(got[1].payload, want);
}

// The level a material was made with reaches byte 35 of its block; the
// date-time block always carries level 1.
TEST_F(UploadImages, LevelSelectorReachesEveryBlock) {
  char text[] = "HELLO", none[] = "";
  std::string file = file_;
  Page(1);
  const struct {
    int type;
    int level;
    uint8_t want;
  } cases[] = {{1, 2, '2'}, {1, 3, '3'}, {2, 3, '3'}, {5, 2, '2'},
               {4, 3, '3'}, {4, 2, '2'}, {1, 0x31, '1'}, {3, 3, '1'}};
  for (const auto& c : cases) {
    ASSERT_EQ(AddArea(1, 0, 0, 16, 8), 0);
    char* fileList = c.type == 4 ? &file[0] : none;
    ASSERT_EQ(GenMaterial(1, text, fileList, c.type, 3, 0, 0, 0, 0, 0, 0, 0, c.level, 0, 0, 0,
                          0, 0, 0, 0, 0, 0, 0, true, false),
              0);
  }
  ASSERT_EQ(SendTemplateData_Net(ip(), 1), 0);
  const size_t n = sizeof cases / sizeof cases[0];
  std::vector<Frame> got = Received(n + 1);
  ASSERT_EQ(got.size(), n + 1);
  for (size_t i = 0; i < n; ++i) {
    const Frame& f = got[i + 1];
    ASSERT_EQ(f.command, 0x31);
    ASSERT_GT(f.payload.size(), 35u);
    EXPECT_EQ(f.payload[35], cases[i].want) << "material " << i + 1 << " of type " << cases[i].type;
  }
  // The internal text carries its area's size: 16 / 8 and 8.
  EXPECT_EQ(Bytes(got[1].payload.begin() + 41, got[1].payload.begin() + 45), bytesOf("02 00 08 00"));
}

TEST_F(UploadImages, UnreadableImageIsReportedAndTheWalkGoesOn) {
  Page(1);
  ASSERT_EQ(AddArea(1, 0, 0, 16, 8), 0);
  std::string missing = dir_ + "/missing.bmp";
  ASSERT_EQ(AddTemplate_ImageGroup(1, &missing[0], 1, 0, 0, 0, 0), 0);
  ASSERT_EQ(AddArea(1, 0, 8, 16, 8), 0);
  DateTime(1, 2);
  // The last transmission, the date-time block, is accepted.
  EXPECT_EQ(SendTemplateData_Net(ip(), 1), 0);
  std::vector<Frame> got = Received(2);
  ASSERT_EQ(got.size(), 2u);
  EXPECT_EQ(got[0].command, 0x22);
  EXPECT_EQ(DateTimeSequence(got[1]), 2);
  EXPECT_TRUE(EndsWithLastMark(got[1]));
}

}  // namespace
