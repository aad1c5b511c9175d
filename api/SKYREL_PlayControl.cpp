// Play control, brightness and relay commands, over the network and on the
// serial line.
#include "SKYREL.h"
#include "api/EntryPoint.h"

int PlayShowPage_Net(char* ip, int networkMode, int pageNo) {
  return SendOneNetworkFrame(commands::kPlayShowPage, ip, networkMode,
                             [&](CBuffObj& o) { return o.PlayShowPageBuffer(pageNo); });
}

int PlayShowPage_Com(char* deviceAddress, int serialProtocol, int portNumber, int baudRate,
                     int pageNo) {
  return SendTwin(commands::kPlayShowPage, {deviceAddress, serialProtocol, portNumber, baudRate},
                  [&](CBuffObj& o, bool) { return o.PlayShowPageBuffer(pageNo); });
}

int StartPlay_Net(char* ip, int networkMode) {
  return SendOneNetworkFrame(commands::kStartPlay, ip, networkMode,
                             [](CBuffObj&) { return EmptyBuffer(); });
}

int StartPlay_Com(char* deviceAddress, int serialProtocol, int portNumber, int baudRate) {
  return SendTwin(commands::kStartPlay, {deviceAddress, serialProtocol, portNumber, baudRate},
                  [](CBuffObj&, bool) { return EmptyBuffer(); });
}

int StopPlay_Net(char* ip, int networkMode) {
  return SendOneNetworkFrame(commands::kStopPlay, ip, networkMode,
                             [](CBuffObj&) { return EmptyBuffer(); });
}

int StopPlay_Com(char* deviceAddress, int serialProtocol, int portNumber, int baudRate) {
  return SendTwin(commands::kStopPlay, {deviceAddress, serialProtocol, portNumber, baudRate},
                  [](CBuffObj&, bool) { return EmptyBuffer(); });
}

int RelaySwitch_Net(char* ip, int networkMode, int relayNo, int action) {
  return SendOneNetworkFrame(commands::kRelay, ip, networkMode,
                             [&](CBuffObj& o) { return o.RelayBuffer(relayNo, action, 0); });
}

int RelaySwitch_Com(char* deviceAddress, int serialProtocol, int portNumber, int baudRate,
                    int relayNo, int action) {
  return SendTwin(commands::kRelay, {deviceAddress, serialProtocol, portNumber, baudRate},
                  [&](CBuffObj& o, bool) { return o.RelayBuffer(relayNo, action, 0); });
}

int RelayDelay_Net(char* ip, int networkMode, int relayNo, int delay) {
  return SendOneNetworkFrame(commands::kRelay, ip, networkMode,
                             [&](CBuffObj& o) { return o.RelayBuffer(relayNo, 0, delay); });
}

int RelayDelay_Com(char* deviceAddress, int serialProtocol, int portNumber, int baudRate,
                   int relayNo, int delay) {
  return SendTwin(commands::kRelay, {deviceAddress, serialProtocol, portNumber, baudRate},
                  [&](CBuffObj& o, bool) { return o.RelayBuffer(relayNo, 0, delay); });
}

int SetBright_Net(char* ip, int networkMode, int value1, int value2) {
  return SendOneNetworkFrame(commands::kSetBright, ip, networkMode,
                             [&](CBuffObj& o) { return o.SetBrightBuffer(value1, value2); });
}

int SetBright_Com(char* deviceAddress, int serialProtocol, int portNumber, int baudRate,
                  int value1, int value2) {
  return SendTwin(commands::kSetBright, {deviceAddress, serialProtocol, portNumber, baudRate},
                  [&](CBuffObj& o, bool) { return o.SetBrightBuffer(value1, value2); });
}
