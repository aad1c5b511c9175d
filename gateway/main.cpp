// vexa-gateway: the signs of a hall as a service over HTTP, and over MQTT
// when a broker is named.
//
//   vexa-gateway --hall FILE [--http HOST:PORT] [--state DIR] [--mqtt mqtt://HOST[:PORT]]
//
// Settings come from the hall file's [gateway] table, then the VEXA_*
// environment variables, then the command line. One logfmt line per command
// goes to standard error. SIGTERM or SIGINT: the commands in flight finish,
// the queues stay in the store, and the process ends.
#include <signal.h>
#include <systemd/sd-daemon.h>

#include <cstdio>
#include <cstdlib>
#include <iostream>

#include <CLI/CLI.hpp>

#include "gateway/Config.h"
#include "gateway/Gateway.h"
#include "gateway/HttpFront.h"
#include "gateway/MqttFront.h"
#include "vexa-x86/version.h"

namespace {

constexpr int kUsage = 64;
constexpr int kDataError = 65;
constexpr int kNoInput = 66;
constexpr int kUnavailable = 69;

int Fail(const std::string& what, int status) {
  std::cerr << "vexa-gateway: " << what << '\n';
  return status;
}

}  // namespace

int main(int argc, char** argv) {
  std::string hallPath, http, state, mqtt;
  CLI::App app{"Runs the signs of a queue-calling hall as a service over HTTP and MQTT.", "vexa-gateway"};
  app.set_version_flag("--version", VEXA_VERSION_STRING);
  app.add_option("--hall", hallPath, "the hall file (default $VEXA_HALL, then /etc/vexa/hall.toml)");
  app.add_option("--http", http, "address to listen on, HOST:PORT (default 127.0.0.1:8080)");
  app.add_option("--state", state, "the store's directory (default /var/lib/vexa-gateway)");
  app.add_option("--mqtt", mqtt, "the MQTT broker, mqtt://HOST[:PORT] (default: no MQTT)");
  try {
    app.parse(argc, argv);
  } catch (const CLI::ParseError& e) {
    return e.get_exit_code() == 0 ? app.exit(e) : (app.exit(e), kUsage);
  }

  if (hallPath.empty()) {
    const char* env = std::getenv("VEXA_HALL");
    hallPath = env && *env ? env : "/etc/vexa/hall.toml";
  }
  gateway::Config config;
  config.hallPath = hallPath;
  std::vector<hall::Mistake> mistakes;
  std::unique_ptr<hall::HallFile> file = gateway::LoadHall(hallPath, &config, &mistakes);
  if (!file) {
    for (const hall::Mistake& m : mistakes) std::cerr << m.Text() << '\n';
    return !mistakes.empty() && mistakes.front().unreadable ? kNoInput : kDataError;
  }
  std::string why;
  if (!gateway::ApplyEnvironment(&config, &why)) return Fail(why, kUsage);
  if (!http.empty() && !gateway::ParseHostPort(http, &config.httpHost, &config.httpPort)) {
    return Fail("--http must be HOST:PORT", kUsage);
  }
  if (!state.empty()) config.stateDir = state;
  if (!mqtt.empty()) {
    std::string host;
    int port = 0;
    if (!gateway::ParseMqttUrl(mqtt, &host, &port)) return Fail("--mqtt must be mqtt://HOST[:PORT]", kUsage);
    config.mqtt = mqtt;
  }
  if (!gateway::ResolveToken(&config, &why)) return Fail(why, kUsage);

  // The signals that stop the gateway are taken by this thread alone.
  sigset_t stops;
  sigemptyset(&stops);
  sigaddset(&stops, SIGTERM);
  sigaddset(&stops, SIGINT);
  pthread_sigmask(SIG_BLOCK, &stops, nullptr);
  signal(SIGPIPE, SIG_IGN);

  std::unique_ptr<gateway::Store> store = gateway::Store::Open(config.stateDir, &why);
  if (!store) return Fail(why, kUnavailable);
  gateway::Gateway gw(std::move(file), config, std::move(store));
  if (!gw.Start(&why)) return Fail(why, kUnavailable);
  gateway::HttpFront front(&gw);
  if (!front.Start(&why)) {
    gw.Stop();
    return Fail(why, kUnavailable);
  }
  // The MQTT front starts whether or not the broker is there: it keeps
  // trying, and HTTP serves meanwhile.
  std::unique_ptr<gateway::MqttFront> mqttFront;
  if (!config.mqtt.empty()) {
    gateway::MqttOptions options;
    options.url = config.mqtt;
    options.base = config.mqttBase;
    mqttFront = std::make_unique<gateway::MqttFront>(&gw, gw.hallFile(), options);
    if (!mqttFront->Start(&why)) {
      front.Stop();
      gw.Stop();
      return Fail(why, kDataError);
    }
  }
  std::fprintf(stderr, "msg=listening http=%s:%d state=%s signs=%zu mqtt=%s\n", config.httpHost.c_str(),
               front.port(), config.stateDir.c_str(), gw.hallFile().signs.size(),
               mqttFront ? mqttFront->topics().base.c_str() : "none");
  std::fflush(stderr);
  sd_notify(0, "READY=1");

  int signal = 0;
  sigwait(&stops, &signal);
  sd_notify(0, "STOPPING=1");
  std::fprintf(stderr, "msg=stopping signal=%d\n", signal);
  std::fflush(stderr);
  gw.StopWaiting();
  if (mqttFront) mqttFront->Stop();
  front.Stop();
  gw.Stop();
  return 0;
}
