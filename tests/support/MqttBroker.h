// A real MQTT broker for tests and benchmarks (Debian's `mosquitto -c FILE`
// on a loopback address and port of the suite's own, no persistence), and
// a small client that keeps every message it hears.
#ifndef VEXA_TESTS_MQTTBROKER_H
#define VEXA_TESTS_MQTTBROKER_H

#include <arpa/inet.h>
#include <fcntl.h>
#include <mosquitto.h>
#include <mqtt_protocol.h>
#include <netinet/in.h>
#include <signal.h>
#include <sys/socket.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <condition_variable>
#include <cstdio>
#include <fstream>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

namespace mqtttest {

inline sockaddr_in Address(const std::string& address, int port) {
  sockaddr_in a{};
  a.sin_family = AF_INET;
  a.sin_port = htons(static_cast<uint16_t>(port));
  ::inet_pton(AF_INET, address.c_str(), &a.sin_addr);
  return a;
}

// A port on `address` that nobody listens on now.
inline int FreePort(const std::string& address) {
  const int s = ::socket(AF_INET, SOCK_STREAM, 0);
  sockaddr_in a = Address(address, 0);
  socklen_t n = sizeof a;
  const bool ok = ::bind(s, reinterpret_cast<sockaddr*>(&a), sizeof a) == 0 &&
                  ::getsockname(s, reinterpret_cast<sockaddr*>(&a), &n) == 0;
  ::close(s);
  return ok ? ntohs(a.sin_port) : -1;
}

inline bool Accepts(const std::string& address, int port) {
  const int s = ::socket(AF_INET, SOCK_STREAM, 0);
  sockaddr_in a = Address(address, port);
  const bool ok = ::connect(s, reinterpret_cast<sockaddr*>(&a), sizeof a) == 0;
  ::close(s);
  return ok;
}

class Broker {
 public:
  // `dir`: where its configuration and log go.
  Broker(std::string address, std::string dir) : address_(std::move(address)), dir_(std::move(dir)) {}
  ~Broker() { Kill(SIGTERM); }

  // Starts it (on the port it had before, when it ran already) and waits
  // until it takes connections. False when it does not.
  bool Start() {
    if (port_ <= 0) port_ = FreePort(address_);
    if (port_ <= 0) return false;
    std::ofstream(dir_ + "/mosquitto.conf") << "listener " << port_ << " " << address_
                                            << "\nallow_anonymous true\npersistence false\nset_tcp_nodelay true\n";
    pid_ = ::fork();
    if (pid_ == 0) {
      const int log = ::open((dir_ + "/mosquitto.log").c_str(), O_WRONLY | O_CREAT | O_APPEND, 0600);
      ::dup2(log, 1);
      ::dup2(log, 2);
      const std::string conf = dir_ + "/mosquitto.conf";
      ::execlp("mosquitto", "mosquitto", "-c", conf.c_str(), static_cast<char*>(nullptr));
      ::execl("/usr/sbin/mosquitto", "mosquitto", "-c", conf.c_str(), static_cast<char*>(nullptr));
      ::_exit(127);
    }
    for (int i = 0; i < 200; ++i) {
      if (Accepts(address_, port_)) return true;
      int status = 0;
      if (::waitpid(pid_, &status, WNOHANG) == pid_) {
        pid_ = -1;
        return false;
      }
      std::this_thread::sleep_for(std::chrono::milliseconds(50));
    }
    return false;
  }
  // Stops it with `signal` (SIGKILL: as a crash) and waits for it.
  void Kill(int signal) {
    if (pid_ <= 0) return;
    ::kill(pid_, signal);
    int status = 0;
    ::waitpid(pid_, &status, 0);
    pid_ = -1;
  }
  std::string Url() const { return "mqtt://" + address_ + ":" + std::to_string(port_); }
  const std::string& address() const { return address_; }
  int port() const { return port_; }

