// Bar-screen entry points: parameters and paged text for the one-line bar
// screens on the serial line. Their frames are complete in themselves and go
// to the serial port unwrapped; with serial protocol 2 (the RS-485 bus frame,
// which these screens do not speak) nothing is sent.
#include "SKYREL.h"

#include <utility>
#include "api/EntryPoint.h"
#include "api/Send.h"
#include "core/BarScreen.h"
#include "core/CBuffObj.h"
#include "core/Protocol.h"
#include "transport/Senders.h"

namespace {

// Sends one bar-screen frame built by `build`; 1 when the protocol is the
// bus protocol, the frame was refused, or anything throws.
template <class Build>
int SendBarFrame(int serialProtocol, int portNumber, int baudRate, Build build,
                 const char* text = nullptr) {
  int result = 1;
  try {
    CBuffObj obj;
    const CBuffObj::tagBufferInfo frame = build(obj);
    if (serialProtocol == protocol::kBusProtocol) {
      return trace::Refuse("bar screens have no RS-485 form (serial protocol 2)");
    }
    if (!IsValid(frame)) return RefuseOversized(text);
    FrameList frames;
    frames.push_back(frame);
    result = SendOnSerial(std::move(frames), portNumber, baudRate);
  } catch (...) {
  }
  return result;
}

}  // namespace

int getMoveStyle(int moveStyle) { return BarScreenMoveStyle(moveStyle); }

int SetParams4BarScreen_Com(int serialProtocol, int portNumber, int baudRate, int frameByte13,
                            int frameByte6, int frameByte7, int twoWay, int frameByte9,
                            bool clearByte14) {
  return SendBarFrame(serialProtocol, portNumber, baudRate, [&](CBuffObj& o) {
    return o.BarScreenParamBuffer(frameByte13, frameByte6, frameByte7, twoWay, frameByte9,
                                  clearByte14);
  });
}

int SendContent2BarScreen_Com(char* text, int serialProtocol, int portNumber, int baudRate,
                              int screenAddress, int colour, int pageWidth, int unused1,
                              int unused2, int frameWord13, int moveStyle1, int moveStyle2,
                              int pageByte3, int pageByte5, int pageByte7, int pageByte8,
                              bool byte10Is82) {
  if (text == nullptr) return RefuseNullText();
  return SendBarFrame(
      serialProtocol, portNumber, baudRate,
      [&](CBuffObj& o) {
        return o.BarScreenContentBuffer(text, screenAddress, colour, pageWidth, unused1, unused2,
                                        frameWord13, moveStyle1, moveStyle2, pageByte3, pageByte5,
                                        pageByte7, pageByte8, 0, byte10Is82);
      },
      text);
}
