// The serial sender: writes a frame list to the one serial port and judges
// the controller's reply.
#include <unistd.h>

#include "SKYREL.h"
#include "transport/CSerialPort.h"
#include "transport/Senders.h"

std::string ComPortName(int portNumber) { return "COM" + std::to_string(portNumber); }

int SendBuffer_Com(FrameList frames, std::string portName, int baudRate) {
  int result = 1;
  for (const auto& f : frames) {
    if (!IsValid(f)) return 1;
  }
  CSerialPort& port = serialPort;
  for (int attempt = 0; attempt < g_send_times; ++attempt) {
    if (port.fd == -1 || portName != port.portName || baudRate != port.baudRate) {
      port.portName = portName;
      port.baudRate = baudRate;
      port.isOpen = false;
    }
    if (!port.isOpen) {
      try {
        port.replyWait = g_receive_time_out;
        port.closeComm();
        usleep(25000);
        if (port.openComm()) {
          port.isOpen = true;
          usleep(25000);
        }
      } catch (...) {
        // The attempt goes on with whatever state the port is in.
      }
    }
    if (port.isOpen) {
      bool wrote = false;
      for (const auto& f : frames) {
        port.writeToComm(f.chArrBuffer, f.nBufferLen);
        if (g_receive_time_out >= 2) usleep(static_cast<useconds_t>(g_receive_time_out / 2) * 1000);
        wrote = true;
      }
      if (wrote) {
        result = port.readFromComm();
        if (result == 0) break;
      }
    }
  }
  return result;
}
