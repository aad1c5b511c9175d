#include "transport/CSerialPort.h"

#include <fcntl.h>
#include <termios.h>
#include <unistd.h>

#include <cstring>

#include "transport/Senders.h"

CSerialPort::CSerialPort(const std::string& name, int64_t baud, uint8_t bits, uint8_t par,
                         uint8_t stop)
    : portName(name), baudRate(baud), dataBits(bits), parity(par), stopBits(stop) {}

CSerialPort::~CSerialPort() { closeComm(); }

bool CSerialPort::openComm() {
  closeComm();  // reopening an open port must not leak its descriptor
  fd = open(portName.c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK);
  if (fd < 0) {
    fd = -1;
    return false;
  }
  termios tio;
  std::memset(&tio, 0, sizeof tio);
  tio.c_cflag = CLOCAL | CREAD | CS8;
  tio.c_cc[VMIN] = 0;
  tio.c_cc[VTIME] = 0;
  cfsetispeed(&tio, B9600);
  cfsetospeed(&tio, B9600);
  tcsetattr(fd, TCSANOW, &tio);
  tcflush(fd, TCIFLUSH);
  return true;
}

void CSerialPort::closeComm() {
  if (fd >= 0) close(fd);
  fd = -1;
}

bool CSerialPort::writeToComm(const void* data, int64_t count) {
  if (fd >= 0 && count > 0) (void)!write(fd, data, static_cast<size_t>(count));
  return true;
}

int CSerialPort::readFromComm() {
  uint8_t buf[256];
  std::memset(buf, 0, sizeof buf);
  ssize_t n = fd >= 0 ? read(fd, buf, sizeof buf) : -1;
  if (n <= 0) return 2;
  for (int i = 0; i < replyWait / 10; ++i) usleep(5000);
  return JudgeSerialReply(buf, n);
}

int JudgeSerialReply(const uint8_t* b, long received) {
  if (received <= 0) return 2;
  if (b[0] == 0xFE && b[3] == 0x89) {
    if (b[17] == '1' || b[17] == 'O') return 0;
    if (b[17] == '2') return 3;
    return 1;
  }
  if (b[0] == 0xFE && b[1] == 0x97 && (b[6] == '1' || b[6] == 0x00)) return 0;
  if (b[0] == 0xFE && b[6] == 'O') return 0;
  return 1;
}
