// libvexa-x86: host library for LED sign controllers of queue-calling halls.
//
// Every command function encodes one command, sends it to one controller and
// returns a result code:
//   0  the controller accepted the command
//   1  not accepted or nothing sent (bad argument, socket or port failure,
//      a payload too large for one frame, an unrecognised reply)
//   2  nothing received (time-out, receive error, connection closed)
//   3  the controller answered with status "2"
//   4  the controller answered with status "3"
//
// Network functions (`..._Net`) take the controller's dotted IPv4 address and
// a network mode: 2 = TCP stream to port 8900, 3 = the connection the
// controller opened to this library's login server (see OpenServer), any
// other value = UDP datagrams to port 8800 sent from the local address and
// port set with BindNetworkCard (default: any address, port 8801).
//
// Serial functions (`..._Com`) take a bus address, a serial protocol (2 = the
// RS-485 frame that carries the bus address, anything else = the network
// frame unchanged), a port number n and a baud rate; the port opened is the
// file "COM<n>" in the process's working directory (link it to the real
// device, e.g. `ln -s /dev/ttyUSB0 COM1`). The line always runs at 9600 baud,
// 8 data bits, no parity, one stop bit.
//
// Texts are passed through byte for byte: the library converts no character
// set. A null text or address is refused with result 1 and nothing is sent.
// No exception ever leaves a function of this interface.
#ifndef LIBVEXA_X86_SKYREL_H
#define LIBVEXA_X86_SKYREL_H

#include <cstddef>
#include <string>
#include <utility>

#if defined(__GNUC__)
#define VEXA_API __attribute__((visibility("default")))
#else
#define VEXA_API
#endif

// ---------------------------------------------------------------------------
// Named constants of the protocol.
constexpr int RECV_LEN = 1024;               // receive buffer requested in stream mode
constexpr int MAX_UPD_BUFFER_LEN = 1408;     // largest UDP datagram the sender emits
constexpr int MAX_BUFFER_SIZE = 2048;        // image-group chunk
constexpr int MAX_MEDIA_BUFFER_SIZE = 960;   // multimedia chunk
constexpr int VEXA_RECORD_SIZE = 3000;       // capacity of one payload or frame
constexpr int VEXA_ACCUMULATION_SIZE = 2048; // capacity of the multi-part buffer (bytes)
constexpr int VEXA_UDP_PORT = 8800;          // controller's datagram port
constexpr int VEXA_TCP_PORT = 8900;          // controller's stream port
// How long the login server waits for a dialled-in controller's answer to
// its greeting before recording it anyway (milliseconds).
constexpr int VEXA_LOGIN_ANSWER_WAIT_MS = 3000;

class GlobalMember;
class CSerialPort;

// ---------------------------------------------------------------------------
// Process-wide settings and state (defined by the library).
extern VEXA_API int g_send_time_out;        // ms, default 100
extern VEXA_API int g_receive_time_out;     // ms, default 100
extern VEXA_API int g_send_times;           // attempts per transmission, default 1
extern VEXA_API char* g_network_card_ip;    // local address for datagrams, "127.0.0.1" = any
extern VEXA_API int g_network_card_port;    // local port for datagrams, default 8801
extern VEXA_API int g_chncode_mode;         // stored only
extern VEXA_API int byteArrAllBuffer[2048]; // multi-part accumulation, one byte per element
extern VEXA_API char* chArrImageBuffer;     // image-group buffer while a group is open
extern VEXA_API int g_nArrIndex;            // fill counter of the two buffers above
extern VEXA_API int g_serverPort;           // port of the login server
extern VEXA_API GlobalMember globalMember;  // show-page model and client list
extern VEXA_API CSerialPort serialPort;     // the one serial port

// ---------------------------------------------------------------------------
// Connection settings.
VEXA_API void BindNetworkCard(char* localIp, int localPort);
VEXA_API void SetTimeOut(int sendTimeOut, int receiveTimeOut);  // values below 10 become 10
VEXA_API void SetReceiveTimeOut(int timeOut);                    // sets both time-outs
VEXA_API void SetReSendTimes(int reSendTimes);                   // repeats after the first attempt
VEXA_API void SetChnCodeMode(int chnCodeMode);
VEXA_API int CloseCom();

