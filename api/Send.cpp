// How the entry points reach the controllers.
#include "api/Send.h"

#include <mutex>
#include <utility>

#include "api/Settings.h"
#include "transport/CSerialPort.h"
#include "transport/Senders.h"

int SendToController(FrameList frames, char* ip, int networkMode, const SendSettings& settings) {
  return SendBuffer_Net(std::move(frames), ip, networkMode, settings);
}

int SendToController(FrameList frames, char* ip, int networkMode) {
  return SendBuffer_Net(std::move(frames), ip, networkMode, CurrentSettings());
}

int SendOnSerial(FrameList frames, int portNumber, int baudRate) {
  const SendSettings settings = CurrentSettings();
  std::lock_guard<std::mutex> lock(serialPort.lock());
  return SendBuffer_Com(serialPort, std::move(frames), ComPortName(portNumber), baudRate, settings);
}

