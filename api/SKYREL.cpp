// The library's globals and the connection settings.
#include "SKYREL.h"

#include <climits>
#include <cstring>
#include <mutex>

#include "api/Settings.h"
#include "core/Protocol.h"
#include "model/GlobalMember.h"
#include "transport/CSerialPort.h"

namespace {
// The local address the library starts with: this text stands for any local
// address (see BindNetworkCard).
char kStartLocalAddress[] = "127.0.0.1";
// The owned copy of the address given to BindNetworkCard; replaced, not
// leaked, by a later call.
std::string boundAddress;
// Serialises the setters against each other and against every send's
// reading of the settings.
std::mutex settingsLock;
}  // namespace

// The public constants describe the protocol the library speaks.
static_assert(RECV_LEN == protocol::kStreamReceiveBuffer, "stream receive buffer");
static_assert(MAX_UPD_BUFFER_LEN == protocol::kMaxDatagram, "datagram size");
static_assert(MAX_BUFFER_SIZE == protocol::kImageChunk, "image-group chunk");
static_assert(MAX_MEDIA_BUFFER_SIZE == protocol::kMediaChunk, "multimedia chunk");
static_assert(VEXA_RECORD_SIZE == protocol::kRecordSize, "record size");
static_assert(VEXA_ACCUMULATION_SIZE == protocol::kAccumulationSize, "multi-part buffer");
static_assert(VEXA_UDP_PORT == protocol::kUdpPort, "datagram port");
static_assert(VEXA_TCP_PORT == protocol::kTcpPort, "stream port");
static_assert(VEXA_LOGIN_ANSWER_WAIT_MS == protocol::kLoginAnswerWaitMs, "greeting answer wait");

int g_send_time_out = 100;
int g_receive_time_out = 100;
int g_send_times = 1;
char* g_network_card_ip = kStartLocalAddress;
int g_network_card_port = protocol::kDefaultLocalPort;
int g_chncode_mode = 0;
int byteArrAllBuffer[2048] = {};
char* chArrImageBuffer = nullptr;
int g_nArrIndex = 0;
int g_serverPort = 0;

// Constructed in this order when the library is loaded and destroyed in the
// reverse order at unload.
GlobalMember globalMember;
CSerialPort serialPort("COM", 9600, 8, 0, 0);

SendSettings CurrentSettings() {
  SendSettings s;
  std::lock_guard<std::mutex> lock(settingsLock);
  s.sendTimeOutMs = g_send_time_out;
  s.receiveTimeOutMs = g_receive_time_out;
  s.attempts = g_send_times;
  s.localIp = g_network_card_ip != nullptr ? g_network_card_ip : kStartLocalAddress;
  s.localPort = g_network_card_port;
  s.chnCodeMode = g_chncode_mode;
  return s;
}

void BindNetworkCard(char* localIp, int localPort) {
  std::lock_guard<std::mutex> lock(settingsLock);
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
  std::lock_guard<std::mutex> lock(settingsLock);
  g_send_time_out = sendTimeOut < 10 ? 10 : sendTimeOut;
  g_receive_time_out = receiveTimeOut < 10 ? 10 : receiveTimeOut;
}

void SetReceiveTimeOut(int timeOut) {
  if (timeOut < 10) timeOut = 10;
  std::lock_guard<std::mutex> lock(settingsLock);
  g_send_time_out = timeOut;
  g_receive_time_out = timeOut;
}

void SetReSendTimes(int reSendTimes) {
  if (reSendTimes < 0) reSendTimes = 0;
  std::lock_guard<std::mutex> lock(settingsLock);
  // The largest count stays the largest instead of wrapping to a negative one.
  g_send_times = reSendTimes == INT_MAX ? INT_MAX : reSendTimes + 1;
}

void SetChnCodeMode(int chnCodeMode) {
  std::lock_guard<std::mutex> lock(settingsLock);
  g_chncode_mode = chnCodeMode;
}

int CloseCom() {
  std::lock_guard<std::mutex> lock(serialPort.lock());
  serialPort.closeComm();
  serialPort.portName.clear();
  serialPort.isOpen = false;
  return 0;
}
