// The patterns every single-frame command entry point follows: result 1, one
// CBuffObj, one payload wrapped in one frame, one send, and no exception ever
// leaving the entry point: every entry point catches what is thrown (memory
// running out is all that can be) and returns the result it holds then. The network form wraps the payload in the network
// frame; its serial twin sends the same payload over the serial port, inside
// the network frame (any serial protocol but 2) or inside the RS-485 bus
// frame the command's row names (serial protocol 2).
#ifndef LIBVEXA_X86_API_ENTRYPOINT_H
#define LIBVEXA_X86_API_ENTRYPOINT_H

#include <cstring>
#include <string>
#include <utility>

#include "api/Send.h"
#include "core/CBuffObj.h"
#include "core/Commands.h"
#include "core/Protocol.h"
#include "core/Trace.h"

// Refuses a frame that does not fit, naming the text it was built from when
// there is one. Returns 1.
inline int RefuseOversized(const char* text) {
  const std::string limit = std::to_string(protocol::kRecordSize) + "-byte frame";
  if (text != nullptr) {
    return trace::Refuse("text of " + std::to_string(std::strlen(text)) +
                         " bytes does not fit one " + limit);
  }
  return trace::Refuse("the command does not fit one " + limit);
}

// Refuses a null text argument. Returns 1.
inline int RefuseNullText() { return trace::Refuse("the text is null"); }

// Refuses a null bus address. Returns 1.
inline int RefuseNullBusAddress() { return trace::Refuse("the bus address is null"); }

// Builds the payload with `build(obj)`, wraps it in a network frame of
// `command` (with `subCode`, the row's own unless given) and sends it to `ip`
// in `networkMode`. `text` names the text the payload carries, for the
// reason of a refusal.
template <class Build>
int SendOneNetworkFrame(const commands::Command& command, char* ip, int networkMode, Build build,
                        const char* text = nullptr, int subCode = -1) {
  int result = 1;
  try {
    if (ip == nullptr) return trace::Refuse("the controller's address is null");
    CBuffObj obj;
    FrameList frames;
    frames.push_back(obj.CompletePacketBuffer(build(obj), command.networkCode,
                                              subCode >= 0 ? subCode : command.subCode));
    if (!IsValid(frames.back())) return RefuseOversized(text);
    result = SendToController(std::move(frames), ip, networkMode);
  } catch (...) {
  }
  return result;
}

// The four arguments that take the place of a network twin's ip and mode.
struct SerialLine {
  char* deviceAddress;
  int serialProtocol;
  int portNumber;
  int baudRate;
};

// The serial twin: builds the payload with `build(obj, forBus)` (forBus
// tells a command whose bus payload differs which one to make), frames it as
// the row of `command` says for the line's protocol and sends it. 1 when
// nothing was sent; no exception leaves.
template <class Build>
int SendTwin(const commands::Command& command, const SerialLine& line, Build build,
             const char* text = nullptr) {
  int result = 1;
  try {
    if (line.deviceAddress == nullptr) return RefuseNullBusAddress();
    const bool bus = line.serialProtocol == protocol::kBusProtocol;
    if (bus && command.bus == commands::BusForm::kNone) {
      return trace::Refuse("this command has no RS-485 form (serial protocol 2)");
    }
    CBuffObj obj;
    CBuffObj::tagBufferInfo frame;
    if (!bus) {
      frame = obj.CompletePacketBuffer(build(obj, false), command.networkCode, command.subCode);
    } else if (command.bus == commands::BusForm::kVoice) {
      frame = obj.CompletePacketBuffer_PlayVoice_485(build(obj, true), command.busCode,
                                                     line.deviceAddress);
    } else {
      const bool options = command.bus == commands::BusForm::kOptionsCrc;
      frame = obj.CompletePacketBuffer_485(build(obj, true), command.busCode, line.deviceAddress,
                                           options ? 1 : 0, options ? 1 : 0, options);
    }
    if (!IsValid(frame)) return RefuseOversized(text);
    FrameList frames;
    frames.push_back(frame);
    result = SendOnSerial(std::move(frames), line.portNumber, line.baudRate);
  } catch (...) {
  }
  return result;
}

// The forms of a command that carries a text: a null text is refused
// before anything is built.
template <class Build>
int SendNetworkText(const commands::Command& command, char* text, char* ip, int networkMode,
                    Build build, int subCode = -1) {
  if (text == nullptr) return RefuseNullText();
  return SendOneNetworkFrame(command, ip, networkMode, build, text, subCode);
}

template <class Build>
int SendTwinText(const commands::Command& command, char* text, const SerialLine& line,
                 Build build) {
  if (text == nullptr) return RefuseNullText();
  return SendTwin(command, line, build, text);
}

#endif  // LIBVEXA_X86_API_ENTRYPOINT_H
