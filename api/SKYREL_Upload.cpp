// Upload of the whole show-page set held in globalMember: the page-set
// descriptor first, then one transmission per material in page, area and
// material order. A successful upload empties the model.
#include <unistd.h>

#include <mutex>
#include <string>
#include <vector>

#include "SKYREL.h"
#include "api/Send.h"
#include "api/Settings.h"
#include "api/ShowPage.h"
#include "core/CBuffObj.h"
#include "core/Commands.h"
#include "core/Protocol.h"
#include "core/Trace.h"
#include "model/GlobalMember.h"
#include "transport/Senders.h"

namespace {

using Page = GlobalMember::tagShowPage;
using Area = GlobalMember::tagArea;
using Material = GlobalMember::tagMaterial;

// Largest payload one network frame carries.
constexpr int kMaxPayload = protocol::kRecordSize - protocol::kNetworkFrameOverhead;

// The template block of one non-image material.
CBuffObj::tagBufferInfo MaterialBlock(CBuffObj& obj, const Area& area, const Material& m,
                                      int sequenceNo, bool isLast) {
  switch (m.contentType) {
    case protocol::content::kCollectData:
      return obj.CollectionBuffer_Template(m, sequenceNo, isLast);
    case protocol::content::kLineUp:
      return obj.LineUpBuffer_Template(m, sequenceNo, isLast);
    case protocol::content::kDateTime:
      return obj.DateTimeBuffer(m.materialId, m.displayMode, m.dtField4High, m.dtField4Low,
                                m.attrHigh, m.attrLow, m.dtField6, m.dtField0, m.dtField1,
                                m.dtTopBit, m.dtField2, m.dtField3, m.style3, m.extraByte,
                                sequenceNo, isLast);
    default: {  // internal text
      std::vector<char> text(m.text.begin(), m.text.end());
      text.push_back('\0');
      return obj.InternalTextBuffer(text.data(), area.areaWidth, area.areaHeight, m.materialId,
                                    m.displayMode, m.style1, m.style2, m.style3, m.textStyle,
                                    m.attrHigh, m.attrLow, m.levelNumber(), m.primaryFlag,
                                    m.extraByte, sequenceNo, isLast);
    }
  }
}

// One step of the upload after the descriptor: a framed template block to
// send, or an image group to upload from a file.
struct Step {
  bool imageGroup = false;
  FrameList frames;  // one frame, template materials only
  const Area* area = nullptr;
  const Material* material = nullptr;
};

// Builds every material's transmission in walk order, or returns false when
// one of them cannot go out: an image group without a file, a content type
// no upload step exists for, or a block too large for one frame. Nothing has
// been sent at this point, so such a set is refused as a whole.
bool PlanMaterials(const std::vector<Page>& pages, std::vector<std::vector<Step>>* areas) {
  CBuffObj obj;
  int sequenceNo = 0;
  for (size_t p = 0; p < pages.size(); ++p) {
    for (size_t a = 0; a < pages[p].areas.size(); ++a) {
      const Area& area = pages[p].areas[a];
      std::vector<Step> steps;
      for (size_t k = 0; k < area.materials.size(); ++k) {
        const Material& m = area.materials[k];
        ++sequenceNo;
        const bool isLast = p + 1 == pages.size() && a + 1 == pages[p].areas.size() &&
                            k + 1 == area.materials.size();
        Step step;
        step.area = &area;
        step.material = &m;
        if (protocol::content::IsImageGroup(m.contentType)) {
          if (m.files.empty()) return false;
          step.imageGroup = true;
        } else if (protocol::content::IsTemplate(m.contentType)) {
          CBuffObj::tagBufferInfo frame = obj.CompletePacketBuffer(
              MaterialBlock(obj, area, m, sequenceNo, isLast), commands::kMaterialCode, 0);
          if (!IsValid(frame)) return false;
          step.frames.push_back(frame);
        } else {
          return false;
        }
        steps.push_back(std::move(step));
      }
      areas->push_back(std::move(steps));
    }
  }
  return true;
}

// Uploads the material's last file as a one-image group into its area.
int SendImageGroupStep(const Step& step, char* ip, int networkMode) {
  const Material& m = *step.material;
  std::vector<char> file(m.files.back().fileName.begin(), m.files.back().fileName.end());
  file.push_back('\0');
  char deviceAddress[] = "0";
  return SendImageGroupBuffer(1, networkMode, ip, 0, 1, 9600, deviceAddress, file.data(),
                              step.area->areaWidth, step.area->areaHeight, m.materialId,
                              m.displayMode, m.style1, m.style2, m.style3, m.levelNumber(),
                              m.primaryFlag, 1, 1);
}

}  // namespace

int SendTemplateData_Net(char* ip, int networkMode) {
  int result = 1;
  // The model stays as it is for the whole upload: builders on other threads
  // wait until it has been sent (and emptied).
  std::unique_lock<std::mutex> model(globalMember.modelLock, std::defer_lock);
  try {
    if (ip == nullptr) return trace::Refuse("the controller's address is null");
    if (!IsDottedIPv4(ip)) {
      return trace::Refuse("address \"" + std::string(ip) + "\" is not dotted IPv4");
    }
    model.lock();
    if (!ShowPagesFit()) {
      return trace::Refuse(
          "the page set is not complete: a page without areas, an area "
          "without materials or an empty internal text");
    }

    CBuffObj obj;
    CBuffObj::tagBufferInfo descriptor = obj.PackShowPageBuffer(globalMember.showPages);
    if (!IsValid(descriptor) || descriptor.nBufferLen > kMaxPayload) {
      return trace::Refuse("the page-set descriptor does not fit one " +
                           std::to_string(protocol::kRecordSize) + "-byte frame");
    }
    std::vector<std::vector<Step>> areas;
    if (!PlanMaterials(globalMember.showPages, &areas)) {
      return trace::Refuse(
          "a material cannot be uploaded: an image group without a file, "
          "an unknown content type or a block too large for one frame");
    }

    const SendSettings settings = CurrentSettings();
    FrameList frames;
    frames.push_back(obj.CompletePacketBuffer(descriptor, commands::kPageSet.networkCode, commands::kPageSet.subCode));
    result = SendToController(frames, ip, networkMode, settings);
    if (result != 0) {
      usleep(10 * 1000);
      result = SendToController(frames, ip, networkMode, settings);
    }
    if (result == 0) {
      for (const std::vector<Step>& steps : areas) {
        for (const Step& step : steps) {
          if (step.imageGroup) {
            // The walk goes on whatever the image upload answers.
            result = SendImageGroupStep(step, ip, networkMode);
            continue;
          }
          result = SendToController(step.frames, ip, networkMode, settings);
          if (result != 0) result = SendToController(step.frames, ip, networkMode, settings);
          // A refused material leaves the rest of its area unsent.
          if (result != 0) break;
        }
      }
    }
  } catch (...) {
    // The result of the last completed transmission stands.
  }
  if (result == 0 && model.owns_lock()) globalMember.showPages.clear();
  return result;
}
