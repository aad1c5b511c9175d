// The show-page model's builder functions: pages with daily time windows,
// rectangular areas on them and the materials shown in each area, kept in
// globalMember until SendTemplateData_Net uploads and clears them.
//
// Every builder either changes the model completely or not at all: the new
// record is built aside first and only then appended or swapped in, so a
// refused call or an exception (out of memory) leaves the model as it was.
#include <mutex>
#include <set>
#include <string>
#include <utility>
#include <vector>

#include "SKYREL.h"
#include "api/ShowPage.h"
#include "core/Protocol.h"
#include "core/Trace.h"
#include "model/GlobalMember.h"

namespace {

using Page = GlobalMember::tagShowPage;
using Area = GlobalMember::tagArea;
using Material = GlobalMember::tagMaterial;

using namespace protocol::content;

// Level selectors the wrappers pass for "level 1".
constexpr int kDefaultLevel = 0x31;
// Material ids drawn for collected data and line-ups lie in 1..999999.
constexpr int kLargestMaterialId = 999999;

// The first page with this number, or null.
Page* FindPage(int pageNo) {
  for (Page& p : globalMember.showPages)
    if (p.pageNo == pageNo) return &p;
  return nullptr;
}

int LevelCodeOf(int levelSelector) {
  if (levelSelector == 2) return '2';
  if (levelSelector == 3) return '3';
  return '1';
}

int ImageGroupType(int displayMode) {
  if (displayMode == 1) return kImageGroupMode1;
  if (displayMode == 2) return kImageGroupMode2;
  return kImageGroup;
}

// A material id for a collected-data or line-up material: the drawn one,
// or the next one in 1..999999 that no material of the page set uses yet, so
// that the controller can tell the materials apart.
int FreeMaterialId(int drawn) {
  std::set<int> used;
  for (const Page& p : globalMember.showPages)
    for (const Area& a : p.areas)
      for (const Material& m : a.materials) used.insert(m.materialId);
  int id = drawn;
  for (int tries = 0; tries < kLargestMaterialId && used.count(id) != 0; ++tries) {
    id = id % kLargestMaterialId + 1;
  }
  return id;
}

// An empty text for the wrappers' unused text and file-list arguments.
char* NoText() {
  static char empty[1] = {0};
  return empty;
}

}  // namespace

int AddShowPage(int pageNo, char* startTime, char* endTime, int pageExtra) {
  if (startTime == nullptr || endTime == nullptr) {
    return trace::Refuse("the page's start or end time is null");
  }
  try {
    std::lock_guard<std::mutex> lock(globalMember.modelLock);
    std::string start(startTime);
    std::string end(endTime);
    if (Page* existing = FindPage(pageNo)) {
      // Same place in the list, new window, no areas.
      existing->startTime.swap(start);
      existing->endTime.swap(end);
      existing->pageExtra = pageExtra;
      existing->areas.clear();
      return 0;
    }
    Page page;
    page.pageNo = pageNo;
    page.startTime = std::move(start);
    page.endTime = std::move(end);
    page.pageExtra = pageExtra;
    globalMember.showPages.push_back(std::move(page));
    return 0;
  } catch (...) {
    return 1;
  }
}

int AddArea(int pageNo, int x, int y, int areaWidth, int areaHeight) {
  try {
    std::lock_guard<std::mutex> lock(globalMember.modelLock);
    Page* page = FindPage(pageNo);
    if (page == nullptr) return trace::Refuse("page " + std::to_string(pageNo) + " does not exist");
    // One empty area at a time: the last one must hold a material first.
    if (!page->areas.empty() && page->areas.back().materials.empty()) {
      return trace::Refuse("the last area of page " + std::to_string(pageNo) +
                           " has no material yet");
    }
    Area area;
    area.pageNo = pageNo;
    area.x = x;
    area.y = y;
    area.areaWidth = areaWidth;
    area.areaHeight = areaHeight;
    page->areas.push_back(std::move(area));
    return 0;
  } catch (...) {
    return 1;
  }
}

