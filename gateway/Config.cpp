// Reading the gateway's configuration from the hall file, the environment
// and the token file.
#include "gateway/Config.h"

#include <arpa/inet.h>

#include <algorithm>
#include <cctype>
#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <sstream>

#include <toml++/toml.h>

#include "gateway/MqttMessage.h"

namespace gateway {

namespace {

bool AllDigits(const std::string& s) {
  return !s.empty() && s.size() <= 9 &&
         s.find_first_not_of("0123456789") == std::string::npos;
}

std::string Trim(const std::string& s) {
  size_t b = 0, e = s.size();
  while (b < e && std::isspace(static_cast<unsigned char>(s[b]))) ++b;
  while (e > b && std::isspace(static_cast<unsigned char>(s[e - 1]))) --e;
  return s.substr(b, e - b);
}

// Whether a line is a table header, and whether it is [gateway] or one of
// its tables ([gateway.x], [[gateway.y]]).
bool IsHeader(const std::string& line, bool* gatewayOne) {
  const std::string t = Trim(line);
  if (t.empty() || t[0] != '[') return false;
  std::string name = t.substr(t.compare(0, 2, "[[") == 0 ? 2 : 1);
  const size_t close = name.find(']');
  if (close == std::string::npos) return false;
  name = Trim(name.substr(0, close));
  *gatewayOne = name == "gateway" || name.compare(0, 8, "gateway.") == 0;
  return true;
}

void Fail(std::vector<hall::Mistake>* mistakes, const std::string& path,
          const toml::source_region& at, const std::string& what) {
  mistakes->push_back({path, static_cast<int>(at.begin.line), static_cast<int>(at.begin.column),
                       what});
}

}  // namespace

bool ParseHostPort(const std::string& text, std::string* host, int* port) {
  const size_t colon = text.rfind(':');
  if (colon == std::string::npos || colon == 0) return false;
  const std::string h = text.substr(0, colon), p = text.substr(colon + 1);
  if (!AllDigits(p)) return false;
  const long n = std::strtol(p.c_str(), nullptr, 10);
  if (n < 0 || n > 65535) return false;
  for (char c : h) {
    if (!std::isalnum(static_cast<unsigned char>(c)) && c != '.' && c != '-') return false;
  }
  *host = h;
  *port = static_cast<int>(n);
  return true;
}

int ParseSeconds(const std::string& text) {
  if (text.empty()) return -1;
  int unit = 1;
  std::string digits = text;
  switch (text.back()) {
    case 's': unit = 1; digits.pop_back(); break;
    case 'm': unit = 60; digits.pop_back(); break;
    case 'h': unit = 3600; digits.pop_back(); break;
    default: break;
  }
  if (!AllDigits(digits)) return -1;
  const long long n = std::strtoll(digits.c_str(), nullptr, 10) * unit;
  if (n <= 0 || n > 7 * 24 * 3600) return -1;
  return static_cast<int>(n);
}

std::string WithoutGatewayTable(const std::string& text) {
  std::string out;
  std::istringstream in(text);
  std::string line;
  bool inGateway = false;
  bool first = true;
  while (std::getline(in, line)) {
    bool gatewayOne = false;
    if (IsHeader(line, &gatewayOne)) inGateway = gatewayOne;
    if (!first) out += '\n';
    first = false;
    if (!inGateway) out += line;
  }
  if (!text.empty() && text.back() == '\n') out += '\n';
  return out;
}

void ReadGatewayTable(const std::string& text, const std::string& path, Config* c,
                      std::vector<hall::Mistake>* mistakes) {
  toml::table root;
  try {
    root = toml::parse(text, path);
  } catch (const toml::parse_error&) {
    return;  // the hall reader names the fault
  }
  const toml::node* g = root.get("gateway");
  if (g == nullptr) return;
  const toml::table* t = g->as_table();
  if (t == nullptr) {
    Fail(mistakes, path, g->source(), "\"gateway\" must be a table");
    return;
  }
  for (auto&& entry : *t) {
    const toml::key& key = entry.first;
    const toml::node& value = entry.second;
    const std::string k(key.str());
    auto text = [&](std::string* into) {
      if (const auto* s = value.as_string()) {
        *into = s->get();
        return true;
      }
      Fail(mistakes, path, value.source(), "\"" + k + "\" must be a text");
      return false;
    };
    auto whole = [&](long long low, long long high, long long* into) {
      const auto* v = value.as_integer();
      if (v == nullptr || v->get() < low || v->get() > high) {
        Fail(mistakes, path, value.source(),
             "\"" + k + "\" must be a whole number from " + std::to_string(low) + " to " +
                 std::to_string(high));
        return false;
      }
      *into = v->get();
      return true;
    };
    std::string s;
    long long n = 0;
    if (k == "http") {
      if (text(&s) && !ParseHostPort(s, &c->httpHost, &c->httpPort)) {
        Fail(mistakes, path, value.source(), "\"http\" must be HOST:PORT");
      }
    } else if (k == "state") {
      if (text(&s)) c->stateDir = s;
    } else if (k == "mqtt") {
      std::string host;
      int port = 0;
      if (!text(&s)) continue;
      if (ParseMqttUrl(s, &host, &port)) {
        c->mqtt = s;
      } else {
        Fail(mistakes, path, value.source(), "\"mqtt\" must be mqtt://HOST[:PORT]");
      }
    } else if (k == "mqtt_base") {
      std::string why;
      if (!text(&s)) continue;
      if (ValidBase(s, &why)) {
        c->mqttBase = s;
      } else {
        Fail(mistakes, path, value.source(), why);
      }
    } else if (k == "token_file") {
      if (text(&s)) c->tokenFile = s;
    } else if (k == "queue") {
      if (whole(1, 100000, &n)) c->queue = static_cast<size_t>(n);
    } else if (k == "offline_after") {
      if (whole(1, 100, &n)) c->offlineAfter = static_cast<int>(n);
    } else if (k == "clock_every" || k == "retry_every") {
      int seconds = -1;
      if (const auto* v = value.as_integer()) {
        seconds = v->get() > 0 && v->get() <= 7 * 24 * 3600 ? static_cast<int>(v->get()) : -1;
      } else if (const auto* sv = value.as_string()) {
        seconds = ParseSeconds(sv->get());
      }
      if (seconds < 0) {
        Fail(mistakes, path, value.source(),
             "\"" + k + "\" must be a time such as 3600, \"90s\", \"30m\" or \"1h\"");
      } else {
        (k == "clock_every" ? c->clockEverySec : c->retryEverySec) = seconds;
      }
    } else if (k == "refuse_when_offline") {
      const auto* list = value.as_array();
      if (list == nullptr) {
        Fail(mistakes, path, value.source(), "\"refuse_when_offline\" must be a list of sign names");
        continue;
      }
      for (const toml::node& item : *list) {
        if (const auto* name = item.as_string()) {
          c->refuseWhenOffline.insert(name->get());
        } else {
          Fail(mistakes, path, item.source(), "each sign of \"refuse_when_offline\" must be a text");
        }
      }
    } else if (k == "http_threads") {
      if (whole(1, 256, &n)) c->httpThreads = static_cast<int>(n);
    } else if (k == "http_waiting") {
      if (whole(0, 4096, &n)) c->httpWaiting = static_cast<int>(n);
    } else if (k == "wait_ms") {
      if (whole(100, 600000, &n)) c->waitCapMs = static_cast<int>(n);
    } else {
      Fail(mistakes, path, key.source(), "unknown key \"" + k + "\" in [gateway]");
    }
  }
}

std::unique_ptr<hall::HallFile> LoadHall(const std::string& path, Config* config,
                                         std::vector<hall::Mistake>* mistakes) {
  constexpr size_t kLargest = 4 << 20;
  std::ifstream in(path, std::ios::binary);
  std::string text;
  if (in) {
    std::ostringstream all;
    all << in.rdbuf();
    text = all.str();
  }
  if (!in || text.size() > kLargest) {
    hall::Mistake m{path, 0, 0,
                    text.size() > kLargest ? "cannot read the file: larger than 4 MiB"
                                           : std::string("cannot read the file: ") + std::strerror(errno)};
    m.unreadable = true;
    *mistakes = {m};
    return nullptr;
  }
  std::vector<hall::Mistake> found;
  std::unique_ptr<hall::HallFile> file = hall::ParseHallFile(WithoutGatewayTable(text), path, &found);
  ReadGatewayTable(text, path, config, &found);
  if (file) {
    for (const std::string& name : config->refuseWhenOffline) {
      if (file->FindSign(name) == nullptr) {
        found.push_back({path, 0, 0, "refuse_when_offline names sign \"" + name +
                                         "\", which the hall does not have"});
      }
    }
  }
  std::stable_sort(found.begin(), found.end(), [](const hall::Mistake& a, const hall::Mistake& b) {
    return a.line != b.line ? a.line < b.line : a.column < b.column;
  });
  *mistakes = found;
  if (!found.empty()) return nullptr;
  return file;
}

bool ApplyEnvironment(Config* c, std::string* why, const Lookup& lookup) {
  auto get = [&](const char* name) -> const char* {
    const char* v = lookup ? lookup(name) : std::getenv(name);
    return v && *v ? v : nullptr;
  };
  auto number = [&](const char* name, long low, long high, long* into) {
    const char* v = get(name);
    if (v == nullptr) return true;
    if (!AllDigits(v) || std::strtol(v, nullptr, 10) < low || std::strtol(v, nullptr, 10) > high) {
      *why = std::string(name) + " must be a whole number from " + std::to_string(low) + " to " +
             std::to_string(high);
      return false;
    }
    *into = std::strtol(v, nullptr, 10);
    return true;
  };
  if (const char* v = get("VEXA_GATEWAY_HTTP")) {
    if (!ParseHostPort(v, &c->httpHost, &c->httpPort)) {
      *why = "VEXA_GATEWAY_HTTP must be HOST:PORT";
      return false;
    }
  }
  if (const char* v = get("VEXA_GATEWAY_STATE")) c->stateDir = v;
  if (const char* v = get("VEXA_GATEWAY_MQTT")) {
    std::string host;
    int port = 0;
    if (!ParseMqttUrl(v, &host, &port)) {
      *why = "VEXA_GATEWAY_MQTT must be mqtt://HOST[:PORT]";
      return false;
    }
    c->mqtt = v;
  }
  if (const char* v = get("VEXA_GATEWAY_MQTT_BASE")) {
    if (!ValidBase(v, why)) return false;
    c->mqttBase = v;
  }
  if (const char* v = get("VEXA_GATEWAY_TOKEN_FILE")) c->tokenFile = v;
  if (const char* v = get("VEXA_GATEWAY_TOKEN")) c->token = v;
  long n = -1;
  if (!number("VEXA_GATEWAY_QUEUE", 1, 100000, &n)) return false;
  if (n > 0) c->queue = static_cast<size_t>(n);
  n = -1;
  if (!number("VEXA_GATEWAY_OFFLINE_AFTER", 1, 100, &n)) return false;
  if (n > 0) c->offlineAfter = static_cast<int>(n);
  for (const char* name : {"VEXA_GATEWAY_CLOCK_EVERY", "VEXA_GATEWAY_RETRY_EVERY"}) {
    if (const char* v = get(name)) {
      const int seconds = ParseSeconds(v);
      if (seconds < 0) {
        *why = std::string(name) + " must be a time such as 3600, 90s, 30m or 1h";
        return false;
      }
      (std::strcmp(name, "VEXA_GATEWAY_CLOCK_EVERY") == 0 ? c->clockEverySec : c->retryEverySec) =
          seconds;
    }
  }
  return true;
}

bool ResolveToken(Config* c, std::string* why) {
  if (c->token.empty() && !c->tokenFile.empty()) {
    std::ifstream in(c->tokenFile);
    if (!in) {
      *why = "cannot read the token file " + c->tokenFile + ": " + std::strerror(errno);
      return false;
    }
    std::string line;
    std::getline(in, line);
    c->token = Trim(line);
  }
  if (c->token.empty()) {
    *why = "no token for writes: name a token_file in [gateway], or set VEXA_GATEWAY_TOKEN or "
           "VEXA_GATEWAY_TOKEN_FILE";
    return false;
  }
  return true;
}

}  // namespace gateway