 private:
  std::string address_, dir_;
  int port_ = -1;
  pid_t pid_ = -1;
};

struct Message {
  std::string topic, payload;
  bool retain = false;
};

// A client that subscribes to one filter and keeps what it hears.
class Client {
 public:
  Client(const Broker& broker, const std::string& filter) {
    mosquitto_lib_init();
    mosq_ = mosquitto_new(nullptr, true, this);
    mosquitto_int_option(mosq_, MOSQ_OPT_PROTOCOL_VERSION, MQTT_PROTOCOL_V5);
    mosquitto_int_option(mosq_, MOSQ_OPT_TCP_NODELAY, 1);
    mosquitto_connect_v5_callback_set(mosq_, [](mosquitto* m, void* self, int rc, int, const mosquitto_property*) {
      auto* c = static_cast<Client*>(self);
      if (rc == 0 && !c->filter_.empty()) {
        mosquitto_subscribe_v5(m, nullptr, c->filter_.c_str(), 1, 0, nullptr);
      } else {
        c->Note(rc == 0);
      }
    });
    mosquitto_subscribe_v5_callback_set(mosq_, [](mosquitto*, void* self, int, int, const int*, const mosquitto_property*) {
      static_cast<Client*>(self)->Note(true);
    });
    mosquitto_message_v5_callback_set(mosq_, [](mosquitto*, void* self, const mosquitto_message* m,
                                                 const mosquitto_property*) {
      auto* c = static_cast<Client*>(self);
      std::lock_guard<std::mutex> lock(c->mutex_);
      c->messages_.push_back({m->topic, std::string(static_cast<const char*>(m->payload),
                                                    static_cast<size_t>(m->payloadlen)),
                              m->retain});
      c->changed_.notify_all();
    });
    filter_ = filter;
    mosquitto_connect(mosq_, broker.address().c_str(), broker.port(), 30);
    mosquitto_loop_start(mosq_);
    std::unique_lock<std::mutex> lock(mutex_);
    changed_.wait_for(lock, std::chrono::seconds(10), [&] { return ready_; });
  }
  ~Client() {
    mosquitto_disconnect(mosq_);
    mosquitto_loop_stop(mosq_, false);
    mosquitto_destroy(mosq_);
  }
  // Subscribed (or, without a filter, connected).
  bool ready() {
    std::lock_guard<std::mutex> lock(mutex_);
    return ready_;
  }
  bool Publish(const std::string& topic, const std::string& payload, int qos = 1) {
    return mosquitto_publish_v5(mosq_, nullptr, topic.c_str(), static_cast<int>(payload.size()), payload.data(),
                                qos, false, nullptr) == MOSQ_ERR_SUCCESS;
  }
  std::vector<Message> messages() {
    std::lock_guard<std::mutex> lock(mutex_);
    return messages_;
  }
  // The messages on `topic`, in the order heard.
  std::vector<Message> On(const std::string& topic) {
    std::vector<Message> out;
    for (Message& m : messages()) {
      if (m.topic == topic) out.push_back(std::move(m));
    }
    return out;
  }
  // Waits until `n` messages were heard on `topic`; false after `ms`.
  bool WaitFor(const std::string& topic, size_t n, int ms = 10000) {
    std::unique_lock<std::mutex> lock(mutex_);
    return changed_.wait_for(lock, std::chrono::milliseconds(ms), [&] {
      size_t k = 0;
      for (const Message& m : messages_) k += m.topic == topic;
      return k >= n;
    });
  }

 private:
  void Note(bool ok) {
    std::lock_guard<std::mutex> lock(mutex_);
    ready_ = ok;
    changed_.notify_all();
  }
  mosquitto* mosq_ = nullptr;
  std::string filter_;
  std::mutex mutex_;
  std::condition_variable changed_;
  std::vector<Message> messages_;
  bool ready_ = false;
};

}  // namespace mqtttest

#endif  // VEXA_TESTS_MQTTBROKER_H
