// Topics and messages of the MQTT front, without the broker.
#include "gateway/MqttMessage.h"

#include <cctype>
#include <cstdlib>

namespace gateway {

using nlohmann::json;

namespace {

// A topic a message may name for its answers: a topic one may publish to
// (no wildcard, no NUL, not a broker's own '$' topic), and nothing of the
// gateway's own topics except its result topic and the levels below it.
bool ValidReplyTo(const HallTopics& t, const std::string& topic, std::string* why) {
  if (topic.empty() || topic.size() > kMaxReplyTo) {
    *why = "\"reply_to\" must be a topic of 1 to " + std::to_string(kMaxReplyTo) + " bytes";
    return false;
  }
  if (topic.find_first_of(std::string("+#\0", 3)) != std::string::npos || topic[0] == '$') {
    *why = "\"reply_to\" must be a topic without wildcards, NUL or a leading '$'";
    return false;
  }
  const std::string mine = t.base + "/";
  const std::string result = t.Result();
  if ((topic == t.base || topic.compare(0, mine.size(), mine) == 0) && topic != result &&
      topic.compare(0, result.size() + 1, result + "/") != 0) {
    *why = "\"reply_to\" may not be one of the gateway's own topics other than " + result;
    return false;
  }
  return true;
}

}  // namespace

bool ParseMqttUrl(const std::string& url, std::string* host, int* port) {
  static const std::string kScheme = "mqtt://";
  if (url.compare(0, kScheme.size(), kScheme) != 0) return false;
  std::string rest = url.substr(kScheme.size());
  if (!rest.empty() && rest.back() == '/') rest.pop_back();
  std::string h = rest;
  long p = 1883;
  const size_t colon = rest.rfind(':');
  if (colon != std::string::npos) {
    h = rest.substr(0, colon);
    const std::string digits = rest.substr(colon + 1);
    if (digits.empty() || digits.size() > 5 || digits.find_first_not_of("0123456789") != std::string::npos) {
      return false;
    }
    p = std::strtol(digits.c_str(), nullptr, 10);
    if (p < 1 || p > 65535) return false;
  }
  if (h.empty() || h.size() > 253) return false;
  for (char c : h) {
    if (!std::isalnum(static_cast<unsigned char>(c)) && c != '.' && c != '-') return false;
  }
  *host = h;
  *port = static_cast<int>(p);
  return true;
}

std::string TopicLevel(const std::string& name) {
  std::string out;
  bool gap = false;
  for (char c : name) {
    const unsigned char u = static_cast<unsigned char>(c);
    if (u < 0x80 && (std::isalnum(u) || c == '-' || c == '_')) {
      if (gap && !out.empty()) out += '-';
      gap = false;
      out += static_cast<char>(std::tolower(u));
    } else {
      gap = true;
    }
  }
  return out;
}

bool ValidBase(const std::string& base, std::string* why) {
  if (base.empty() || base.size() > kMaxBase) {
    *why = "the MQTT base topic must have 1 to " + std::to_string(kMaxBase) + " bytes";
    return false;
  }
  if (base.find_first_of(std::string("+#\0", 3)) != std::string::npos || base[0] == '$') {
    *why = "the MQTT base topic \"" + base + "\" may hold no wildcard or NUL and not start with '$'";
    return false;
  }
  if (base.front() == '/' || base.back() == '/' || base.find("//") != std::string::npos) {
    *why = "the MQTT base topic \"" + base + "\" has an empty level";
    return false;
  }
  return true;
}

std::string HallTopics::Availability(const std::string& sign) const {
  auto it = levelOfSign.find(sign);
  return base + "/" + (it == levelOfSign.end() ? sign : it->second) + "/availability";
}

std::string HallTopics::State(const std::string& sign) const {
  auto it = levelOfSign.find(sign);
  return base + "/" + (it == levelOfSign.end() ? sign : it->second) + "/state";
}

bool MakeHallTopics(const hall::HallFile& hall, const std::string& mqttBase, HallTopics* t, std::string* why) {
  HallTopics out;
  if (!mqttBase.empty()) {
    out.base = mqttBase;
  } else {
    const std::string level = TopicLevel(hall.name);
    if (level.empty()) {
      *why = "the MQTT front needs the hall's name ([hall] name) or [gateway] mqtt_base, so that "
             "gateways of other halls on the same broker keep to their own topics";
      return false;
    }
    out.base = "vexa/" + level;
  }
  if (!ValidBase(out.base, why)) return false;
  for (const hall::Sign& s : hall.signs) {
    const std::string level = TopicLevel(s.name);
    if (level.empty() || level == "call" || level == "result" || level == "bridge") {
      *why = "sign \"" + s.name + "\" has no topic level of its own (\"" + level + "\"); rename it";
      return false;
    }
    auto [at, fresh] = out.signOfLevel.emplace(level, s.name);
    if (!fresh) {
      *why = "signs \"" + at->second + "\" and \"" + s.name + "\" share the topic level \"" + level +
             "\"; rename one";
      return false;
    }
    out.levelOfSign[s.name] = level;
  }
  *t = std::move(out);
  return true;
}

bool ReadInbound(const HallTopics& t, const std::string& topic, const std::string& payload, Inbound* in,
                 Refusal* why) {
  in->replyTo = t.Result();
  in->id = nullptr;
  if (topic.size() > kMaxTopic) {
    *why = {400, "topic", "the topic is longer than " + std::to_string(kMaxTopic) + " bytes"};
    return false;
  }
  if (payload.size() > kMaxBody) {
    *why = {413, "payload", "the payload is larger than " + std::to_string(kMaxBody) + " bytes"};
    return false;
  }
  // <base>/call or <base>/<sign>/set/<command>.
  const std::string prefix = t.base + "/";
  std::string rest = topic.compare(0, prefix.size(), prefix) == 0 ? topic.substr(prefix.size()) : "";
  std::string level;
  if (rest == "call") {
    in->kind = Inbound::Kind::kCall;
  } else {
    const size_t set = rest.find("/set/");
    if (set == std::string::npos || set == 0 || rest.find('/', set + 5) != std::string::npos ||
        rest.find('/') != set || set + 5 == rest.size()) {
      *why = {404, "topic", "no such topic: messages go to " + t.base + "/call or " + t.base +
                                "/SIGN/set/COMMAND"};
      return false;
    }
    in->kind = Inbound::Kind::kCommand;
    level = rest.substr(0, set);
    in->command = rest.substr(set + 5);
  }

  json body;
  if (payload.find_first_not_of(" \t\r\n") == std::string::npos) {
    body = json::object();
  } else {
    body = json::parse(payload, nullptr, false);
    if (body.is_discarded()) {
      *why = {400, "payload", "the payload is not JSON"};
      return false;
    }
    if (!body.is_object()) {
      *why = {400, "payload", "the payload must be a JSON object"};
      return false;
    }
  }
  // The message's own keys. `text` takes an argument named "id" (the
  // material's number), which stays the command's.
  std::string replyFault, idFault;
  if (auto r = body.find("reply_to"); r != body.end()) {
    if (!r->is_string()) {
      replyFault = "\"reply_to\" must be a text (a topic)";
    } else if (ValidReplyTo(t, r->get<std::string>(), &replyFault)) {
      in->replyTo = r->get<std::string>();
    }
    body.erase(r);
  }
  const bool idIsArgument = in->kind == Inbound::Kind::kCommand && in->command == "text";
  if (auto i = body.find("id"); i != body.end() && !idIsArgument) {
    if (i->is_number_integer() || (i->is_string() && !i->get<std::string>().empty() &&
                                   i->get<std::string>().size() <= kMaxMessageId)) {
      in->id = *i;
    } else {
      idFault = "\"id\" must be a whole number or a text of 1 to " + std::to_string(kMaxMessageId) + " bytes";
    }
    body.erase(i);
  }
  if (!replyFault.empty()) {
    *why = {400, "reply_to", replyFault};
    return false;
  }
  if (!idFault.empty()) {
    *why = {400, "id", idFault};
    return false;
  }
  if (in->kind == Inbound::Kind::kCommand) {
    auto s = t.signOfLevel.find(level);
    if (s == t.signOfLevel.end()) {
      *why = {404, "sign", "the hall has no sign at topic level \"" + level + "\""};
      return false;
    }
    in->sign = s->second;
  }
  in->body = body.dump();
  return true;
}

json ErrorReply(const Inbound& in, const Refusal& why, const std::string& topic) {
  json out{{"status", why.status}, {"error", why.error}, {"field", why.field}};
  if (!in.id.is_null()) out["id"] = in.id;
  if (topic.size() <= kMaxTopic) out["topic"] = topic;
  return out;
}

}  // namespace gateway