int GenMaterial(int pageNo, char* text, char* fileList, int materialType, int materialId,
                int displayMode, int style1, int style2, int style3, int textStyle,
                int attrHigh, int attrLow, int levelSelector, int dtField1, int dtField4High,
                int dtField4Low, int dtField6, int dtField0, int dtTopBit, int dtField2,
                int dtField3, int dataIndex, int lineUpIndex, bool primaryFlag,
                bool lineUpFlag) {
  if (text == nullptr || fileList == nullptr) return trace::Refuse("the text or file list is null");
  if (materialType < 1 || materialType > 5) {
    return trace::Refuse("material type " + std::to_string(materialType) + " is not 1 to 5");
  }
  try {
    std::lock_guard<std::mutex> lock(globalMember.modelLock);
    Page* page = FindPage(pageNo);
    if (page == nullptr) return trace::Refuse("page " + std::to_string(pageNo) + " does not exist");
    if (page->areas.empty()) {
      return trace::Refuse("page " + std::to_string(pageNo) + " has no area for the material");
    }

    Material m;
    m.text = text;
    m.primaryFlag = primaryFlag;
    m.materialId = materialId;
    m.displayMode = displayMode;
    m.style1 = style1;
    m.style2 = style2;
    m.style3 = style3;
    m.textStyle = textStyle;
    m.attrHigh = attrHigh;
    m.attrLow = attrLow;
    m.extraByte = 0;
    m.levelCode = LevelCodeOf(levelSelector);
    switch (materialType) {
      case 1:
        m.contentType = kInternalText;
        break;
      case 2:
        m.contentType = kCollectData;
        m.materialId = FreeMaterialId(GlobalMember::randNum(1, kLargestMaterialId));
        m.dataIndex = dataIndex;
        // Both nibbles of the style byte carry the caller's value; only the
        // low byte is ever sent, so the product is taken without overflow.
        m.textStyle = static_cast<int>(static_cast<unsigned>(textStyle) * 17u);
        break;
      case 3:
        m.contentType = kDateTime;
        m.dtField4High = dtField4High;
        m.dtField4Low = dtField4Low;
        m.dtField6 = dtField6;
        m.dtField0 = dtField0;
        m.dtField1 = dtField1;
        m.dtTopBit = dtTopBit;
        m.dtField2 = dtField2;
        m.dtField3 = dtField3;
        m.style2 = style3;
        break;
      case 4:
        m.contentType = ImageGroupType(displayMode);
        for (std::string& name : GlobalMember::SplitStr(fileList, ",")) {
          GlobalMember::tagFileInfo file;
          file.fileIndex = static_cast<int>(m.files.size()) + 1;
          file.fileName = std::move(name);
          m.files.push_back(std::move(file));
        }
        break;
      default:  // 5
        m.contentType = kLineUp;
        m.materialId = FreeMaterialId(GlobalMember::randNum(1, kLargestMaterialId));
        m.lineUpIndex = lineUpIndex;
        m.lineUpFlag = lineUpFlag;
        break;
    }
    page->areas.back().materials.push_back(std::move(m));
    return 0;
  } catch (...) {
    return 1;
  }
}

int AddTemplate_InternalText(int pageNo, char* text, int materialId, int displayMode,
                             int style1, int style2, int style3, int textStyle, int attrHigh,
                             int attrLow, bool) {
  return GenMaterial(pageNo, text, NoText(), 1, materialId, displayMode, style1, style2, style3,
                     textStyle, attrHigh, attrLow, kDefaultLevel, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0,
                     true, false);
}

int AddTemplate_CollectData(int pageNo, char* text, int dataIndex, int displayMode,
                            int textStyle, int attrHigh, int attrLow) {
  return GenMaterial(pageNo, text, NoText(), 2, 0, displayMode, 0, 0, 0, textStyle, attrHigh,
                     attrLow, kDefaultLevel, 0, 0, 0, 0, 0, 0, 0, 0, dataIndex, 0, true, false);
}

int AddTemplate_DateTime(int pageNo, int materialId, int displayMode, int dtField4High,
                         int dtField4Low, int dtField5High, int dtField5Low, int dtField6,
                         int dtField0, int dtField1, int dtTopBit, int dtField2, int dtField3,
                         int style3, bool) {
  return GenMaterial(pageNo, NoText(), NoText(), 3, materialId, displayMode, 0, style3, style3,
                     0, dtField5High, dtField5Low, kDefaultLevel, dtField1, dtField4High,
                     dtField4Low, dtField6, dtField0, dtTopBit, dtField2, dtField3, 0, 0, true,
                     false);
}

int AddTemplate_ImageGroup(int pageNo, char* fileList, int materialId, int displayMode,
                           int style1, int style2, int style3) {
  return GenMaterial(pageNo, NoText(), fileList, 4, materialId, displayMode, style1, style2,
                     style3, 0, 0, 0, kDefaultLevel, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, true, false);
}

int AddTemplate_LineUp(int pageNo, char* text, int style3, int textStyle, int attrHigh,
                       int attrLow, int lineUpIndex, bool lineUpFlag) {
  return GenMaterial(pageNo, text, NoText(), 5, 0, 0, 0, 0, style3, textStyle, attrHigh, attrLow,
                     kDefaultLevel, 0, 0, 0, 0, 0, 0, 0, 0, 0, lineUpIndex, true, lineUpFlag);
}

bool CheckShowPage() {
  try {
    std::lock_guard<std::mutex> lock(globalMember.modelLock);
    return ShowPagesFit();
  } catch (...) {
    return false;
  }
}

bool ShowPagesFit() {
  bool fit = !globalMember.showPages.empty();
  for (const Page& page : globalMember.showPages) {
    if (page.areas.empty()) fit = false;
    for (const Area& area : page.areas) {
      if (area.materials.empty()) fit = false;
      for (const Material& m : area.materials)
        if (m.contentType == kInternalText && m.text.empty()) fit = false;
    }
  }
  return fit;
}
