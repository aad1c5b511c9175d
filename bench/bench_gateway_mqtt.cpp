// vexa-gateway's MQTT front: from a publish to the frame at the sign.
//
// One emulated sign, a gateway in this process with both fronts, and
// Debian's mosquitto on loopback. Each round publishes a call at QoS 1 to
// <base>/call and waits for the sign's line-up frame with that ticket; the
// baseline, in the same run and alternating with it, is the same call
// posted over HTTP without waiting (?wait=false) until the same frame.
// Both go through the same store commit and worker; what differs is the
// way in. The broker runs with set_tcp_nodelay, as a hall's broker should.
//
//   bench_gateway_mqtt [ROUNDS]   (default 1000 of each)
//
// The store is in $TMPDIR (default /tmp): every call is one synchronous
// commit, so the disk under it is part of what is measured.
#include <httplib.h>

#include <algorithm>
#include <chrono>
#include <condition_variable>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <map>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "Latency.h"
#include "MqttBroker.h"
#include "VexaSim.h"
#include "gateway/Config.h"
#include "gateway/Gateway.h"
#include "gateway/HttpFront.h"
#include "gateway/MqttFront.h"

namespace {

using bench::Clock;
using bench::Ms;

[[noreturn]] void Die(const std::string& why) {
  std::fprintf(stderr, "bench_gateway_mqtt: %s\n", why.c_str());
  std::exit(1);
}

// When each ticket's line-up frame reached the sign.
class Arrivals {
 public:
  void Heard(const vexasim::Frame& f) {
    if (f.name != "LineUp") return;
    std::lock_guard<std::mutex> lock(mutex_);
    at_[f.bytes("text")] = Clock::now();
    changed_.notify_all();
  }
  // The time the ticket's frame came; false after 5 s.
  bool Wait(const std::string& ticket, Clock::time_point* when) {
    std::unique_lock<std::mutex> lock(mutex_);
    if (!changed_.wait_for(lock, std::chrono::seconds(5), [&] { return at_.count(ticket) > 0; })) return false;
    *when = at_[ticket];
    at_.erase(ticket);
    return true;
  }

 private:
  std::mutex mutex_;
  std::condition_variable changed_;
  std::map<std::string, Clock::time_point> at_;
};

}  // namespace

int main(int argc, char** argv) {
  const int rounds = argc > 1 ? std::max(1, std::atoi(argv[1])) : 1000;
  const char* tmp = std::getenv("TMPDIR");
  std::string dir = std::string(tmp && *tmp ? tmp : "/tmp") + "/vexa-bench-mqtt-XXXXXX";
  if (::mkdtemp(&dir[0]) == nullptr) Die("cannot make a directory under " + dir);

  mqtttest::Broker broker("127.204.1.1", dir);
  if (!broker.Start()) Die("mosquitto did not start (apt-get install mosquitto); see " + dir + "/mosquitto.log");
  vexasim::Options o;
  o.address = "127.204.0.1";
  o.tcp = false;
  o.keep = 16;
  vexasim::Emulator sign(o);
  Arrivals arrivals;
  sign.setSink([&](const vexasim::Frame& f) { arrivals.Heard(f); });
  if (!sign.start()) Die("cannot start the emulator on " + o.address);

  std::ofstream(dir + "/hall.toml") << "[hall]\nname = \"Bench\"\ntimeout_ms = 1000\nretries = 0\n"
                                       "[[sign]]\nname = \"s\"\ntransport = \"udp\"\naddress = \"127.204.0.1\"\n"
                                       "width = 64\nheight = 16\n"
                                       "[[counter]]\nnumber = 1\nlineup = { sign = \"s\", field = 1 }\n";
  gateway::Config config;
  std::vector<hall::Mistake> mistakes;
  auto file = gateway::LoadHall(dir + "/hall.toml", &config, &mistakes);
  std::string why;
  auto store = gateway::Store::Open(dir + "/state", &why);
  if (!file || !store) Die(mistakes.empty() ? why : mistakes[0].Text());
  config.httpPort = 0;
  config.token = "bench";
  gateway::Gateway gw(std::move(file), config, std::move(store), nullptr);
  gateway::HttpFront http(&gw);
  gateway::MqttOptions options;
  options.url = broker.Url();
  gateway::MqttFront mqtt(&gw, gw.hallFile(), options, nullptr);
  if (!gw.Start(&why) || !http.Start(&why) || !mqtt.Start(&why)) Die(why);

  mqtttest::Client publisher(broker, "");
  httplib::Client client("127.0.0.1", http.port());
  const auto ready = Clock::now() + std::chrono::seconds(10);
  while (!(mqtt.connected() && publisher.ready() && gw.Signs()[0]["availability"] == "online")) {
    if (Clock::now() > ready) Die("the gateway did not come up");
    std::this_thread::sleep_for(std::chrono::milliseconds(10));
  }

  std::vector<double> viaMqtt, viaHttp;
  int lost = 0;
  for (int i = 0; i < rounds; ++i) {
    for (bool byMqtt : {true, false}) {
      const std::string ticket = (byMqtt ? "M" : "H") + std::to_string(i);
      const std::string body = "{\"ticket\":\"" + ticket + "\",\"counter\":1}";
      const Clock::time_point start = Clock::now();
      if (byMqtt) {
        if (!publisher.Publish("vexa/bench/call", body, 1)) Die("publish failed");
      } else {
        auto r = client.Post("/v1/call?wait=false", httplib::Headers{{"Authorization", "Bearer bench"}}, body,
                             "application/json");
        if (!r || r->status != 202) Die("HTTP call failed");
      }
      Clock::time_point at;
      if (!arrivals.Wait(ticket, &at)) {
        ++lost;
        continue;
      }
      (byMqtt ? viaMqtt : viaHttp).push_back(Ms(at - start));
    }
  }
  mqtt.Stop();
  http.Stop();
  gw.Stop();

  std::printf("publish to frame at the sign: %d calls each way, %d without a frame\n", rounds, lost);
  bench::PrintAgainst("MQTT publish (QoS 1)", viaMqtt, "HTTP POST ?wait=false", viaHttp, "MQTT against HTTP");
  broker.Kill(SIGTERM);
  std::filesystem::remove_all(dir);
  return lost == 0 ? 0 : 1;
}
