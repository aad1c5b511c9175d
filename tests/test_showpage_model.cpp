// The show-page model: pages, areas and materials built call by call in
// globalMember, and the check that decides whether a set may be uploaded.
#include <gtest/gtest.h>

#include <set>
#include <sstream>
#include <string>
#include <vector>

#include "SKYREL.h"
#include "model/GlobalMember.h"

namespace {

using Material = GlobalMember::tagMaterial;

// A text naming every stored value, so that "nothing changed" can be
// checked as one comparison.
std::string Describe() {
  std::ostringstream s;
  for (const GlobalMember::tagShowPage& p : globalMember.showPages) {
    s << "page " << p.pageNo << ' ' << p.startTime << '-' << p.endTime << ' ' << p.pageExtra << '\n';
    for (const GlobalMember::tagArea& a : p.areas) {
      s << " area " << a.pageNo << ' ' << a.x << ',' << a.y << ' ' << a.areaWidth << 'x'
        << a.areaHeight << '\n';
      for (const Material& m : a.materials) {
        s << "  material [" << m.text << "] " << m.materialId << ' ' << m.contentType << ' '
          << m.levelCode << ' ' << m.textStyle << ' ' << m.files.size() << '\n';
      }
    }
  }
  return s.str();
}

class ShowPageModel : public ::testing::Test {
 protected:
  void SetUp() override { globalMember.showPages.clear(); }
  void TearDown() override { globalMember.showPages.clear(); }

  // A page with one area, ready for materials.
  static void PageWithArea(int pageNo) {
    ASSERT_EQ(AddShowPage(pageNo, start, end, 0), 0);
    ASSERT_EQ(AddArea(pageNo, 0, 0, 64, 16), 0);
  }
  const Material& OnlyMaterial() const {
    return globalMember.showPages.at(0).areas.at(0).materials.at(0);
  }

