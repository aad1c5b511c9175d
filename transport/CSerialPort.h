// The one serial device through which serial commands reach a controller.
#ifndef LIBVEXA_X86_TRANSPORT_CSERIALPORT_H
#define LIBVEXA_X86_TRANSPORT_CSERIALPORT_H

#include <cstdint>
#include <mutex>
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
  // One write of the bytes; a short or failed write is not reported. A
  // device that is gone (unplugged adapter, hung-up line) closes the port,
  // so that the next transmission opens it anew.
  bool writeToComm(const void* data, int64_t count);
  // Reads the reply and judges it: a result code.
  int readFromComm();

  // What the line answered and how it was judged.
  struct Reply {
    int result = 2;
    long received = 0;
    uint8_t bytes[256] = {};
    const char* how = "nothing received";
  };
  // Reads the reply once it has begun, reading on while its status byte is
  // still missing, and judges it. A device that is gone closes the port.
  Reply readReply();

  // Held by every serial transmission for its whole length: one port, one
  // exchange at a time.
  std::mutex& lock() { return lock_; }

  int fd = -1;
  std::string portName;
  int64_t baudRate;   // decides when the port must be reopened; the line runs at 9600
  uint8_t dataBits;
  uint8_t parity;
  uint8_t stopBits;
  bool isOpen = false;
  int replyWait = 100;  // ms; paces readFromComm

 private:
  // Closes the port when `error` says the device is gone or broken.
  void closeIfGone(int error);

  std::mutex lock_;
};

// The process's one serial port.
extern CSerialPort serialPort;

#endif  // LIBVEXA_X86_TRANSPORT_CSERIALPORT_H
