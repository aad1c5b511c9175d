#include "transport/CSerialPort.h"

#include <fcntl.h>
#include <poll.h>
#include <termios.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <cstring>

#include "transport/ReplyJudge.h"

namespace {

constexpr long kReplyCapacity = sizeof(CSerialPort::Reply::bytes);

long MsUntil(std::chrono::steady_clock::time_point t) {
  return static_cast<long>(std::chrono::duration_cast<std::chrono::milliseconds>(
                               t - std::chrono::steady_clock::now())
                               .count());
}

// Errors after which the device will not work again until it is reopened:
// the adapter was unplugged, the line hung up, the descriptor is stale.
bool MeansDeviceGone(int error) {
  return error == EIO || error == ENXIO || error == ENODEV || error == EBADF;
}

}  // namespace

CSerialPort::CSerialPort(const std::string& name, int64_t baud, uint8_t bits, uint8_t par,
                         uint8_t stop)
    : portName(name), baudRate(baud), dataBits(bits), parity(par), stopBits(stop) {}

CSerialPort::~CSerialPort() { closeComm(); }

bool CSerialPort::openComm() {
  closeComm();  // reopening an open port must not leak its descriptor
  fd = open(portName.c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC);
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

void CSerialPort::closeIfGone(int error) {
  if (!MeansDeviceGone(error)) return;
  closeComm();
  isOpen = false;
}

bool CSerialPort::writeToComm(const void* data, int64_t count) {
  if (fd >= 0 && count > 0) {
    ssize_t n;
    do {
      n = write(fd, data, static_cast<size_t>(count));
    } while (n < 0 && errno == EINTR);
    if (n < 0) closeIfGone(errno);
  }
  return true;
}

int CSerialPort::readFromComm() { return readReply().result; }

CSerialPort::Reply CSerialPort::readReply() {
  Reply reply;
  if (fd < 0) {
    reply.how = "the port is not open";
    return reply;
  }
  ssize_t n = read(fd, reply.bytes, sizeof reply.bytes);
  if (n < 0) {
    const int error = errno;
    closeIfGone(error);
    if (MeansDeviceGone(error)) reply.how = "the device is gone; the port was closed";
    return reply;
  }
  if (n == 0) return reply;
  // The reply has begun. The pause after it stays as long as the line has
  // always been given (replyWait / 10 times 5 ms); a reply cut before its
  // status byte is read on meanwhile, and up to the whole reply wait.
  using Clock = std::chrono::steady_clock;
  const Clock::time_point start = Clock::now();
  const Clock::time_point pauseEnd = start + std::chrono::milliseconds(replyWait / 10 * 5);
  const Clock::time_point waitEnd =
      std::max(pauseEnd, start + std::chrono::milliseconds(replyWait));
  while (n < SerialReplyLength(reply.bytes, n) && n < kReplyCapacity) {
    const long left = MsUntil(waitEnd);
    if (left <= 0) break;
    pollfd p{fd, POLLIN, 0};
    if (poll(&p, 1, static_cast<int>(left)) <= 0) break;
    const ssize_t more = read(fd, reply.bytes + n, sizeof reply.bytes - static_cast<size_t>(n));
    if (more < 0) closeIfGone(errno);
    if (more <= 0) break;
    n += more;
  }
  const long pause = MsUntil(pauseEnd);
  if (pause > 0) usleep(static_cast<useconds_t>(pause) * 1000);
  const ReplyVerdict verdict = JudgeSerialReply(reply.bytes, n);
  reply.result = verdict.result;
  reply.received = n;
  reply.how = verdict.row;
  return reply;
}
