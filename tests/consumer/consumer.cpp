// A host program: plays show page 1 on the controller at the address given
// on its command line and checks the version the headers announce.
// Exit status 0 only when the controller accepted the command and the
// version is the expected one.
#include <cstdio>
#include <cstring>

#include <vexa-x86/version.h>

#include "SKYREL.h"

int main(int argc, char** argv) {
  if (argc != 2) {
    std::fprintf(stderr, "usage: demo <controller IPv4 address>\n");
    return 2;
  }
  char version[32];
  std::snprintf(version, sizeof version, "%d.%d.%d", VEXA_VERSION_MAJOR, VEXA_VERSION_MINOR,
                VEXA_VERSION_PATCH);
  if (std::strcmp(version, VEXA_VERSION_STRING) != 0 ||
      (*EXPECT_VERSION && std::strcmp(version, EXPECT_VERSION) != 0)) {
    std::fprintf(stderr, "version %s (string %s), expected %s\n", version, VEXA_VERSION_STRING,
                 EXPECT_VERSION);
    return 1;
  }
  SetReceiveTimeOut(2000);
  const int result = PlayShowPage_Net(argv[1], 1, 1);
  std::printf("libvexa-x86 %s: PlayShowPage_Net=%d\n", VEXA_VERSION_STRING, result);
  return result == 0 ? 0 : 1;
}