  static char start[];
  static char end[];
};

char ShowPageModel::start[] = "08:00";
char ShowPageModel::end[] = "18:30";

char kText[] = "WELCOME";
char kEmpty[] = "";

TEST_F(ShowPageModel, DemonstrationSequenceBuildsOneDateTimeMaterial) {
  char s[] = "00:00", e[] = "23:59";
  ASSERT_EQ(AddShowPage(2, s, e, 0), 0);
  ASSERT_EQ(AddArea(2, 0, 0, 192, 16), 0);
  ASSERT_EQ(AddTemplate_DateTime(2, 2, 0, 1, 1, 1, 1, 0, 1, 3, 1, 0, 0, 0, false), 0);

  ASSERT_EQ(globalMember.showPages.size(), 1u);
  const GlobalMember::tagShowPage& page = globalMember.showPages[0];
  EXPECT_EQ(page.pageNo, 2);
  EXPECT_EQ(page.startTime, "00:00");
  EXPECT_EQ(page.endTime, "23:59");
  ASSERT_EQ(page.areas.size(), 1u);
  EXPECT_EQ(page.areas[0].pageNo, 2);
  EXPECT_EQ(page.areas[0].areaWidth, 192);
  EXPECT_EQ(page.areas[0].areaHeight, 16);
  ASSERT_EQ(page.areas[0].materials.size(), 1u);
  const Material& m = page.areas[0].materials[0];
  EXPECT_EQ(m.contentType, '1');
  EXPECT_EQ(m.text, "");
  EXPECT_EQ(m.materialId, 2);
  EXPECT_TRUE(m.primaryFlag);
  EXPECT_EQ(m.levelCode, '1');
  EXPECT_TRUE(CheckShowPage());
}

TEST_F(ShowPageModel, DateTimeFieldsLandInTheirOwnPlaces) {
  PageWithArea(1);
  // Every field a different value, so that a swap shows.
  ASSERT_EQ(AddTemplate_DateTime(1, 42, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11, 12, 13, true), 0);
  const Material& m = OnlyMaterial();
  EXPECT_EQ(m.materialId, 42);
  EXPECT_EQ(m.displayMode, 2);
  EXPECT_EQ(m.dtField4High, 3);
  EXPECT_EQ(m.dtField4Low, 4);
  EXPECT_EQ(m.attrHigh, 5);
  EXPECT_EQ(m.attrLow, 6);
  EXPECT_EQ(m.dtField6, 7);
  EXPECT_EQ(m.dtField0, 8);
  EXPECT_EQ(m.dtField1, 9);
  EXPECT_EQ(m.dtTopBit, 10);
  EXPECT_EQ(m.dtField2, 11);
  EXPECT_EQ(m.dtField3, 12);
  EXPECT_EQ(m.style1, 0);
  EXPECT_EQ(m.style2, 13);
  EXPECT_EQ(m.style3, 13);
  EXPECT_TRUE(m.primaryFlag);
}

TEST_F(ShowPageModel, InternalTextKeepsItsArguments) {
  PageWithArea(1);
  ASSERT_EQ(AddTemplate_InternalText(1, kText, 77, 1, 4, 5, 6, 7, 8, 9, false), 0);
  const Material& m = OnlyMaterial();
  EXPECT_EQ(m.contentType, '7');
  EXPECT_EQ(m.text, "WELCOME");
  EXPECT_EQ(m.materialId, 77);
  EXPECT_EQ(m.displayMode, 1);
  EXPECT_EQ(m.style1, 4);
  EXPECT_EQ(m.style2, 5);
  EXPECT_EQ(m.style3, 6);
  EXPECT_EQ(m.textStyle, 7);
  EXPECT_EQ(m.attrHigh, 8);
  EXPECT_EQ(m.attrLow, 9);
  EXPECT_TRUE(m.primaryFlag);  // the trailing argument has no effect
  EXPECT_EQ(m.levelCode, '1');
}

TEST_F(ShowPageModel, CollectedDataDoublesItsStyleNibbleAndDrawsItsId) {
  PageWithArea(1);
  ASSERT_EQ(AddTemplate_CollectData(1, kText, 3, 1, 3, 2, 1), 0);
  const Material& m = OnlyMaterial();
  EXPECT_EQ(m.contentType, '6');
  EXPECT_EQ(m.dataIndex, 3);
  EXPECT_EQ(m.textStyle, 51);
  EXPECT_EQ(m.attrHigh, 2);
  EXPECT_EQ(m.attrLow, 1);
  EXPECT_EQ(m.style1 + m.style2 + m.style3, 0);
  EXPECT_GE(m.materialId, 1);
  EXPECT_LE(m.materialId, 999999);
}

// Ids drawn in the same second come out equal; the model makes them distinct,
// also from the ids callers gave their own materials.
TEST_F(ShowPageModel, MaterialsOfOnePageSetGetDistinctIds) {
  PageWithArea(1);
  ASSERT_EQ(AddTemplate_InternalText(1, kText, 500000, 0, 0, 0, 0, 1, 1, 0, false), 0);
  for (int i = 0; i < 6; ++i) {
    ASSERT_EQ(AddTemplate_CollectData(1, kText, i + 1, 1, 3, 2, 1), 0);
    ASSERT_EQ(AddTemplate_LineUp(1, kText, 9, 4, 1, 2, i + 1, true), 0);
  }
  std::set<int> ids;
  for (const Material& m : globalMember.showPages.at(0).areas.at(0).materials) {
    EXPECT_GE(m.materialId, 1);
    EXPECT_LE(m.materialId, 999999);
    ids.insert(m.materialId);
  }
  EXPECT_EQ(ids.size(), 13u);
}

// A style large enough to overflow when multiplied keeps the low byte the
// controller is sent: 0x1000000F x 17 has the low byte 0xFF.
TEST_F(ShowPageModel, CollectedDataStyleOfAnyIntKeepsItsLowByte) {
  PageWithArea(1);
  ASSERT_EQ(AddTemplate_CollectData(1, kText, 1, 1, 0x1000000F, 2, 1), 0);
  EXPECT_EQ(OnlyMaterial().textStyle & 0xFF, 0xFF);
}

TEST_F(ShowPageModel, LineUpKeepsIndexFlagAndStyle) {
  PageWithArea(1);
  ASSERT_EQ(AddTemplate_LineUp(1, kText, 9, 4, 1, 2, 6, true), 0);
  const Material& m = OnlyMaterial();
  EXPECT_EQ(m.contentType, '5');
  EXPECT_EQ(m.lineUpIndex, 6);
  EXPECT_TRUE(m.lineUpFlag);
  EXPECT_EQ(m.style3, 9);
  EXPECT_EQ(m.textStyle, 4);
  EXPECT_EQ(m.displayMode, 0);
  EXPECT_EQ(m.style1 + m.style2, 0);
  EXPECT_GE(m.materialId, 1);
  EXPECT_LE(m.materialId, 999999);
}

struct FileListCase {
  const char* list;
  std::vector<std::string> names;
};

class ImageGroupFiles : public ShowPageModel,
                        public ::testing::WithParamInterface<FileListCase> {};

TEST_P(ImageGroupFiles, SplitAtCommasAndNumberedFromOne) {
  PageWithArea(1);
  std::string list = GetParam().list;
  ASSERT_EQ(AddTemplate_ImageGroup(1, &list[0], 5, 0, 0, 0, 0), 0);
  const Material& m = OnlyMaterial();
  EXPECT_EQ(m.text, "");
  ASSERT_EQ(m.files.size(), GetParam().names.size());
  for (size_t i = 0; i < m.files.size(); ++i) {
    EXPECT_EQ(m.files[i].fileIndex, static_cast<int>(i) + 1);
    EXPECT_EQ(m.files[i].fileName, GetParam().names[i]);
  }
}

INSTANTIATE_TEST_SUITE_P(Lists, ImageGroupFiles,
                         ::testing::Values(FileListCase{"a.bmp,b.bmp", {"a.bmp", "b.bmp"}},
                                           FileListCase{"", {}},
                                           FileListCase{"one.png", {"one.png"}},
                                           FileListCase{"a.bmp,", {"a.bmp"}}));

TEST_F(ShowPageModel, ImageGroupTypeFollowsColourMode) {
  const struct {
    int displayMode;
    int contentType;
  } cases[] = {{0, '8'}, {1, '9'}, {2, ':'}, {5, '8'}};
  for (const auto& c : cases) {
    SetUp();
    PageWithArea(1);
    char list[] = "x.bmp";
    ASSERT_EQ(AddTemplate_ImageGroup(1, list, 1, c.displayMode, 0, 0, 0), 0);
    EXPECT_EQ(OnlyMaterial().contentType, c.contentType) << "displayMode " << c.displayMode;
  }
}

TEST_F(ShowPageModel, LevelSelectorBecomesTheLevelCharacter) {
  const struct {
    int selector;
    int levelCode;
  } cases[] = {{2, '2'}, {3, '3'}, {0x31, '1'}, {0, '1'}, {1, '1'}, {0x32, '1'}};
  for (const auto& c : cases) {
    SetUp();
    PageWithArea(1);
    ASSERT_EQ(GenMaterial(1, kText, kEmpty, 1, 5, 0, 0, 0, 0, 0, 0, 0, c.selector, 0, 0, 0, 0,
                          0, 0, 0, 0, 0, 0, false, false),
              0);
    EXPECT_EQ(OnlyMaterial().levelCode, c.levelCode) << "selector " << c.selector;
    EXPECT_FALSE(OnlyMaterial().primaryFlag);
  }
}

TEST_F(ShowPageModel, BuilderRefusalsWithoutAPageOrArea) {
  EXPECT_EQ(AddArea(1, 0, 0, 64, 16), 1);
  EXPECT_EQ(AddTemplate_InternalText(1, kText, 1, 0, 0, 0, 0, 0, 0, 0, false), 1);
  ASSERT_EQ(AddShowPage(1, start, end, 0), 0);
  EXPECT_EQ(AddTemplate_InternalText(1, kText, 1, 0, 0, 0, 0, 0, 0, 0, false), 1);
  EXPECT_EQ(AddTemplate_DateTime(1, 1, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, false), 1);
  EXPECT_TRUE(globalMember.showPages[0].areas.empty());
}

TEST_F(ShowPageModel, NextAreaOnlyAfterTheLastOneHoldsAMaterial) {
  PageWithArea(1);
  EXPECT_EQ(AddArea(1, 64, 0, 32, 16), 1);
  EXPECT_EQ(globalMember.showPages[0].areas.size(), 1u);
  ASSERT_EQ(AddTemplate_InternalText(1, kText, 1, 0, 0, 0, 0, 0, 0, 0, false), 0);
  EXPECT_EQ(AddArea(1, 64, 0, 32, 16), 0);
  // A material goes to the page's last area.
  ASSERT_EQ(AddTemplate_LineUp(1, kText, 0, 0, 0, 0, 1, false), 0);
  const GlobalMember::tagShowPage& page = globalMember.showPages[0];
  ASSERT_EQ(page.areas.size(), 2u);
  EXPECT_EQ(page.areas[0].materials.size(), 1u);
  ASSERT_EQ(page.areas[1].materials.size(), 1u);
  EXPECT_EQ(page.areas[1].materials[0].contentType, '5');
  EXPECT_EQ(page.areas[1].x, 64);
}

TEST_F(ShowPageModel, AddingAnExistingPageKeepsItsPlaceAndEmptiesIt) {
  for (int no : {1, 2, 3}) {
    PageWithArea(no);
    ASSERT_EQ(AddTemplate_InternalText(no, kText, no, 0, 0, 0, 0, 0, 0, 0, false), 0);
  }
  ASSERT_TRUE(CheckShowPage());
  char s[] = "09:15", e[] = "10:45";
  EXPECT_EQ(AddShowPage(2, s, e, 7), 0);
  ASSERT_EQ(globalMember.showPages.size(), 3u);
  EXPECT_EQ(globalMember.showPages[0].pageNo, 1);
  EXPECT_EQ(globalMember.showPages[1].pageNo, 2);
  EXPECT_EQ(globalMember.showPages[2].pageNo, 3);
  EXPECT_EQ(globalMember.showPages[1].startTime, "09:15");
  EXPECT_EQ(globalMember.showPages[1].endTime, "10:45");
  EXPECT_EQ(globalMember.showPages[1].pageExtra, 7);
  EXPECT_TRUE(globalMember.showPages[1].areas.empty());
  EXPECT_EQ(globalMember.showPages[0].areas.size(), 1u);
  EXPECT_FALSE(CheckShowPage());

  ASSERT_EQ(AddArea(2, 0, 0, 64, 16), 0);
  EXPECT_FALSE(CheckShowPage());
  ASSERT_EQ(AddTemplate_InternalText(2, kText, 2, 0, 0, 0, 0, 0, 0, 0, false), 0);
  EXPECT_TRUE(CheckShowPage());
}

TEST_F(ShowPageModel, CheckShowPageRules) {
  EXPECT_FALSE(CheckShowPage()) << "empty model";

  ASSERT_EQ(AddShowPage(1, start, end, 0), 0);
  EXPECT_FALSE(CheckShowPage()) << "page without area";

  ASSERT_EQ(AddArea(1, 0, 0, 64, 16), 0);
  EXPECT_FALSE(CheckShowPage()) << "area without material";

  ASSERT_EQ(AddTemplate_InternalText(1, kEmpty, 1, 0, 0, 0, 0, 0, 0, 0, false), 0);
  EXPECT_FALSE(CheckShowPage()) << "internal text without text";
  globalMember.showPages[0].areas[0].materials[0].text = "x";
  EXPECT_TRUE(CheckShowPage());

  // Empty texts are fine for every other kind.
  ASSERT_EQ(AddArea(1, 0, 16, 64, 16), 0);
  ASSERT_EQ(AddTemplate_LineUp(1, kEmpty, 0, 0, 0, 0, 1, false), 0);
  ASSERT_EQ(AddTemplate_CollectData(1, kEmpty, 1, 0, 0, 0, 0), 0);
  EXPECT_TRUE(CheckShowPage());

  // A fault anywhere, also before a sound page, fails the whole set.
  ASSERT_EQ(AddShowPage(0, start, end, 0), 0);
  std::swap(globalMember.showPages[0], globalMember.showPages[1]);
  EXPECT_FALSE(CheckShowPage());
}

TEST_F(ShowPageModel, UnknownPageIsRefusedWhileOthersExist) {
  PageWithArea(1);
  ASSERT_EQ(AddTemplate_InternalText(1, kText, 1, 0, 0, 0, 0, 0, 0, 0, false), 0);
  const std::string before = Describe();
  EXPECT_EQ(AddArea(9, 0, 16, 64, 16), 1);
  EXPECT_EQ(AddTemplate_InternalText(9, kText, 1, 0, 0, 0, 0, 0, 0, 0, false), 1);
  EXPECT_EQ(GenMaterial(9, kText, kEmpty, 1, 1, 0, 0, 0, 0, 0, 0, 0, 0x31, 0, 0, 0, 0, 0, 0, 0,
                        0, 0, 0, true, false),
            1);
  EXPECT_EQ(Describe(), before);
}

TEST_F(ShowPageModel, MaterialTypeOutsideOneToFiveStoresNothing) {
  PageWithArea(1);
  const std::string before = Describe();
  for (int type : {0, 6, -1, 0x37}) {
    EXPECT_EQ(GenMaterial(1, kText, kEmpty, type, 1, 0, 0, 0, 0, 0, 0, 0, 0x31, 0, 0, 0, 0, 0, 0,
                          0, 0, 0, 0, true, false),
              1)
        << "type " << type;
  }
  EXPECT_EQ(Describe(), before);
}

TEST_F(ShowPageModel, NullArgumentsChangeNothing) {
  PageWithArea(1);
  ASSERT_EQ(AddTemplate_InternalText(1, kText, 1, 0, 0, 0, 0, 0, 0, 0, false), 0);
  const std::string before = Describe();

  EXPECT_EQ(AddShowPage(2, nullptr, end, 0), 1);
  EXPECT_EQ(AddShowPage(2, start, nullptr, 0), 1);
  // Not even an existing page is emptied.
  EXPECT_EQ(AddShowPage(1, nullptr, end, 0), 1);
  EXPECT_EQ(AddShowPage(1, start, nullptr, 0), 1);
  EXPECT_EQ(AddArea(1, 0, 16, 64, 16), 0);
  const std::string withArea = Describe();
  EXPECT_EQ(AddTemplate_InternalText(1, nullptr, 1, 0, 0, 0, 0, 0, 0, 0, false), 1);
  EXPECT_EQ(AddTemplate_CollectData(1, nullptr, 1, 0, 0, 0, 0), 1);
  EXPECT_EQ(AddTemplate_LineUp(1, nullptr, 0, 0, 0, 0, 1, false), 1);
  EXPECT_EQ(AddTemplate_ImageGroup(1, nullptr, 1, 0, 0, 0, 0), 1);
  EXPECT_EQ(GenMaterial(1, nullptr, kEmpty, 3, 1, 0, 0, 0, 0, 0, 0, 0, 0x31, 0, 0, 0, 0, 0, 0, 0,
                        0, 0, 0, true, false),
            1);
  EXPECT_EQ(GenMaterial(1, kEmpty, nullptr, 3, 1, 0, 0, 0, 0, 0, 0, 0, 0x31, 0, 0, 0, 0, 0, 0, 0,
                        0, 0, 0, true, false),
            1);
  EXPECT_EQ(Describe(), withArea);
  EXPECT_NE(before, withArea);
}

}  // namespace
