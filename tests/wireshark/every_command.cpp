// Sends every command the library has for the network to one controller, so
// that the dissector's test has real frames of every family: run with
// VEXA_TRACE set against vexa-sim, it leaves each frame and each reply in the
// trace.
//
//   every_command ADDRESS all LOGIN_PORT [LOGIN_ADDRESS]
//                                          every command by UDP and TCP, then
//                                          over the login link to the
//                                          controller that dials in from
//                                          LOGIN_ADDRESS (default 127.0.0.1):
//                                          the login server is opened first,
//                                          "open" is printed, and a line on
//                                          standard input says the controller
//                                          dialled in
//   every_command ADDRESS few              a few commands by UDP and TCP (for
//                                          controllers that refuse or garble)
//
// Prints each call and its result code.
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <iostream>
#include <string>
#include <vector>

#include "SKYREL.h"

namespace {

// A 24-bit BMP of w x h pixels in stripes of three colours, so that every
// colour plane of the bitmap the library makes holds both bits.
void writeBmp(const std::string& path, int w, int h) {
  const int row = (w * 3 + 3) / 4 * 4;
  const uint32_t size = 54 + uint32_t(row * h);
  std::vector<uint8_t> b(size, 0);
  auto put32 = [&](size_t at, uint32_t v) {
    for (int i = 0; i < 4; ++i) b[at + i] = uint8_t(v >> (8 * i));
  };
  b[0] = 'B';
  b[1] = 'M';
  put32(2, size);
  put32(10, 54);
  put32(14, 40);
  put32(18, uint32_t(w));
  put32(22, uint32_t(h));
  b[26] = 1;
  b[28] = 24;
  for (int y = 0; y < h; ++y) {
    for (int x = 0; x < w; ++x) {
      uint8_t* px = &b[54 + size_t(y * row + x * 3)];
      const int stripe = (x / 4 + y / 3) % 3;
      px[stripe] = 0xFF;  // blue, green or red
    }
  }
  std::FILE* f = std::fopen(path.c_str(), "wb");
  if (!f) return;
  std::fwrite(b.data(), 1, b.size(), f);
  std::fclose(f);
}

void report(const char* call, const char* mode, int result) {
  std::printf("%s %s=%d\n", mode, call, result);
  std::fflush(stdout);
}

#define RUN(call) report(#call, modeName, (call))

void sendFew(char* ip, int mode, const char* modeName) {
  char ticket[] = "A012";
  char none[] = "";
  RUN(PlayShowPage_Net(ip, mode, 3));
  RUN(SendLineUp_Net(ticket, ip, mode, 3, 1, 1, false));
  RUN(PlayVoice_Net(ticket, ip, none, mode, 0));
  RUN(SendInternalText_Net(ticket, ip, mode, 64, 16, 7, 0, 0, 0, 0, 1, 1, 0, 1, true, 0));
}

void sendAll(char* ip, int mode, const char* modeName, const std::string& dir) {
  // Texts in the sign's encoding: GBK for the Chinese ones.
  char ticket[] = "A012";
  char welcome[] = "Welcome \"home\" \\ back";
  char chinese[] = "\xC7\xEB" "A012" "\xBA\xC5\xB5\xBD" "3" "\xBA\xC5\xB4\xB0\xBF\xDA";  // 请A012号到3号窗口
  char counter[] = "Counter 3";
  char call[] = "Ticket A012 to counter 3";
  char part1[] = "Now serving ";
  char part2[] = "\xD5\xFD\xD4\xDA\xBA\xF4\xBD\xD0";  // 正在呼叫
  char longLine[] = "A012 A013 A014 A015 \xB9\xF1\xCC\xA8";  // ... 柜台
  char none[] = "";
  char from[] = "08:00", to[] = "18:30", allDay1[] = "00:00", allDay2[] = "23:59";
  std::string big = dir + "/group.bmp", small = dir + "/media.bmp";
  std::vector<char> bigPath(big.begin(), big.end()), smallPath(small.begin(), small.end());
  bigPath.push_back('\0');
  smallPath.push_back('\0');

  RUN(PlayShowPage_Net(ip, mode, 2));
  RUN(StartPlay_Net(ip, mode));
  RUN(StopPlay_Net(ip, mode));
  RUN(RelaySwitch_Net(ip, mode, 3, 1));
  RUN(RelaySwitch_Net(ip, mode, 8, 2));
  RUN(RelayDelay_Net(ip, mode, 1, 5));
  RUN(SetBright_Net(ip, mode, 10, 1));
  RUN(TimeCheck_Net(ip, mode));
  RUN(SendDateTime_Net(ip, mode, 2, 1, 1, 1, 1, 1, 0, 1, 3, 1, 0, 5, 0, 0));
  RUN(SendInternalText_Net(welcome, ip, mode, 192, 16, 12, 0, 1, 2, 3, 1, 1, 0, 1, true, 0));
  RUN(SendInternalText_Net_Custom(chinese, ip, mode, 128, 32, 13, 2, 0, 0, 0, 2, 3, 1, 3, 2));
  RUN(SendMulInternalText_Net(part1, ip, mode, 192, 16, 14, 0, 0, 0, 0, 1, 1, 0, 1, true, 0, 1, 2));
  RUN(SendMulInternalText_Net(part2, ip, mode, 192, 16, 14, 0, 0, 0, 0, 1, 1, 0, 1, true, 0, 2, 2));
  RUN(SendCollectionData_Net(ticket, ip, mode, 1, 3, 2, 1));
  RUN(SendMulCollectionData_Net(ticket, ip, mode, 1, 0, 3, 2, 1, 1, 3));
  RUN(SendMulCollectionData_Net(chinese, ip, mode, 2, 0, 3, 2, 1, 2, 3));
  RUN(SendMulCollectionData_Net(counter, ip, mode, 3, 0, 3, 2, 1, 3, 3));
  RUN(SendCoordinateText_Net(counter, ip, mode, 300, 16, 1, 1, 0));
  RUN(PlayVoice_Net(call, ip, none, mode, 0));
  RUN(PlayVoice2_Net(chinese, ip, none, mode, 7, 5, 1, 2));
  RUN(SendLineUp_Net(ticket, ip, mode, 3, 1, 1, false));
  RUN(SendLineUp_Net(chinese, ip, mode, 4, 2, 0x80, true));
  RUN(SendLineUp2_Net(longLine, ip, mode, 1, 0, 2, false, 4));
  RUN(PlayImageGroup_Net(ip, mode, 1, 3, 0, 0, 0, 1, 1, 1, true, false));
  RUN(PlayImageGroup_Net(ip, mode, 0, 4, 9, 300, 2, 5, 6, 7, false, true));
  // Two images of 192 x 96 in two colours: 9216 bytes, five blocks, each
  // frame longer than a datagram.
  RUN(SendImageGroup_Net(bigPath.data(), ip, mode, 192, 96, 21, 1, 1, 2, 3, 1, true, 1, 2));
  RUN(SendImageGroup_Net(bigPath.data(), ip, mode, 192, 96, 21, 1, 1, 2, 3, 1, true, 2, 2));
  // 64 x 64 in two colours: 1024 bytes, two multimedia frames of each form.
  RUN(SendMultimedia_Net(smallPath.data(), ip, mode, true, 16, 8, 64, 64, 1, 0, 0));
  RUN(SendMultimedia_Net(smallPath.data(), ip, mode, false, 0, 0, 64, 64, 1, 1, 9));

  // A page set of two pages with every kind of material.
  RUN(AddShowPage(1, from, to, 0));
  RUN(AddArea(1, 0, 0, 192, 16));
  RUN(AddTemplate_DateTime(1, 2, 0, 1, 1, 1, 1, 0, 1, 3, 1, 0, 0, 0, false));
  RUN(AddArea(1, 0, 16, 96, 16));
  RUN(AddTemplate_InternalText(1, chinese, 31, 1, 0, 0, 0, 1, 2, 0, false));
  RUN(AddArea(1, 96, 16, 96, 16));
  RUN(AddTemplate_CollectData(1, ticket, 2, 0, 3, 1, 1));
  RUN(AddShowPage(2, allDay1, allDay2, 0));
  RUN(AddArea(2, 8, 0, 64, 32));
  RUN(AddTemplate_LineUp(2, ticket, 0, 1, 1, 2, 2, false));
  RUN(AddArea(2, 72, 0, 32, 32));
  RUN(AddTemplate_ImageGroup(2, smallPath.data(), 41, 0, 0, 0, 0));
  RUN(SendTemplateData_Net(ip, mode));
}

}  // namespace

int main(int argc, char** argv) {
  if (argc < 3) {
    std::fprintf(stderr, "usage: every_command ADDRESS all LOGIN_PORT [LOGIN_ADDRESS] | ADDRESS few\n");
    return 2;
  }
  char* ip = argv[1];
  const bool all = std::strcmp(argv[2], "all") == 0;
  const std::string dir = std::getenv("TMPDIR") ? std::getenv("TMPDIR") : "/tmp";
  writeBmp(dir + "/group.bmp", 192, 96);
  writeBmp(dir + "/media.bmp", 64, 64);
  SetReceiveTimeOut(1000);

  if (!all) {
    sendFew(ip, 1, "udp");
    sendFew(ip, 2, "tcp");
    return 0;
  }
  if (argc < 4) return 2;
  OpenServer(std::atoi(argv[3]));
  std::printf("open\n");
  std::fflush(stdout);
  std::string line;
  std::getline(std::cin, line);  // the controller has dialled in and answered

  sendAll(ip, 1, "udp", dir);
  sendAll(ip, 2, "tcp", dir);
  char loopback[] = "127.0.0.1";
  sendAll(argc > 4 ? argv[4] : loopback, 3, "login", dir);
  return 0;
}
