// The login server's entry points.
#include "SKYREL.h"
#include <string>

#include "core/Trace.h"
#include "transport/LoginServer.h"

int OpenServer(int port) {
  if (port < 1 || port > 65535) {
    try {
      return trace::Refuse("login server port " + std::to_string(port) + " is outside 1 to 65535");
    } catch (...) {
      return 1;  // out of memory for the reason's words
    }
  }
  g_serverPort = port;
  // The thread gets the port by value, so a later OpenServer that changes
  // g_serverPort never races with this thread's start. When no thread can
  // be started no server runs, and the caller is told.
  if (!StartLoginServer(port)) {
    return trace::Refuse("no thread could be started for the login server");
  }
  return 0;
}

int CloseServer() { return 0; }

void TaskThreadExe() {
  try {
    RunLoginServer(g_serverPort);
  } catch (...) {
    // Nothing leaves the interface.
  }
}
