// The gateway's configuration: the hall file's [gateway] table, overridden
// by VEXA_* environment variables, overridden by the command line. The hall
// reader takes the same file with the [gateway] table blanked out (line for
// line, so that its mistakes keep their places).
#ifndef LIBVEXA_X86_GATEWAY_CONFIG_H
#define LIBVEXA_X86_GATEWAY_CONFIG_H

#include <functional>
#include <memory>
#include <set>
#include <string>
#include <vector>

#include "hall/HallFile.h"

namespace gateway {

struct Config {
  std::string hallPath;
  std::string httpHost = "127.0.0.1";  // loopback unless told otherwise
  int httpPort = 8080;
  std::string stateDir = "/var/lib/vexa-gateway";
  std::string mqtt;       // mqtt://HOST[:PORT]: the MQTT front's broker; empty: no MQTT front
  std::string mqttBase;   // the MQTT base topic; empty: vexa/<the hall's name>
  std::string token;      // the bearer token writes need
  std::string tokenFile;  // where the token is read from when not given itself
  size_t queue = 256;     // commands waiting per worker
  int offlineAfter = 3;   // failed commands in a row that make a sign offline
  int clockEverySec = 3600;
  int retryEverySec = 5;  // how often an offline sign is tried again
  // Signs for which a command is refused (503) while they are offline,
  // instead of being kept until they are back.
  std::set<std::string> refuseWhenOffline;
  int httpThreads = 16;      // requests served at once
  int httpWaiting = 64;      // accepted connections waiting for a thread
  int waitCapMs = 60000;     // longest a request waits for its results
};

// "HOST:PORT" (an IPv4 address or a name, a port 0 to 65535). False when
// it is not.
bool ParseHostPort(const std::string& text, std::string* host, int* port);
// "3600", "90s", "30m", "1h": seconds. -1 when it is none of these or
// not above zero.
int ParseSeconds(const std::string& text);

// The hall file's text with every line of its [gateway] table (and of
// tables under it) replaced by an empty line.
std::string WithoutGatewayTable(const std::string& text);

// Reads the [gateway] table of a hall file's text into `config`; its
// mistakes are added to `mistakes` with their places.
void ReadGatewayTable(const std::string& text, const std::string& path, Config* config,
                      std::vector<hall::Mistake>* mistakes);

// Loads the hall file: the hall as the hall reader reads it and the
// [gateway] table into `config`. nullptr with every mistake of both.
std::unique_ptr<hall::HallFile> LoadHall(const std::string& path, Config* config,
                                         std::vector<hall::Mistake>* mistakes);

// Applies the VEXA_* variables `lookup` knows (getenv by default). False
// with `why` naming the variable whose value is wrong.
using Lookup = std::function<const char*(const char*)>;
bool ApplyEnvironment(Config* config, std::string* why, const Lookup& lookup = nullptr);

// The token from `tokenFile` when no token was given itself; false with
// `why` when there is none to be had.
bool ResolveToken(Config* config, std::string* why);

}  // namespace gateway

#endif  // LIBVEXA_X86_GATEWAY_CONFIG_H
