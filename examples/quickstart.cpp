// Quick start: tell the controller at the given address to play show page 1,
// set its brightness, switch relay 3 on and pulse relay 1 for 5 units, over
// UDP datagrams. Each call prints the controller's verdict (0 = accepted).
#include <cstdio>

#include "SKYREL.h"

int main(int argc, char** argv) {
  char defaultAddress[] = "127.0.0.1";
  char* ip = argc > 1 ? argv[1] : defaultAddress;
  const int datagram = 1;

  SetReceiveTimeOut(500);  // a generous wait for the controller's reply
  std::printf("PlayShowPage_Net=%d\n", PlayShowPage_Net(ip, datagram, 1));
  std::printf("SetBright_Net=%d\n", SetBright_Net(ip, datagram, 10, 1));
  std::printf("RelaySwitch_Net=%d\n", RelaySwitch_Net(ip, datagram, 3, 1));
  std::printf("RelayDelay_Net=%d\n", RelayDelay_Net(ip, datagram, 1, 5));
  return 0;
}
