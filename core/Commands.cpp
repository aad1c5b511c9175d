#include "core/Commands.h"

#include <cstring>

#include "core/Protocol.h"

namespace commands {

const char* NameOfFrame(const uint8_t* f, long n) {
  if (n >= 9 && std::memcmp(f, protocol::kNetworkMagic, 4) == 0) {
    if (f[8] == kMaterialCode) return "Material";
    for (const Command* c : kAll) {
      if (c->networkCode != 0 && c->networkCode == f[8]) return c->name;
    }
    return nullptr;
  }
  // RS-485 frames: FE 98, the bus mark at byte 4 and the serial code at 5.
  if (n >= 6 && f[0] == protocol::kFrameStart && f[1] == protocol::kBusFrameKind &&
      (f[4] == protocol::kBusMark || f[4] == protocol::kVoiceBusMark)) {
    for (const Command* c : kAll) {
      if (c->busCode != 0 && c->busCode == f[5]) return c->name;
    }
  }
  return nullptr;
}

}  // namespace commands
