// The two template contents that exist only for a page-set upload: the
// collected-data field and the queue line-up field. Each is a short fixed
// record wrapped in the template block's short shape; neither carries the
// material's text, which the controller fills in at run time.
#include "core/BufferWriter.h"
#include "core/CBuffObj.h"
#include "core/Protocol.h"
#include "model/GlobalMember.h"

CBuffObj::tagBufferInfo CBuffObj::CollectionBuffer_Template(GlobalMember::tagMaterial material,
                                                            int sequenceNo, bool isLast) {
  BufferWriter c;
  c.u8(0x01).u8(material.dataIndex).u8(0x01).u8(0x01);
  c.u8(protocol::PackNibbles(material.textStyle, material.textStyle));
  c.u8(protocol::PackNibbles(material.attrHigh, material.attrLow));
  for (int i = 0; i < 11; ++i) c.u8(0x00);
  return TemplateBuffer(c.finish(), protocol::content::kCollectData, 0, 0, material.materialId,
                        material.displayMode, material.style1, material.style2, material.style3,
                        material.textStyle, material.attrHigh, material.attrLow,
                        material.levelNumber(), material.primaryFlag, 0, sequenceNo, 1, 1, 1,
                        isLast);
}

CBuffObj::tagBufferInfo CBuffObj::LineUpBuffer_Template(GlobalMember::tagMaterial material,
                                                        int sequenceNo, bool isLast) {
  BufferWriter c;
  c.u8(material.lineUpIndex);
  c.u8(protocol::PackNibbles(material.attrHigh, material.attrLow));
  c.u8(0x08).u8(0x01).u8(0x00).u8(0x00).u8(0x00).u8(0x00);
  return TemplateBuffer(c.finish(), protocol::content::kLineUp, 0, 0, material.materialId,
                        material.displayMode, material.style1, material.style2, material.style3,
                        material.textStyle, material.attrHigh, material.attrLow,
                        material.levelNumber(), material.primaryFlag, 0, sequenceNo, 1, 1, 1,
                        isLast);
}