// Login server: controllers that dial in are greeted with the clock and can
// then be reached in network mode 3 by their address.
VEXA_API int OpenServer(int port);
VEXA_API int CloseServer();
VEXA_API void TaskThreadExe();

// Log writer: appends a titled entry to vd_logs/Vocadis<YYYYMMDD>.log under
// the working directory.
VEXA_API void WriteLog(const char* title, const char* message);
VEXA_API void WriteLogThread(const char* title, const char* message);
VEXA_API std::string currentDateToString(int mode);  // 0: YYYYMMDD, else hh:mm:ss

// ---------------------------------------------------------------------------
// Play control, brightness and relays.
VEXA_API int PlayShowPage_Net(char* ip, int networkMode, int pageNo);
VEXA_API int StartPlay_Net(char* ip, int networkMode);
VEXA_API int StopPlay_Net(char* ip, int networkMode);
VEXA_API int RelaySwitch_Net(char* ip, int networkMode, int relayNo, int action);  // action 1 on, 2 off
VEXA_API int RelayDelay_Net(char* ip, int networkMode, int relayNo, int delay);    // delay 1..16
VEXA_API int SetBright_Net(char* ip, int networkMode, int value1, int value2);

// Clock and date-time display.
VEXA_API int SendDateTime_Net(char* ip, int networkMode, int materialId, int displayMode,
                              int dtField4High, int dtField4Low, int dtField5High,
                              int dtField5Low, int dtField6, int dtField0, int dtField1,
                              int dtTopBit, int dtField2, int dtField3, int style3,
                              int extraByte);
VEXA_API int TimeCheck_Net(char* ip, int networkMode);

// Texts and collected data.
VEXA_API int SendCollectionData_Net(char* text, char* ip, int networkMode, int dataIndex,
                                    int textStyle, int attrHigh, int attrLow);
VEXA_API int SendCoordinateText_Net(char* text, char* ip, int networkMode, int x, int y,
                                    int textStyle, int attrHigh, int attrLow);
VEXA_API int SendInternalText_Net(char* text, char* ip, int networkMode, int areaWidth,
                                  int areaHeight, int materialId, int displayMode,
                                  int style1, int style2, int style3, int textStyle,
                                  int attrHigh, int attrLow, int levelCode, bool primaryFlag,
                                  int extraByte);
VEXA_API int SendInternalText_Net_Custom(char* text, char* ip, int networkMode, int areaWidth,
                                         int areaHeight, int materialId, int displayMode,
                                         int style1, int style2, int style3, int textStyle,
                                         int attrHigh, int attrLow, int levelCode,
                                         int primaryCode);
VEXA_API int SendMulCollectionData_Net(char* text, char* ip, int networkMode, int dataIndex,
                                       int displayMode, int textStyle, int attrHigh,
                                       int attrLow, int index, int count);
VEXA_API int SendMulInternalText_Net(char* text, char* ip, int networkMode, int areaWidth,
                                     int areaHeight, int materialId, int displayMode,
                                     int style1, int style2, int style3, int textStyle,
                                     int attrHigh, int attrLow, int levelCode,
                                     bool primaryFlag, int extraByte, int index, int count);
VEXA_API int SendMulMaterial(int transport, int networkMode, char* ip, int serialProtocol,
                             int portNumber, int baudRate, char* deviceAddress, char* text,
                             int commandCode, int materialId, int spareValue, int displayMode,
                             int areaWidth, int areaHeight, int style1, int style2, int style3,
                             int textStyle, int attrHigh, int attrLow, int levelCode,
                             bool primaryFlag, int extraByte, int index, int count);

// Voice.
VEXA_API int PlayVoice_Net(char* text, char* ip, char* spareText, int networkMode, int subCode);
VEXA_API int PlayVoice2_Net(char* text, char* ip, char* spareText, int networkMode,
                            int subCode, int vTag, int soundNo, int mTag);

// Queue line-up.
VEXA_API int SendLineUpContent(char* text, char* ip, int networkMode, int slotNo,
                               int lineKind, int unitAddress, bool bracketed);
VEXA_API int SendLineUp_Net(char* text, char* ip, int networkMode, int slotNo, int lineKind,
                            int unitAddress, bool bracketed);
