// The page-set descriptor: the ASCII table of every page's daily window and
// every material's place and size that opens a page-set upload.
#include "core/BufferWriter.h"
#include "core/CBuffObj.h"
#include "model/GlobalMember.h"

namespace {

// Every material entry ends with this constant text.
constexpr char kMaterialTail[] = "1000000000#01#10;";

// Image groups travel as type '8' whatever their colour mode.
int DescriptorType(int contentType) {
  return (contentType == '9' || contentType == ':') ? '8' : contentType;
}

}  // namespace

CBuffObj::tagBufferInfo CBuffObj::PackShowPageBuffer(
    std::vector<GlobalMember::tagShowPage> pages) {
  BufferWriter w;
  w.decimal(GlobalMember::randNum(1, 99999999), 9);
  for (const GlobalMember::tagShowPage& page : pages) {
    w.u8(',').text(page.startTime).u8('-').text(page.endTime).u8('.');
    for (const GlobalMember::tagArea& area : page.areas) {
      for (const GlobalMember::tagMaterial& m : area.materials) {
        // x and width travel in units of 8 pixels.
        w.decimal(m.materialId, 9).u8(DescriptorType(m.contentType));
        w.decimal(area.x / 8, 3).decimal(area.y, 3);
        w.decimal(area.areaWidth / 8, 3).decimal(area.areaHeight, 3);
        w.text(kMaterialTail);
      }
    }
  }
  return w.finish();
}
