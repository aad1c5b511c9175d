// The serial line: the one serial port, (re)opened when a call names another
// device or baud rate or an earlier open failed; half the receive time-out
// after each frame, then the reply the line holds.
#include <unistd.h>

#include <cerrno>
#include <cstring>

#include "core/Protocol.h"
#include "transport/CSerialPort.h"
#include "transport/Link.h"

namespace {

class SerialLink : public Link {
 public:
  SerialLink(CSerialPort& port, const std::string& portName, int baudRate,
             const SendSettings& settings, const char* lineKind)
      : port_(port),
        portName_(portName),
        baudRate_(baudRate),
        timeoutMs_(settings.receiveTimeOutMs),
        lineKind_(lineKind) {}

  std::string Peer() const override {
    return "serial " + portName_ + " " + std::to_string(baudRate_) + " " + lineKind_;
  }
  std::string Who() const override { return "controller on " + portName_; }

  Readiness Begin(int, trace::Transmission& rec, std::string* why) override {
    if (port_.fd == -1 || portName_ != port_.portName || baudRate_ != port_.baudRate) {
      port_.portName = portName_;
      port_.baudRate = baudRate_;
      port_.isOpen = false;
    }
    if (!port_.isOpen) {
      try {
        port_.replyWait = timeoutMs_;
        port_.closeComm();
        usleep(25000);
        if (port_.openComm()) {
          port_.isOpen = true;
          usleep(25000);
        } else {
          const std::string error = std::strerror(errno);
          rec.Note("cannot open " + portName_ + ": " + error);
          *why = portName_ + ": " + error;
        }
      } catch (...) {
        // The attempt goes on with whatever state the port is in.
      }
    }
    return port_.isOpen ? Readiness::kReady : Readiness::kNotOpen;
  }

  void Send(const CBuffObj::tagBufferInfo& f) override {
    port_.writeToComm(f.chArrBuffer, f.nBufferLen);
  }

  Received Receive(uint8_t* reply, trace::Transmission&) override {
    const CSerialPort::Reply answer = port_.readReply();
    Received r;
    r.bytes = answer.received;
    if (r.bytes > 0) {
      std::memcpy(reply, answer.bytes, static_cast<size_t>(r.bytes));
    } else {
      r.why = answer.how;
      r.timedOut = answer.result == 2 && port_.isOpen;
    }
    return r;
  }

  int PauseAfterFrameMs() const override { return timeoutMs_ >= 2 ? timeoutMs_ / 2 : 0; }

  // Only an accepted reply ends the attempts on the serial line.
  ReplyVerdict Judge(const uint8_t* reply, long received, int) const override {
    return JudgeSerialReply(reply, received);
  }

 private:
  CSerialPort& port_;
  const std::string portName_;
  const int baudRate_;
  const int timeoutMs_;
  const std::string lineKind_;
};

}  // namespace

std::unique_ptr<Link> MakeSerialLink(CSerialPort& port, const std::string& portName, int baudRate,
                                     const SendSettings& settings, const char* lineKind) {
  return std::make_unique<SerialLink>(port, portName, baudRate, settings, lineKind);
}
