// demo: builds one show page with a date-time area, uploads it to the
// controller at the address given on the command line, prints the results
// and then stays alive, printing a line every 20 seconds.
//
//   usage: demo <controller IPv4 address>
#include <arpa/inet.h>
#include <unistd.h>

#include <cstring>
#include <iostream>

#include "SKYREL.h"

namespace {

bool IsIPv4Address(const char* text) {
  in_addr address;
  return inet_pton(AF_INET, text, &address) == 1;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc != 2 || !IsIPv4Address(argv[1])) {
    // Named as it was started: demo in the build tree, vexa-demo installed.
    const char* name = argc > 0 && argv[0] && *argv[0] ? argv[0] : "demo";
    if (const char* slash = std::strrchr(name, '/')) name = slash + 1;
    std::cerr << "usage: " << name << " <controller IPv4 address, e.g. 192.168.1.100>" << std::endl;
    return 2;
  }
  char* ip = argv[1];
  char startTime[] = "00:00";
  char endTime[] = "23:59";

  // Page 2, shown all day, with one 192 x 16 area at the top left that shows
  // the running date and time.
  AddShowPage(2, startTime, endTime, 0);
  AddArea(2, 0, 0, 192, 16);
  int added = AddTemplate_DateTime(2, 2, 0, 1, 1, 1, 1, 0, 1, 3, 1, 0, 0, 0, false);
  std::cout << "AddTemplate_DateTime=" << added << std::endl;
  sleep(3);

  int sent = SendTemplateData_Net(ip, 1);
  std::cout << "SendTemplateData_Net=" << sent << std::endl;
  sleep(3);

  for (;;) {
    std::cout << "sleep20s--------" << std::endl;
    sleep(20);
  }
}
