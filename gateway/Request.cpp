// Request bodies to jobs, and jobs to the library's calls.
#include "gateway/Request.h"

#include <map>

#include "SKYREL.h"
#include "hall/Hall.h"
#include "hall/SignCommands.h"

namespace gateway {

using nlohmann::json;

namespace {

// One argument a command takes.
struct Arg {
  const char* name;
  enum Type { kInt, kText, kBool, kChoice } type;
  long long low = 0, high = 0;       // kInt
  bool required = false;
  json fallback = nullptr;           // the value when left out (null: none)
  std::vector<std::string> choices;  // kChoice
};

// What a command takes and which signs take it.
struct Shape {
  std::vector<Arg> args;
  bool barOnly = false;      // only bar screens take it
  bool networkOnly = false;  // it has no serial form
};

const std::vector<std::string> kColours = {"red", "green", "yellow"};
const std::vector<std::string> kColourModes = {"red", "red-green", "full"};

Arg Int(const char* name, long long low, long long high, bool required, json fallback = nullptr) {
  return Arg{name, Arg::kInt, low, high, required, std::move(fallback), {}};
}
Arg Text(const char* name) { return Arg{name, Arg::kText, 0, 0, true, nullptr, {}}; }
Arg Choice(const char* name, std::vector<std::string> choices, json fallback, bool required = false) {
  return Arg{name, Arg::kChoice, 0, 0, required, std::move(fallback), std::move(choices)};
}
Arg Flag(const char* name) { return Arg{name, Arg::kBool, 0, 0, false, false, {}}; }

const std::map<std::string, Shape>& Shapes() {
  static const std::map<std::string, Shape>* shapes = new std::map<std::string, Shape>{
      {"play", {{Int("page", 0, 255, true)}}},
      {"start", {{}}},
      {"stop", {{}}},
      {"bright", {{Int("value1", 0, 255, true), Int("value2", 0, 255, true)}}},
      {"relay",
       {{Int("relay", 1, 8, true), Choice("action", {"on", "off", "pulse"}, nullptr, true),
         Int("units", 1, 16, false)}}},
      {"clock", {{}}},
      {"text",
       {{Text("text"), Int("width", 8, 8192, false), Int("height", 1, 4096, false),
         Int("id", 0, 999999999, false, 1), Choice("colour", kColours, "red"),
         Choice("colours", kColourModes, nullptr)}}},
      {"data", {{Int("field", 0, 255, true), Text("text"), Choice("colour", kColours, "red")}}},
      {"coord",
       {{Int("x", 0, 65535, true), Int("y", 0, 65535, true), Text("text"),
         Choice("colour", kColours, "red")},
        false,
        true}},
      {"voice",
       {{Text("text"), Int("voice_tag", 0, 99, false, -1), Int("sound", 1, 3, false, 0),
         Int("m_tag", 1, 2, false, 0)}}},
      {"lineup",
       {{Int("slot", 0, 255, true), Text("text"), Int("kind", 0, 255, false, 1),
         Int("unit", 0, 255, false, 1), Flag("bracketed")}}},
      {"bar", {{Text("text"), Choice("colour", kColours, "red")}, true}},
      {"upload", {{}, false, true}},
  };
  return *shapes;
}

int ColourCode(const json& args) {
  const std::string c = args.value("colour", "red");
  return c == "green" ? 2 : c == "yellow" ? 3 : 1;
}

std::string Gbk(const json& args, const char* key) {
  return hall::ToGbk(args.value(key, std::string())).value_or(std::string());
}

bool ParseObject(const std::string& body, json* out, Refusal* why) {
  if (body.size() > kMaxBody) {
    *why = {413, "body", "the body is larger than " + std::to_string(kMaxBody) + " bytes"};
    return false;
  }
  if (body.find_first_not_of(" \t\r\n") == std::string::npos) {
    *out = json::object();
    return true;
  }
  // Nesting is bounded by the body's size; the parser does not recurse per byte
  // beyond what 64 KiB allows.
  *out = json::parse(body, nullptr, false);
  if (out->is_discarded()) {
    *why = {400, "body", "the body is not JSON"};
    return false;
  }
  if (!out->is_object()) {
    *why = {400, "body", "the body must be a JSON object"};
    return false;
  }
  return true;
}

// A text argument in UTF-8 that GBK can hold, within kMaxText bytes.
bool CheckText(const std::string& name, const std::string& text, Refusal* why) {
  std::string bad;
  const std::optional<std::string> gbk = hall::ToGbk(text, &bad);
  if (!gbk) {
    *why = {422, name, "\"" + name + "\" has a character GBK cannot encode: " + bad};
    return false;
  }
  if (gbk->size() > kMaxText) {
    *why = {400, name, "\"" + name + "\" is longer than " + std::to_string(kMaxText) + " bytes in GBK"};
    return false;
  }
  if (gbk->find('\0') != std::string::npos) {
    *why = {400, name, "\"" + name + "\" holds a NUL character"};
    return false;
  }
  return true;
}

}  // namespace

json Refusal::Json() const { return json{{"error", error}, {"field", field}}; }

const std::vector<std::string>& CommandNames() {
  static const std::vector<std::string>* names = new std::vector<std::string>{
      "play", "start", "stop", "bright", "relay", "clock", "text",
      "data", "coord", "voice", "lineup", "bar",  "upload"};
  return *names;
}

bool MakeJob(const hall::HallFile& hall, const std::string& signName, const std::string& command,
             const std::string& body, Job* job, Refusal* why) {
  const hall::Sign* sign = hall.FindSign(signName);
  if (sign == nullptr) {
    *why = {404, "sign", "the hall has no sign \"" + signName + "\""};
    return false;
  }
  auto shape = Shapes().find(command);
  if (shape == Shapes().end()) {
    *why = {404, "command", "no command \"" + command + "\""};
    return false;
  }
  json in;
  if (!ParseObject(body, &in, why)) return false;
  json args = json::object();
  for (auto it = in.begin(); it != in.end(); ++it) {
    bool known = false;
    for (const Arg& a : shape->second.args) known = known || it.key() == a.name;
    if (!known) {
      *why = {400, it.key(), command + " takes no argument \"" + it.key() + "\""};
      return false;
    }
  }
  for (const Arg& a : shape->second.args) {
    auto it = in.find(a.name);
    if (it == in.end() || it->is_null()) {
      if (a.required) {
        *why = {400, a.name, command + " needs \"" + a.name + "\""};
        return false;
      }
      if (!a.fallback.is_null()) args[a.name] = a.fallback;
      continue;
    }
    switch (a.type) {
      case Arg::kInt:
        if (!it->is_number_integer()) {
          *why = {400, a.name, "\"" + std::string(a.name) + "\" must be a whole number"};
          return false;
        }
        // Non-negative numbers come as unsigned: compared as such, so that
        // one above the largest signed value is not taken as negative.
        if (it->is_number_unsigned()
                ? (it->get<unsigned long long>() > static_cast<unsigned long long>(a.high) ||
                   (a.low > 0 && it->get<unsigned long long>() < static_cast<unsigned long long>(a.low)))
                : (it->get<long long>() < a.low || it->get<long long>() > a.high)) {
          *why = {400, a.name,
                  "\"" + std::string(a.name) + "\" must be from " + std::to_string(a.low) + " to " +
                      std::to_string(a.high)};
          return false;
        }
        args[a.name] = it->get<long long>();
        break;
      case Arg::kBool:
        if (!it->is_boolean()) {
          *why = {400, a.name, "\"" + std::string(a.name) + "\" must be true or false"};
          return false;
        }
        args[a.name] = it->get<bool>();
        break;
      case Arg::kText:
        if (!it->is_string()) {
          *why = {400, a.name, "\"" + std::string(a.name) + "\" must be a text"};
          return false;
        }
        if (!CheckText(a.name, it->get<std::string>(), why)) return false;
        args[a.name] = it->get<std::string>();
        break;
      case Arg::kChoice: {
        std::string list;
        bool ok = false;
        for (const std::string& c : a.choices) {
          list += (list.empty() ? "" : ", ") + c;
          ok = ok || (it->is_string() && it->get<std::string>() == c);
        }
        if (!ok) {
          *why = {400, a.name, "\"" + std::string(a.name) + "\" must be one of " + list};
          return false;
        }
        args[a.name] = it->get<std::string>();
        break;
      }
    }
  }
  if (command == "relay") {
    const bool pulse = args["action"] == "pulse";
    if (pulse != args.contains("units")) {
      *why = {400, "units", pulse ? "relay pulse needs \"units\" (1 to 16)"
                                  : "only relay pulse takes \"units\""};
      return false;
    }
  }
  // Whether this sign takes the command.
  if (shape->second.barOnly != sign->bar) {
    *why = {400, "command", sign->bar ? "sign \"" + signName + "\" is a bar screen: it takes only bar"
                                      : "sign \"" + signName + "\" is no bar screen"};
    return false;
  }
  if (shape->second.networkOnly && !sign->networked()) {
    *why = {400, "command", command + " has no serial form (sign \"" + signName + "\" is on " +
                                sign->Where() + ")"};
    return false;
  }
  if (command == "upload" && sign->pages.empty()) {
    *why = {400, "command", "sign \"" + signName + "\" has no page set in the hall file"};
    return false;
  }
  Job j;
  j.sign = signName;
  j.command = command;
  j.args = std::move(args);
  const json& a = j.args;
  if (command == "text") {
    j.place = j.show = "text:" + std::to_string(a["id"].get<long long>());
  } else if (command == "data") {
    j.place = j.show = "data:" + std::to_string(a["field"].get<long long>());
  } else if (command == "coord") {
    j.place = j.show = "coord:" + std::to_string(a["x"].get<long long>()) + "," +
                       std::to_string(a["y"].get<long long>());
  } else if (command == "bright" || command == "clock" || command == "upload") {
    j.place = command;
  } else if (command == "lineup") {
    j.show = "lineup:" + std::to_string(a["slot"].get<long long>());
  } else if (command == "bar") {
    j.show = "bar";
  }
  *job = std::move(j);
  return true;
}

bool MakeCall(const hall::HallFile& hall, const std::string& body, std::string* ticket,
              int* counter, std::vector<Job>* jobs, Refusal* why) {
  json in;
  if (!ParseObject(body, &in, why)) return false;
  for (auto it = in.begin(); it != in.end(); ++it) {
    if (it.key() != "ticket" && it.key() != "counter") {
      *why = {400, it.key(), "a call takes no argument \"" + it.key() + "\""};
      return false;
    }
  }
  auto t = in.find("ticket");
  if (t == in.end() || !t->is_string() || t->get<std::string>().empty()) {
    *why = {400, "ticket", "a call needs \"ticket\", a text that is not empty"};
    return false;
  }
  if (t->get<std::string>().size() > kMaxTicket) {
    *why = {400, "ticket", "\"ticket\" is longer than " + std::to_string(kMaxTicket) + " bytes"};
    return false;
  }
  auto c = in.find("counter");
  if (c == in.end() || !c->is_number_integer()) {
    *why = {400, "counter", "a call needs \"counter\", a whole number"};
    return false;
  }
  if (c->is_number_unsigned() ? c->get<unsigned long long>() > 9999
                              : (c->get<long long>() < 0 || c->get<long long>() > 9999)) {
    *why = {400, "counter", "\"counter\" must be from 0 to 9999"};
    return false;
  }
  const std::string tk = t->get<std::string>();
  const int number = static_cast<int>(c->get<long long>());
  const hall::Counter* ct = hall.FindCounter(number);
  if (ct == nullptr) {
    *why = {404, "counter", "the hall has no counter " + std::to_string(number)};
    return false;
  }
  if (!CheckText("ticket", tk, why)) return false;
  std::string mistake;
  if (!hall.announcement.For(tk, number, &mistake)) {
    *why = {422, "ticket", mistake};
    return false;
  }
  std::vector<Job> out;
  const hall::Display::Kind steps[] = {hall::Display::Kind::kLineUp, hall::Display::Kind::kData,
                                       hall::Display::Kind::kBar};
  for (hall::Display::Kind step : steps) {
    for (const hall::Display& d : ct->displays) {
      if (d.kind != step || hall.FindSign(d.sign) == nullptr) continue;
      Job j;
      j.sign = d.sign;
      if (step == hall::Display::Kind::kLineUp) {
        j.command = "lineup";
        j.args = {{"slot", d.field}, {"text", tk}, {"kind", 1}, {"unit", 1}, {"bracketed", false}};
        j.show = "lineup:" + std::to_string(d.field);
      } else if (step == hall::Display::Kind::kData) {
        j.command = "data";
        j.args = {{"field", d.field}, {"text", tk}, {"colour", "red"}};
        j.show = "data:" + std::to_string(d.field);
      } else {
        j.command = "bar";
        j.args = {{"text", tk}, {"colour", "red"}};
        j.show = "bar";
      }
      out.push_back(std::move(j));
    }
  }
  for (const hall::Sign& s : hall.signs) {
    if (!s.speaks || s.bar) continue;
    Job j;
    j.sign = s.name;
    j.command = "announce";
    j.args = {{"ticket", tk}, {"counter", number}};
    out.push_back(std::move(j));
  }
  *ticket = tk;
  *counter = number;
  *jobs = std::move(out);
  return true;
}

int Execute(const hall::HallFile& hall, const hall::Sign& s, const Job& job) {
  const json& a = job.args;
  auto num = [&](const char* key, int fallback = 0) {
    return static_cast<int>(a.value(key, static_cast<long long>(fallback)));
  };
  // The arguments by their names in the request; a command reads its own.
  hall::Arguments args;
  args.page = num("page", 1);
  args.value1 = num("value1");
  args.value2 = num("value2");
  args.relay = num("relay", 1);
  args.action = a.value("action", std::string("on"));
  args.units = num("units", 1);
  args.text = Gbk(a, "text");
  args.width = num("width");
  args.height = num("height");
  args.materialId = num("id");
  const std::string cm = a.value("colours", std::string());
  args.colourMode = cm == "red" ? 0 : cm == "red-green" ? 1 : cm == "full" ? 2 : -1;
  args.colour = ColourCode(a);
  args.field = num("field");
  args.x = num("x");
  args.y = num("y");
  args.slot = num("slot", 1);
  args.lineKind = num("kind", 1);
  args.unitAddress = num("unit", 1);
  args.bracketed = a.value("bracketed", false);
  args.voiceTag = num("voice_tag", -1);
  args.sound = num("sound");
  args.mTag = num("m_tag");
  std::string command = job.command;
  if (command == "announce") {
    // A call's announcement: the hall's words and tags for its ticket.
    const hall::Announcement& an = hall.announcement;
    args.text = an.For(a.value("ticket", std::string()), num("counter"), nullptr).value_or("");
    args.voiceTag = an.voiceTag;
    args.sound = an.sound;
    args.mTag = an.mTag;
    command = "voice";
  }
  if (command == "voice" && args.text.empty()) return 1;
  return hall::Execute(s, command, args);  // upload goes through the hall (Hall::Upload)
}

}  // namespace gateway