VEXA_API int SendLineUp2_Net(char* text, char* ip, int networkMode, int slotNo, int lineKind,
                             int unitAddress, bool bracketed, int pageChars);

// Image groups and multimedia.
//
// Bitmap layout produced by ImageContentBuffer: width x height pixels in
// colour mode m (0 = red, 1 = red + green, 2 = red + green + blue) take
// (m + 1) bit planes. The bitmap is one continuous bit stream: plane after
// plane (red, then green, then blue), in each plane rows top to bottom and in
// each row pixels left to right, eight pixels per byte, most significant bit
// first. A pixel's bit is set when its channel is at least half intensity
// (128 of 255); transparent pixels count as laid over black. Images are read
// from BMP (1, 4, 8, 24 or 32 bits per pixel) and PNG files and scaled to
// width x height by nearest neighbour. The result holds exactly width * height * (m + 1) / 8 bytes;
// it stays valid until the next call from the same thread and must not be
// released by the caller. An image that cannot be read gives a null pointer
// and length 0.
VEXA_API std::pair<unsigned char*, int> ImageContentBuffer(char* source, int colourMode,
                                                           int width, int height);
VEXA_API int SendImageGroup_Net(char* source, char* ip, int networkMode, int width, int height,
                                int materialId, int displayMode, int style1, int style2,
                                int style3, int levelCode, bool primaryFlag, int index,
                                int count);
VEXA_API int SendImageGroupBuffer(int transport, int networkMode, char* ip, int serialProtocol,
                                  int portNumber, int baudRate, char* deviceAddress,
                                  char* source, int width, int height, int materialId,
                                  int displayMode, int style1, int style2, int style3,
                                  int levelCode, bool primaryFlag, int index, int count);
VEXA_API int SendMultimedia_Net(char* source, char* ip, int networkMode, bool form78,
                                int horizontal, int vertical, int width, int height,
                                int colourMode, int flag, int value);
VEXA_API int SendMultimediaBuffer(char* source, char* ip, int networkMode, short commandCode,
                                  int horizontal, int vertical, int width, int height,
                                  int colourMode, int flag, int value);
VEXA_API int PlayImageGroup_Net(char* ip, int networkMode, int a, int b, int c, int d, int e,
                                int f, int g, int h, bool i, bool j);

// Bar screens (serial line only).
VEXA_API int SetParams4BarScreen_Com(int serialProtocol, int portNumber, int baudRate,
                                     int byte13, int byte6, int byte7, int twoWay,
                                     int value0to7, bool flag);
VEXA_API int SendContent2BarScreen_Com(char* text, int serialProtocol, int portNumber,
                                       int baudRate, int screenAddress, int colour,
                                       int pageWidth, int ignored1, int ignored2,
                                       int value16, int moveStyle1, int moveStyle2,
                                       int pageByte3, int pageByte5, int pageByte7,
                                       int pageByte8, bool flag);
VEXA_API int getMoveStyle(int moveStyle);

// Serial twins.
VEXA_API int PlayShowPage_Com(char* deviceAddress, int serialProtocol, int portNumber,
                              int baudRate, int pageNo);
VEXA_API int StartPlay_Com(char* deviceAddress, int serialProtocol, int portNumber, int baudRate);
VEXA_API int StopPlay_Com(char* deviceAddress, int serialProtocol, int portNumber, int baudRate);
VEXA_API int RelaySwitch_Com(char* deviceAddress, int serialProtocol, int portNumber,
                             int baudRate, int relayNo, int action);
VEXA_API int RelayDelay_Com(char* deviceAddress, int serialProtocol, int portNumber,
                            int baudRate, int relayNo, int delay);
VEXA_API int SetBright_Com(char* deviceAddress, int serialProtocol, int portNumber,
                           int baudRate, int value1, int value2);
VEXA_API int TimeCheck_Com(char* deviceAddress, int serialProtocol, int portNumber, int baudRate);
VEXA_API int SendDateTime_Com(char* deviceAddress, int serialProtocol, int portNumber,
                              int baudRate, int materialId, int displayMode, int dtField4High,
                              int dtField4Low, int dtField5High, int dtField5Low, int dtField6,
                              int dtField0, int dtField1, int dtTopBit, int dtField2,
                              int dtField3, int style3, int extraByte);
