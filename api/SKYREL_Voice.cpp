// Voice entry points: the voice record goes out with the caller's sub-code.
#include "SKYREL.h"
#include "api/EntryPoint.h"
#include "core/Protocol.h"

namespace {
constexpr short kVoiceCommand = protocol::cmd::kVoice;
constexpr int kNoTag = -1;
}  // namespace

// spareText is part of the interface but carries nothing; it is never read.
int PlayVoice_Net(char* text, char* ip, char* /*spareText*/, int networkMode, int subCode) {
  if (text == nullptr) return RefuseNullText();
  return SendOneNetworkFrame(
      ip, networkMode, kVoiceCommand, subCode,
      [&](CBuffObj& o) { return o.VoiceBuffer(text, 0, kNoTag, kNoTag, kNoTag); }, text);
}

int PlayVoice2_Net(char* text, char* ip, char* /*spareText*/, int networkMode, int subCode,
                   int vTag, int soundNo, int mTag) {
  if (text == nullptr) return RefuseNullText();
  return SendOneNetworkFrame(
      ip, networkMode, kVoiceCommand, subCode,
      [&](CBuffObj& o) { return o.VoiceBuffer(text, 0, vTag, soundNo, mTag); }, text);
}
