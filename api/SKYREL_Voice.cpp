// Voice commands, over the network (with the caller's sub-code) and on the
// serial line.
#include "SKYREL.h"
#include "api/EntryPoint.h"

namespace {
constexpr int kNoTag = -1;
}  // namespace

// spareText is part of the interface but carries nothing; it is never read.
int PlayVoice_Net(char* text, char* ip, char* /*spareText*/, int networkMode, int subCode) {
  return SendNetworkText(
      commands::kVoice, text, ip, networkMode,
      [&](CBuffObj& o) { return o.VoiceBuffer(text, 0, kNoTag, kNoTag, kNoTag); }, subCode);
}

int PlayVoice2_Net(char* text, char* ip, char* /*spareText*/, int networkMode, int subCode,
                   int vTag, int soundNo, int mTag) {
  return SendNetworkText(
      commands::kVoice, text, ip, networkMode,
      [&](CBuffObj& o) { return o.VoiceBuffer(text, 0, vTag, soundNo, mTag); }, subCode);
}

// The serial protocol doubles as the voice record's format: with 2 the record
// leaves out its two trailing zero bytes.
int PlayVoice_Com(char* text, char* deviceAddress, int serialProtocol, int portNumber,
                  int baudRate) {
  return SendTwinText(commands::kVoice, text,
                      {deviceAddress, serialProtocol, portNumber, baudRate},
                      [&](CBuffObj& o, bool) {
                        return o.VoiceBuffer(text, serialProtocol, kNoTag, kNoTag, kNoTag);
                      });
}

int PlayVoice2_Com(char* text, char* deviceAddress, int serialProtocol, int portNumber,
                   int baudRate, int vTag, int soundNo, int mTag) {
  return SendTwinText(commands::kVoice, text,
                      {deviceAddress, serialProtocol, portNumber, baudRate},
                      [&](CBuffObj& o, bool) {
                        return o.VoiceBuffer(text, serialProtocol, vTag, soundNo, mTag);
                      });
}
