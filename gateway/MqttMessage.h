// What the MQTT front reads from a message before anything is sent: the
// broker's address, the topics of a hall (its base, each sign's level), and
// a message on `<base>/call` or `<base>/<sign>/set/<command>` turned into
// what the gateway takes (the body without the message's own `id` and
// `reply_to`) and where its answers go. Nothing here talks to a broker, so
// the fuzz target takes it whole.
#ifndef LIBVEXA_X86_GATEWAY_MQTTMESSAGE_H
#define LIBVEXA_X86_GATEWAY_MQTTMESSAGE_H

#include <map>
#include <string>

#include <nlohmann/json.hpp>

#include "gateway/Request.h"
#include "hall/HallFile.h"

namespace gateway {

// Longest topic a message may come on, longest `reply_to`, longest text
// `id`, and longest base topic.
constexpr size_t kMaxTopic = 512;
constexpr size_t kMaxReplyTo = 256;
constexpr size_t kMaxMessageId = 128;
constexpr size_t kMaxBase = 128;
// Largest packet the broker may hand the gateway (the client's maximum
// packet size): room for a payload over kMaxBody, so that one gets an error
// reply; larger ones the broker drops.
constexpr size_t kMaxPacket = 4 * kMaxBody;

// "mqtt://HOST[:PORT]" (port 1883 when none). False when it is not.
bool ParseMqttUrl(const std::string& url, std::string* host, int* port);

// A name as one topic level: lowercase ASCII letters and digits, '-' and
// '_' kept, every run of other characters one '-', none at either end.
// "Branch 12" -> "branch-12", "Main/Hall" -> "main-hall"; "" when nothing
// is left.
std::string TopicLevel(const std::string& name);

// Whether `base` is a base topic: 1 to kMaxBase bytes, levels not empty,
// no wildcard, no NUL, not starting with '$'. False with `why`.
bool ValidBase(const std::string& base, std::string* why);

// The topics of one hall: `mqtt_base` when set, else "vexa/" and the hall's
// name as a topic level; each sign under its name as a topic level. False
// with `why` when the hall has neither a name nor a base, or two signs
// share a level.
struct HallTopics {
  std::string base;
  std::map<std::string, std::string> signOfLevel;  // "main-hall" -> "Main Hall"
  std::map<std::string, std::string> levelOfSign;  // "Main Hall" -> "main-hall"

  std::string Result() const { return base + "/result"; }
  std::string Bridge() const { return base + "/bridge/state"; }
  std::string Availability(const std::string& sign) const;
  std::string State(const std::string& sign) const;
};
bool MakeHallTopics(const hall::HallFile& hall, const std::string& mqttBase, HallTopics* topics,
                    std::string* why);

// A message taken apart.
struct Inbound {
  enum class Kind { kCall, kCommand } kind = Kind::kCall;
  std::string sign;     // kCommand: the sign's name in the hall
  std::string command;  // kCommand
  std::string body;     // the JSON object for the gateway
  nlohmann::json id;    // the message's id, echoed in its answers; null when none
  std::string replyTo;  // where its answers go
};

// Reads a message. On a refusal `why` says the status and field, and
// `in->replyTo` and `in->id` still say where the error reply goes (the
// result topic and no id when the payload could not tell).
bool ReadInbound(const HallTopics& topics, const std::string& topic, const std::string& payload, Inbound* in,
                 Refusal* why);

// The error reply of a refused message.
nlohmann::json ErrorReply(const Inbound& in, const Refusal& why, const std::string& topic);

}  // namespace gateway

#endif  // LIBVEXA_X86_GATEWAY_MQTTMESSAGE_H
