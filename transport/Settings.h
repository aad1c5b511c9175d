// The connection settings one transmission uses. The caller takes them once,
// at the start of its call, so that a setting changed meanwhile by another
// thread never changes a transmission half-way.
#ifndef LIBVEXA_X86_TRANSPORT_SETTINGS_H
#define LIBVEXA_X86_TRANSPORT_SETTINGS_H

#include <string>

#include "core/Protocol.h"

struct SendSettings {
  int sendTimeOutMs = 100;     // socket send time-out
  int receiveTimeOutMs = 100;  // how long a reply is awaited; paces the serial line
  int attempts = 1;            // transmissions before giving up
  // Local address datagrams leave from; "127.0.0.1" means any local address.
  std::string localIp = "127.0.0.1";
  int localPort = protocol::kDefaultLocalPort;
  int chnCodeMode = 0;  // stored for the application; nothing sent reads it
};

#endif  // LIBVEXA_X86_TRANSPORT_SETTINGS_H
