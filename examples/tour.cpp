// A tour of the command families: one command of each, sent to the
// controller at the given address by UDP (and, with a second argument n, one
// bus command to the serial port COM<n> in the working directory). Prints
// each result code.
#include <cstdio>
#include <cstdlib>

#include "SKYREL.h"

int main(int argc, char** argv) {
  char defaultAddress[] = "127.0.0.1";
  char* ip = argc > 1 ? argv[1] : defaultAddress;
  const int udp = 1;
  SetReceiveTimeOut(500);

  char ticket[] = "A012";
  char welcome[] = "Welcome";
  char counter[] = "Counter 3";
  char call[] = "Ticket A012 to counter 3";
  char none[] = "";

  std::printf("PlayShowPage_Net=%d\n", PlayShowPage_Net(ip, udp, 1));
  std::printf("TimeCheck_Net=%d\n", TimeCheck_Net(ip, udp));
  std::printf("SendDateTime_Net=%d\n",
              SendDateTime_Net(ip, udp, 2, 0, 1, 1, 1, 1, 0, 1, 3, 1, 0, 0, 0, 0));
  std::printf("SendInternalText_Net=%d\n",
              SendInternalText_Net(welcome, ip, udp, 192, 16, 12, 0, 0, 0, 0, 1, 1, 0, 1,
                                   true, 0));
  std::printf("SendCollectionData_Net=%d\n",
              SendCollectionData_Net(ticket, ip, udp, 1, 3, 2, 1));
  std::printf("SendCoordinateText_Net=%d\n",
              SendCoordinateText_Net(counter, ip, udp, 0, 16, 1, 1, 0));
  std::printf("PlayVoice2_Net=%d\n", PlayVoice2_Net(call, ip, none, udp, 0, 5, 1, 2));
  std::printf("SendLineUp_Net=%d\n", SendLineUp_Net(ticket, ip, udp, 3, 1, 1, false));
  std::printf("PlayImageGroup_Net=%d\n",
              PlayImageGroup_Net(ip, udp, 1, 3, 0, 0, 0, 1, 1, 1, true, false));

  if (argc > 2) {
    char bus[] = "5";
    int port = std::atoi(argv[2]);
    std::printf("PlayShowPage_Com=%d\n", PlayShowPage_Com(bus, 2, port, 9600, 1));
    std::printf("SendContent2BarScreen_Com=%d\n",
                SendContent2BarScreen_Com(ticket, 1, port, 9600, 1, 1, 4, 0, 0, 0, 0, 0, 0,
                                          0, 0, 0, false));
    CloseCom();
  }
  return 0;
}
