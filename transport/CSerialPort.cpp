#include "transport/CSerialPort.h"

#include <fcntl.h>
#include <poll.h>
#include <termios.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstring>

#include "transport/ReplyJudge.h"

namespace {

constexpr long kReplyCapacity = 256;

long MsUntil(std::chrono::steady_clock::time_point t) {
  return static_cast<long>(std::chrono::duration_cast<std::chrono::milliseconds>(
                               t - std::chrono::steady_clock::now())
                               .count());
}

}  // namespace

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
  uint8_t buf[kReplyCapacity];
  std::memset(buf, 0, sizeof buf);
  ssize_t n = fd >= 0 ? read(fd, buf, sizeof buf) : -1;
  if (n <= 0) return 2;
  // The reply has begun. The pause after it stays as long as the line has
  // always been given (replyWait / 10 times 5 ms); a reply cut before its
  // status byte is read on meanwhile, and up to the whole reply wait.
  using Clock = std::chrono::steady_clock;
  const Clock::time_point start = Clock::now();
  const Clock::time_point pauseEnd = start + std::chrono::milliseconds(replyWait / 10 * 5);
  const Clock::time_point waitEnd = std::max(pauseEnd, start + std::chrono::milliseconds(replyWait));
  while (n < SerialReplyLength(buf, n) && n < kReplyCapacity) {
    const long left = MsUntil(waitEnd);
    if (left <= 0) break;
    pollfd p{fd, POLLIN, 0};
    if (poll(&p, 1, static_cast<int>(left)) <= 0) break;
    const ssize_t more = read(fd, buf + n, sizeof buf - static_cast<size_t>(n));
    if (more <= 0) break;
    n += more;
  }
  const long pause = MsUntil(pauseEnd);
  if (pause > 0) usleep(static_cast<useconds_t>(pause) * 1000);
  return JudgeSerialReply(buf, n).result;
}
