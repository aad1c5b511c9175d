// The library's globals, the connection settings and the play-control,
// brightness and relay entry points.
#include "SKYREL.h"

#include <climits>
#include <cstring>

#include "api/EntryPoint.h"
#include "core/Protocol.h"
#include "model/GlobalMember.h"
#include "transport/CSerialPort.h"
#include "transport/Senders.h"

namespace {
char kAnyLocalAddress[] = "127.0.0.1";
// The owned copy of the address given to BindNetworkCard; replaced, not
// leaked, by a later call.
std::string boundAddress;
}  // namespace

int g_send_time_out = 100;
int g_receive_time_out = 100;
int g_send_times = 1;
char* g_network_card_ip = kAnyLocalAddress;
int g_network_card_port = 8801;
int g_chncode_mode = 0;
int byteArrAllBuffer[2048] = {};
char* chArrImageBuffer = nullptr;
int g_nArrIndex = 0;
int g_serverPort = 0;

// Constructed in this order when the library is loaded and destroyed in the
// reverse order at unload.
GlobalMember globalMember;
CSerialPort serialPort("COM", 9600, 8, 0, 0);

// ---------------------------------------------------------------------------
void BindNetworkCard(char* localIp, int localPort) {
  if (localIp != nullptr) {
    try {
      boundAddress.assign(localIp);
      g_network_card_ip = boundAddress.data();
    } catch (...) {
      // Out of memory: keep the previous address.
    }
  }
  g_network_card_port = localPort;
}

void SetTimeOut(int sendTimeOut, int receiveTimeOut) {
  g_send_time_out = sendTimeOut < 10 ? 10 : sendTimeOut;
  g_receive_time_out = receiveTimeOut < 10 ? 10 : receiveTimeOut;
}

void SetReceiveTimeOut(int timeOut) {
  if (timeOut < 10) timeOut = 10;
  g_send_time_out = timeOut;
  g_receive_time_out = timeOut;
}

void SetReSendTimes(int reSendTimes) {
  if (reSendTimes < 0) reSendTimes = 0;
  // The largest count stays the largest instead of wrapping to a negative one.
  g_send_times = reSendTimes == INT_MAX ? INT_MAX : reSendTimes + 1;
}

void SetChnCodeMode(int chnCodeMode) { g_chncode_mode = chnCodeMode; }

int CloseCom() {
  serialPort.closeComm();
  serialPort.portName.clear();
  serialPort.isOpen = false;
  return 0;
}

// ---------------------------------------------------------------------------
int PlayShowPage_Net(char* ip, int networkMode, int pageNo) {
  return SendOneNetworkFrame(ip, networkMode, protocol::cmd::kPlayShowPage, 0,
                             [&](CBuffObj& o) { return o.PlayShowPageBuffer(pageNo); });
}

int StartPlay_Net(char* ip, int networkMode) {
  return SendOneNetworkFrame(ip, networkMode, protocol::cmd::kStartPlay, 0,
                             [](CBuffObj&) { return EmptyBuffer(); });
}

int StopPlay_Net(char* ip, int networkMode) {
  return SendOneNetworkFrame(ip, networkMode, protocol::cmd::kStopPlay, 0,
                             [](CBuffObj&) { return EmptyBuffer(); });
}

int RelaySwitch_Net(char* ip, int networkMode, int relayNo, int action) {
  return SendOneNetworkFrame(ip, networkMode, protocol::cmd::kRelay, 0,
                             [&](CBuffObj& o) { return o.RelayBuffer(relayNo, action, 0); });
}

int RelayDelay_Net(char* ip, int networkMode, int relayNo, int delay) {
  return SendOneNetworkFrame(ip, networkMode, protocol::cmd::kRelay, 0,
                             [&](CBuffObj& o) { return o.RelayBuffer(relayNo, 0, delay); });
}

int SetBright_Net(char* ip, int networkMode, int value1, int value2) {
  return SendOneNetworkFrame(ip, networkMode, protocol::cmd::kSetBright, 0,
                             [&](CBuffObj& o) { return o.SetBrightBuffer(value1, value2); });
}
