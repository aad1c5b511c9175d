// The MQTT front over libmosquitto: one thread owns the connection (connect,
// serve, pause, again), one publishes what the gateway's events changed.
//
// Acknowledgement and the store: libmosquitto 2.0 (Debian's) has no manual
// acknowledgement. The front runs the library's loop on its own thread in
// threaded mode, where the library only queues the PUBACK of a QoS 1
// message and writes it on that thread's next turn, after the message
// callback has returned; the callback commits the message's commands to the
// store (a synchronous commit) before it returns. So the PUBACK leaves
// after the commit. Nothing else may run the loop or write for it.
#include "gateway/MqttFront.h"

#include <mosquitto.h>
#include <mqtt_protocol.h>

#include <algorithm>
#include <cstring>
#include <vector>

namespace gateway {

using nlohmann::json;

namespace {

std::string Text(const json& j) { return j.dump(-1, ' ', false, json::error_handler_t::replace); }

Availability AvailabilityOf(const std::string& name) {
  if (name == "online") return Availability::kOnline;
  if (name == "offline") return Availability::kOffline;
  return Availability::kUnknown;
}

}  // namespace

MqttFront::MqttFront(Service* service, const hall::HallFile& hall, MqttOptions options, std::FILE* log)
    : service_(service), hall_(hall), options_(std::move(options)), log_(log) {}

MqttFront::~MqttFront() {
  Stop();
  if (mosq_ != nullptr) mosquitto_destroy(mosq_);
  mosquitto_property_free_all(&connectProps_);
}

void MqttFront::Say(const std::string& line) {
  if (log_ == nullptr) return;
  std::fprintf(log_, "%s\n", line.c_str());
  std::fflush(log_);
}

bool MqttFront::Start(std::string* why) {
  if (!ParseMqttUrl(options_.url, &host_, &port_)) {
    *why = "the MQTT broker must be mqtt://HOST[:PORT], not \"" + options_.url + "\"";
    return false;
  }
  if (!MakeHallTopics(hall_, options_.base, &topics_, why)) return false;

  static std::once_flag init;
  std::call_once(init, [] { mosquitto_lib_init(); });
  // One client per hall: a second gateway of the same hall takes the
  // session over, as a restarted one does.
  const std::string clientId = "vexa-gateway@" + topics_.base;
  mosq_ = mosquitto_new(clientId.c_str(), false, this);
  if (mosq_ == nullptr) {
    *why = "cannot make an MQTT client: " + std::string(std::strerror(errno));
    return false;
  }
  mosquitto_int_option(mosq_, MOSQ_OPT_PROTOCOL_VERSION, MQTT_PROTOCOL_V5);
  // Nagle's algorithm stays on here: with it off on this side alone, the
  // broker's held-back packets waited for delayed acknowledgements and every
  // call took 40 ms more. The broker's set_tcp_nodelay is what speeds it up.
  mosquitto_threaded_set(mosq_, true);
  static const char kOffline[] = "offline";
  mosquitto_will_set_v5(mosq_, topics_.Bridge().c_str(), static_cast<int>(std::strlen(kOffline)), kOffline, 1,
                        true, nullptr);
  mosquitto_connect_v5_callback_set(mosq_, &MqttFront::OnConnect);
  mosquitto_disconnect_v5_callback_set(mosq_, &MqttFront::OnDisconnect);
  mosquitto_message_v5_callback_set(mosq_, &MqttFront::OnMessage);
  // The broker keeps the session (subscriptions, messages at QoS 1) while
  // the gateway is away for a while, and hands it nothing larger than
  // kMaxPacket.
  mosquitto_property_add_int32(&connectProps_, MQTT_PROP_SESSION_EXPIRY_INTERVAL,
                               static_cast<uint32_t>(options_.sessionExpirySec));
  mosquitto_property_add_int32(&connectProps_, MQTT_PROP_MAXIMUM_PACKET_SIZE, static_cast<uint32_t>(kMaxPacket));

  // What the signs are and show now; the events that come later win.
  subscription_ = service_->Subscribe([this](const SignEvent& e) { Heard(e); });
  const json signs = service_->Signs();
  {
    std::lock_guard<std::mutex> lock(mutex_);
    for (const json& s : signs) {
      const std::string name = s.value("name", "");
      if (!availability_.count(name)) availability_[name] = AvailabilityOf(s.value("availability", ""));
      if (!shows_.count(name)) shows_[name] = s.value("shows", json::object());
    }
  }
  connection_ = std::thread([this] { Run(); });
  publisher_ = std::thread([this] { Publish(); });
  return true;
}

void MqttFront::Stop() {
  if (subscription_ != 0) {
    service_->Unsubscribe(subscription_);
    subscription_ = 0;
  }
  {
    std::lock_guard<std::mutex> lock(mutex_);
    stopping_ = true;
  }
  wake_.notify_all();
  if (connection_.joinable()) connection_.join();
  if (publisher_.joinable()) publisher_.join();
}

void MqttFront::Run() {
  const std::string broker = host_ + ":" + std::to_string(port_);
  int pause = options_.retryFirstMs;
  bool said = false;  // that the broker is away, once until it is back
  for (;;) {
    {
      std::lock_guard<std::mutex> lock(mutex_);
      if (stopping_) break;
    }
    int rc = mosquitto_connect_bind_v5(mosq_, host_.c_str(), port_, options_.keepAliveSec, nullptr, connectProps_);
    const int before = connections_;
    if (rc == MOSQ_ERR_SUCCESS) {
      bool leaving = false;
      auto leaveBy = std::chrono::steady_clock::now();
      for (;;) {
        bool stop = false;
        {
          std::lock_guard<std::mutex> lock(mutex_);
          stop = stopping_;
        }
        if (stop && !leaving) {
          // The broker publishes the will ("offline") for a leave with it.
          leaving = true;
          leaveBy = std::chrono::steady_clock::now() + std::chrono::seconds(2);
          mosquitto_disconnect_v5(mosq_, MQTT_RC_DISCONNECT_WITH_WILL_MSG, nullptr);
        }
        rc = mosquitto_loop(mosq_, 100, 1);
        if (rc != MOSQ_ERR_SUCCESS) break;
        if (leaving && std::chrono::steady_clock::now() > leaveBy) break;
      }
    }
    const bool wasUp = connected_.exchange(false);
    std::unique_lock<std::mutex> lock(mutex_);
    if (stopping_) break;
    if (wasUp || connections_ != before) {
      pause = options_.retryFirstMs;
      said = false;
    }
    if (!said) {
      said = true;
      lock.unlock();
      Say("msg=\"mqtt broker away\" broker=" + broker + " error=\"" +
          (rc == MOSQ_ERR_ERRNO ? std::string(std::strerror(errno)) : std::string(mosquitto_strerror(rc))) +
          "\" retry_ms=" + std::to_string(pause));
      lock.lock();
    }
    wake_.wait_for(lock, std::chrono::milliseconds(pause), [&] { return stopping_; });
    if (stopping_) break;
    pause = std::min(pause * 2, options_.retryMostMs);
  }
  connected_ = false;
}

void MqttFront::OnConnect(mosquitto* mosq, void* self, int rc, int, const mosquitto_property*) {
  auto* f = static_cast<MqttFront*>(self);
  if (rc != 0) {
    f->Say("msg=\"mqtt broker refused the connection\" reason=\"" + std::string(mosquitto_reason_string(rc)) + "\"");
    return;
  }
  // Messages retained on the command topics are never taken: only a message
  // published now is a call.
  const std::string call = f->topics_.base + "/call", set = f->topics_.base + "/+/set/+";
  mosquitto_subscribe_v5(mosq, nullptr, call.c_str(), 1, MQTT_SUB_OPT_SEND_RETAIN_NEVER, nullptr);
  mosquitto_subscribe_v5(mosq, nullptr, set.c_str(), 1, MQTT_SUB_OPT_SEND_RETAIN_NEVER, nullptr);
  f->Send(f->topics_.Bridge(), "online", true);
  f->connected_ = true;
  ++f->connections_;
  {
    std::lock_guard<std::mutex> lock(f->mutex_);
    f->everything_ = true;
  }
  f->wake_.notify_all();
  f->Say("msg=\"mqtt connected\" broker=" + f->host_ + ":" + std::to_string(f->port_) + " base=" + f->topics_.base);
}

void MqttFront::OnDisconnect(mosquitto*, void* self, int, const mosquitto_property*) {
  static_cast<MqttFront*>(self)->connected_ = false;
}

void MqttFront::OnMessage(mosquitto*, void* self, const mosquitto_message* m, const mosquitto_property*) {
  const std::string topic = m->topic ? m->topic : "";
  const std::string payload(static_cast<const char*>(m->payload), m->payload ? static_cast<size_t>(m->payloadlen) : 0);
  static_cast<MqttFront*>(self)->Handle(topic, payload);
}

bool MqttFront::Send(const std::string& topic, const std::string& text, bool retain) {
  return mosquitto_publish_v5(mosq_, nullptr, topic.c_str(), static_cast<int>(text.size()), text.data(), 1, retain,
                              nullptr) == MOSQ_ERR_SUCCESS;
}

void MqttFront::Handle(const std::string& topic, const std::string& payload) {
  Inbound in;
  Refusal why;
  bool ok = ReadInbound(topics_, topic, payload, &in, &why);
  if (ok) {
    std::lock_guard<std::mutex> lock(mutex_);
    if (waiting_.size() >= options_.maxWaiting) {
      why = {429, "reply_to", std::to_string(waiting_.size()) +
                                  " requests are waiting for their result replies; nothing was queued"};
      ok = false;
    }
  }
  Outcome o;
  if (ok) {
    o = in.kind == Inbound::Kind::kCall ? service_->Call(in.body, false)
                                        : service_->Command(in.sign, in.command, in.body, false);
    if (o.status >= 300) {
      why = {o.status, o.body.value("field", ""), o.body.value("error", "")};
      ok = false;
    }
  }
  if (!ok) {
    Send(in.replyTo, Text(ErrorReply(in, why, topic)), false);
    return;
  }
  // The commands are in the store: say so, then follow them.
  const int64_t request = o.body.value("id", int64_t{0});
  json queued{{"request", request}, {"state", "queued"}};
  if (!in.id.is_null()) queued["id"] = in.id;
  Send(in.replyTo, Text(queued), false);
  {
    std::lock_guard<std::mutex> lock(mutex_);
    waiting_[request] = Waiting{in.replyTo, in.id};
    check_.insert(request);
  }
  wake_.notify_all();
}

void MqttFront::Heard(const SignEvent& e) {
  {
    std::lock_guard<std::mutex> lock(mutex_);
    switch (e.kind) {
      case SignEvent::Kind::kAvailability:
        availability_[e.sign] = e.availability;
        availabilityDue_.insert(e.sign);
        break;
      case SignEvent::Kind::kShows:
        shows_[e.sign][e.show] = e.content;
        stateDue_.insert(e.sign);
        break;
      case SignEvent::Kind::kResult:
        if (e.request == 0 || !waiting_.count(e.request)) return;
        check_.insert(e.request);
        break;
    }
  }
  wake_.notify_all();
}

void MqttFront::Publish() {
  for (;;) {
    std::vector<std::pair<std::string, std::string>> retained;  // topic, text
    std::vector<std::pair<int64_t, Waiting>> checks;
    {
      std::unique_lock<std::mutex> lock(mutex_);
      wake_.wait(lock, [&] {
        return stopping_ || (connected_ && (everything_ || !availabilityDue_.empty() || !stateDue_.empty() ||
                                            !check_.empty()));
      });
      if (stopping_) return;
      if (everything_) {
        everything_ = false;
        for (const hall::Sign& s : hall_.signs) {
          availabilityDue_.insert(s.name);
          stateDue_.insert(s.name);
        }
        for (auto& [id, w] : waiting_) check_.insert(id);
      }
      for (const std::string& sign : availabilityDue_) {
        retained.emplace_back(topics_.Availability(sign),
                              availability_[sign] == Availability::kOnline ? "online" : "offline");
      }
      for (const std::string& sign : stateDue_) {
        auto it = shows_.find(sign);
        retained.emplace_back(topics_.State(sign), Text(it == shows_.end() ? json::object() : it->second));
      }
      availabilityDue_.clear();
      stateDue_.clear();
      for (int64_t id : check_) {
        auto w = waiting_.find(id);
        if (w != waiting_.end()) checks.emplace_back(id, w->second);
      }
      check_.clear();
    }
    for (auto& [topic, text] : retained) Send(topic, text, true);
    for (auto& [id, w] : checks) {
      const Outcome o = service_->Request(id);
      if (o.status != 200 || o.body.value("state", "") != "done") continue;
      json reply{{"request", id}, {"state", "done"}, {"ok", o.body.value("ok", false)},
                 {"results", o.body.value("results", json::array())}};
      if (!w.id.is_null()) reply["id"] = w.id;
      // Not sent (the broker went away): tried again once it is back.
      if (!Send(w.replyTo, Text(reply), false)) continue;
      std::lock_guard<std::mutex> lock(mutex_);
      waiting_.erase(id);
    }
  }
}

}  // namespace gateway
