// The voice record: a big-endian length, the spoken text (the caller's text
// behind the optional voice-module tags) and, except in the serial voice
// frame's format, two closing zero bytes.
#include <cstring>
#include <string>

#include "core/BufferWriter.h"
#include "core/CBuffObj.h"

namespace {

// Format value in which the record has no closing zero bytes.
constexpr int kVoiceFormatNoTrailer = 2;

}  // namespace

CBuffObj::tagBufferInfo CBuffObj::VoiceBuffer(char* text, int voiceFormat, int vTag,
                                              int soundNo, int mTag) {
  if (text == nullptr) return InvalidBuffer();
  std::string spoken;
  if (vTag >= 0) spoken += "[v" + std::to_string(vTag) + "]";
  switch (soundNo) {
    case 1: spoken += "sound101 "; break;
    case 2: spoken += "sound201 "; break;
    case 3: spoken += "sound301 "; break;
    default: break;
  }
  if (mTag == 1) spoken += "[m3] ";
  else if (mTag == 2) spoken += "[m51] ";
  spoken.append(text, std::strlen(text));

  BufferWriter w;
  w.u8(0xFD).u16be(static_cast<long>(spoken.size() + 2)).u8(0x01).u8(0x00);
  w.text(spoken);
  if (voiceFormat != kVoiceFormatNoTrailer) w.u8(0x00).u8(0x00);
  return w.finish();
}