VEXA_API int PlayImageGroup_Com(char* deviceAddress, int serialProtocol, int portNumber,
                                int baudRate, int a, int b, int c, int d, int e, int f, int g,
                                int h, bool i, bool j);
VEXA_API int SendCollectionData_Com(char* text, char* deviceAddress, int serialProtocol,
                                    int portNumber, int baudRate, int dataIndex, int textStyle,
                                    int attrHigh, int attrLow);
VEXA_API int SendInternalText_Com(char* text, char* deviceAddress, int serialProtocol,
                                  int portNumber, int baudRate, int areaWidth, int areaHeight,
                                  int materialId, int displayMode, int style1, int style2,
                                  int style3, int textStyle, int attrHigh, int attrLow,
                                  int levelCode, bool primaryFlag, int extraByte);
VEXA_API int SendLineUp_Com(char* text, char* deviceAddress, int serialProtocol,
                            int portNumber, int baudRate, int slotNo, int lineKind,
                            int unitAddress, bool bracketed);
VEXA_API int PlayVoice_Com(char* text, char* deviceAddress, int serialProtocol,
                           int portNumber, int baudRate);
VEXA_API int PlayVoice2_Com(char* text, char* deviceAddress, int serialProtocol,
                            int portNumber, int baudRate, int vTag, int soundNo, int mTag);
VEXA_API int SendMulCollectionData_Com(char* text, char* deviceAddress, int serialProtocol,
                                       int portNumber, int baudRate, int dataIndex,
                                       int displayMode, int textStyle, int attrHigh,
                                       int attrLow, int index, int count);
VEXA_API int SendMulInternalText_Com(char* text, char* deviceAddress, int serialProtocol,
                                     int portNumber, int baudRate, int areaWidth,
                                     int areaHeight, int materialId, int displayMode,
                                     int style1, int style2, int style3, int textStyle,
                                     int attrHigh, int attrLow, int levelCode,
                                     bool primaryFlag, int extraByte, int index, int count);
VEXA_API int SendImageGroup_Com(char* source, char* deviceAddress, int serialProtocol,
                                int portNumber, int baudRate, int width, int height,
                                int materialId, int displayMode, int style1, int style2,
                                int style3, int levelCode, bool primaryFlag, int index,
                                int count);

// ---------------------------------------------------------------------------
// Show pages: describe a page set in memory, then upload it in one call.
// Builders return 0 on success and 1 on failure (nothing changed).
VEXA_API int AddShowPage(int pageNo, char* startTime, char* endTime, int pageExtra);
VEXA_API int AddArea(int pageNo, int x, int y, int areaWidth, int areaHeight);
VEXA_API int AddTemplate_InternalText(int pageNo, char* text, int materialId, int displayMode,
                                      int style1, int style2, int style3, int textStyle,
                                      int attrHigh, int attrLow, bool unused);
VEXA_API int AddTemplate_CollectData(int pageNo, char* text, int dataIndex, int displayMode,
                                     int textStyle, int attrHigh, int attrLow);
VEXA_API int AddTemplate_DateTime(int pageNo, int materialId, int displayMode,
                                  int dtField4High, int dtField4Low, int dtField5High,
                                  int dtField5Low, int dtField6, int dtField0, int dtField1,
                                  int dtTopBit, int dtField2, int dtField3, int style3,
                                  bool unused);
VEXA_API int AddTemplate_ImageGroup(int pageNo, char* fileList, int materialId,
                                    int displayMode, int style1, int style2, int style3);
VEXA_API int AddTemplate_LineUp(int pageNo, char* text, int style3, int textStyle,
                                int attrHigh, int attrLow, int lineUpIndex, bool lineUpFlag);
VEXA_API int GenMaterial(int pageNo, char* text, char* fileList, int materialType,
                         int materialId, int displayMode, int style1, int style2, int style3,
                         int textStyle, int attrHigh, int attrLow, int levelSelector,
                         int dtField1, int dtField4High, int dtField4Low, int dtField6,
                         int dtField0, int dtTopBit, int dtField2, int dtField3, int dataIndex,
                         int lineUpIndex, bool primaryFlag, bool lineUpFlag);
VEXA_API bool CheckShowPage();
VEXA_API int SendTemplateData_Net(char* ip, int networkMode);

#endif  // LIBVEXA_X86_SKYREL_H
