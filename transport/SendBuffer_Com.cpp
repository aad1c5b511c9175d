// The serial sender: writes a frame list to the serial port and judges the
// controller's reply, over the serial link.
#include <cstring>

#include "core/Protocol.h"
#include "core/Trace.h"
#include "transport/CSerialPort.h"
#include "transport/Link.h"
#include "transport/Senders.h"

namespace {

// "rs485" for frames of the bus, "network" for network frames on the line.
const char* LineKind(const FrameList& frames) {
  if (!frames.empty() && frames[0].nBufferLen >= 4 &&
      std::memcmp(frames[0].chArrBuffer, protocol::kNetworkMagic, 4) == 0) {
    return "network";
  }
  return "rs485";
}

}  // namespace

std::string ComPortName(int portNumber) { return "COM" + std::to_string(portNumber); }

int SendBuffer_Com(CSerialPort& port, FrameList frames, std::string portName, int baudRate,
                   const SendSettings& settings) {
  if (!AllFramesFit(frames)) return 1;
  if (frames.empty()) return trace::Refuse(portName + ": no frame to write");
  try {
    const std::unique_ptr<Link> link =
        MakeSerialLink(port, portName, baudRate, settings, LineKind(frames));
    return RunAttempts(*link, frames, settings);
  } catch (...) {
    return trace::Refuse("out of memory while writing to " + portName);
  }
}
