// The one serial device through which serial commands reach a controller.
#ifndef LIBVEXA_X86_TRANSPORT_CSERIALPORT_H
#define LIBVEXA_X86_TRANSPORT_CSERIALPORT_H

#include <cstdint>
#include <string>

class CSerialPort {
 public:
  CSerialPort(const std::string& portName, int64_t baudRate, uint8_t dataBits, uint8_t parity,
              uint8_t stopBits);
  ~CSerialPort();
  CSerialPort(const CSerialPort&) = delete;
  CSerialPort& operator=(const CSerialPort&) = delete;

  // Opens portName non-blocking and sets the line raw, 9600 8N1, reads
  // returning at once. True when opened and configured.
  bool openComm();
  // Closes a valid descriptor and marks it -1, so a later close or reopen
  // never closes a descriptor number the application may have reused.
  void closeComm();
  // One write of the bytes; a short or failed write is not reported.
  bool writeToComm(const void* data, int64_t count);
  // Reads the reply once and judges it: a result code.
  int readFromComm();

  int fd = -1;
  std::string portName;
  int64_t baudRate;   // decides when the port must be reopened; the line runs at 9600
  uint8_t dataBits;
  uint8_t parity;
  uint8_t stopBits;
  bool isOpen = false;
  int replyWait = 100;  // ms; paces readFromComm
};

#endif  // LIBVEXA_X86_TRANSPORT_CSERIALPORT_H
