#include "api/Sequence.h"

#include <thread>

#include "SKYREL.h"

namespace sequence {

namespace {
std::mutex lock;
Kind openKind = Kind::kNone;
std::thread::id owner;
}  // namespace

std::unique_lock<std::mutex> Hold() { return std::unique_lock<std::mutex>(lock); }

void Begin(Kind kind) {
  End();
  openKind = kind;
  owner = std::this_thread::get_id();
}

bool OwnedHere(Kind kind) { return openKind == kind && owner == std::this_thread::get_id(); }

void Sent() {
  delete[] chArrImageBuffer;
  chArrImageBuffer = nullptr;
  openKind = Kind::kNone;
  owner = std::thread::id();
}

void End() {
  Sent();
  g_nArrIndex = 0;
}

}  // namespace sequence
