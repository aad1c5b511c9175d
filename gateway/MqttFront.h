// The MQTT front: calls and commands taken from topics under the hall's
// base topic, answers published to the message's `reply_to` (or
// `<base>/result`), each sign's availability and what it shows kept as
// retained topics, the gateway's own presence at `<base>/bridge/state`
// with a last will of "offline". It runs beside the HTTP front and keeps
// trying the broker with growing pauses while it is away.
#ifndef LIBVEXA_X86_GATEWAY_MQTTFRONT_H
#define LIBVEXA_X86_GATEWAY_MQTTFRONT_H

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <cstdio>
#include <map>
#include <mutex>
#include <set>
#include <string>
#include <thread>

#include <nlohmann/json.hpp>

#include "gateway/MqttMessage.h"
#include "gateway/Service.h"

struct mosquitto;
struct mosquitto_message;
typedef struct mqtt5__property mosquitto_property;

namespace gateway {

struct MqttOptions {
  std::string url;   // mqtt://HOST[:PORT]
  std::string base;  // empty: vexa/<the hall's name as a topic level>
  int keepAliveSec = 30;
  int retryFirstMs = 500;    // the first pause before trying the broker again,
  int retryMostMs = 30000;   // doubled after each failure up to this
  size_t maxWaiting = 10000; // requests whose result reply is still to come
  int sessionExpirySec = 3600;  // how long the broker keeps messages for an absent gateway
};

class MqttFront {
 public:
  // `log`: where the front says what it does with the broker (stderr in the
  // program; nullptr for nothing).
  MqttFront(Service* service, const hall::HallFile& hall, MqttOptions options, std::FILE* log = stderr);
  ~MqttFront();
  MqttFront(const MqttFront&) = delete;
  MqttFront& operator=(const MqttFront&) = delete;

  // Checks the address and the topics and starts the front's threads; the
  // broker need not be there yet. False with `why` when the settings are
  // wrong.
  bool Start(std::string* why);
  // Leaves the broker (which then publishes "offline" at the bridge
  // topic) and ends the threads.
  void Stop();

  const HallTopics& topics() const { return topics_; }
  bool connected() const { return connected_; }
  // Times the front has been connected to the broker.
  int connections() const { return connections_; }

 private:
  static void OnConnect(mosquitto*, void* self, int rc, int flags, const mosquitto_property*);
  static void OnDisconnect(mosquitto*, void* self, int rc, const mosquitto_property*);
  static void OnMessage(mosquitto*, void* self, const mosquitto_message* m, const mosquitto_property*);
  void Run();      // the connection: connect, serve, pause, again
  void Publish();  // what changed, and the result replies that are due
  void Handle(const std::string& topic, const std::string& payload);
  bool Send(const std::string& topic, const std::string& text, bool retain);
  void Heard(const SignEvent& e);
  void Say(const std::string& line);

  Service* service_;
  const hall::HallFile& hall_;
  MqttOptions options_;
  std::FILE* log_;
  HallTopics topics_;
  std::string host_;
  int port_ = 1883;
  mosquitto* mosq_ = nullptr;
  mosquitto_property* connectProps_ = nullptr;
  int subscription_ = 0;
  std::thread connection_, publisher_;
  std::atomic<bool> connected_{false};
  std::atomic<int> connections_{0};

  // Under mutex_: what the publisher is to do.
  struct Waiting {
    std::string replyTo;
    nlohmann::json id;
  };
  std::mutex mutex_;
  std::condition_variable wake_;
  bool stopping_ = false;
  bool everything_ = false;                      // republish every retained topic
  std::map<std::string, Availability> availability_;  // sign -> as last heard
  std::map<std::string, nlohmann::json> shows_;  // sign -> {"data:1":{...}, ...}
  std::set<std::string> availabilityDue_, stateDue_;
  std::map<int64_t, Waiting> waiting_;           // request -> where its result goes
  std::set<int64_t> check_;                      // requests that may have finished
};

}  // namespace gateway

#endif  // LIBVEXA_X86_GATEWAY_MQTTFRONT_H
