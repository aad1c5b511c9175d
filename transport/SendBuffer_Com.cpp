// The serial sender: writes a frame list to the serial port and judges the
// controller's reply.
#include <unistd.h>

#include <cerrno>
#include <cstring>

#include "core/Protocol.h"
#include "core/Trace.h"
#include "transport/CSerialPort.h"
#include "transport/Senders.h"

namespace {

void SleepMs(int ms) {
  if (ms > 0) usleep(static_cast<useconds_t>(ms) * 1000);
}

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
  int result = 1;
  if (!AllFramesFit(frames)) return 1;
  if (frames.empty()) return trace::Refuse(portName + ": no frame to write");
  trace::Transmission rec;
  if (trace::On()) {
    rec.Start("serial " + portName + " " + std::to_string(baudRate) + " " + LineKind(frames));
  }
  std::string how = "no attempt was made";
  for (int attempt = 0; attempt < settings.attempts; ++attempt) {
    rec.Attempt(attempt + 1, settings.attempts);
    if (port.fd == -1 || portName != port.portName || baudRate != port.baudRate) {
      port.portName = portName;
      port.baudRate = baudRate;
      port.isOpen = false;
    }
    if (!port.isOpen) {
      try {
        port.replyWait = settings.receiveTimeOutMs;
        port.closeComm();
        usleep(25000);
        if (port.openComm()) {
          port.isOpen = true;
          usleep(25000);
        } else {
          how = std::strerror(errno);
          rec.Note("cannot open " + portName + ": " + how);
        }
      } catch (...) {
        // The attempt goes on with whatever state the port is in.
      }
    }
    if (port.isOpen) {
      for (size_t i = 0; i < frames.size(); ++i) {
        rec.Frame(static_cast<int>(i + 1), static_cast<int>(frames.size()), frames[i].chArrBuffer,
                  frames[i].nBufferLen);
        port.writeToComm(frames[i].chArrBuffer, frames[i].nBufferLen);
        if (settings.receiveTimeOutMs >= 2) SleepMs(settings.receiveTimeOutMs / 2);
      }
      const CSerialPort::Reply reply = port.readReply();
      result = reply.result;
      how = reply.how;
      if (reply.received > 0) {
        rec.Reply(reply.bytes, reply.received);
      } else {
        rec.Note("< no reply (" + how + ")");
      }
      if (result == 0) break;
    }
  }
  rec.Result(result, how);
  if (result != 0) trace::SetReason(portName + ": " + how);
  return result;
}
