// What turns an HTTP body into commands for the gateway: the JSON parser,
// every argument's checks and the GBK encoding of texts, for a call and for
// each command. The first byte picks the request; the rest is the body.
// A request that is accepted must hold only what the signs can take; one
// that is refused must say why, with a 4xx status.
//
// A first byte of 0xF0 or more makes it an MQTT message instead: the rest is
// the topic below the base "vexa/fuzz", a NUL, and the payload. The message
// is read as the MQTT front reads it (topic, size, the message's own id and
// reply_to) and its body then goes the way of an HTTP body.
#include <cstdint>
#include <cstdlib>
#include <memory>
#include <string>

#include "gateway/MqttMessage.h"
#include "gateway/Request.h"
#include "hall/HallFile.h"

namespace {

const hall::HallFile& TheHall() {
  static const std::unique_ptr<hall::HallFile> hall = [] {
    const char* text =
        "[[sign]]\nname = \"main\"\ntransport = \"udp\"\naddress = \"127.0.0.1\"\nwidth = 64\nheight = 16\n"
        "speaks = true\n[[sign.page]]\n[[sign.page.area]]\nwidth = 64\nheight = 16\n"
        "[[sign.page.area.material]]\nkind = \"data\"\nfield = 1\n"
        "[[sign]]\nname = \"bar1\"\ntransport = \"serial\"\nport = 1\nbar = true\nbar_address = 1\n"
        "[[sign]]\nname = \"line\"\ntransport = \"serial\"\nport = 2\nbus = \"5\"\nwidth = 64\nheight = 16\n"
        "[[counter]]\nnumber = 1\nlineup = { sign = \"main\", field = 1 }\nbar = { sign = \"bar1\" }\n"
        "data = { sign = \"line\", field = 2 }\n";
    std::vector<hall::Mistake> mistakes;
    auto file = hall::ParseHallFile(text, "fuzz.toml", &mistakes);
    if (!file) std::abort();
    return file;
  }();
  return *hall;
}

void Check(const gateway::Job& job) {
  // Every text of an accepted command has a GBK form within the bound.
  for (const char* key : {"text", "ticket"}) {
    if (!job.args.contains(key)) continue;
    const std::optional<std::string> gbk = hall::ToGbk(job.args[key].get<std::string>());
    if (!gbk || gbk->size() > gateway::kMaxText) std::abort();
  }
  if (job.sign.empty() || job.command.empty()) std::abort();
}

void Message(const hall::HallFile& hall, const std::string& rest) {
  static const gateway::HallTopics topics = [&] {
    gateway::HallTopics t;
    std::string why;
    if (!gateway::MakeHallTopics(hall, "vexa/fuzz", &t, &why)) std::abort();
    return t;
  }();
  const size_t nul = rest.find('\0');
  const std::string topic = "vexa/fuzz/" + rest.substr(0, nul);
  const std::string payload = nul == std::string::npos ? "" : rest.substr(nul + 1);
  gateway::Inbound in;
  gateway::Refusal why;
  if (!gateway::ReadInbound(topics, topic, payload, &in, &why)) {
    if (why.error.empty() || why.field.empty() || why.status < 400 || in.replyTo.empty()) std::abort();
    (void)gateway::ErrorReply(in, why, topic).dump(-1, ' ', false, nlohmann::json::error_handler_t::replace);
    return;
  }
  // The answers go to a topic one may publish to, never to the gateway's
  // own commands; the body is an object without the message's keys.
  if (in.replyTo.empty() || in.replyTo.size() > gateway::kMaxReplyTo ||
      in.replyTo.find_first_of("+#") != std::string::npos ||
      (in.replyTo.compare(0, 10, "vexa/fuzz/") == 0 && in.replyTo.compare(0, 16, "vexa/fuzz/result") != 0)) {
    std::abort();
  }
  const nlohmann::json body = nlohmann::json::parse(in.body, nullptr, false);
  if (!body.is_object() || body.contains("reply_to") || (body.contains("id") && in.command != "text")) std::abort();
  std::vector<gateway::Job> jobs;
  if (in.kind == gateway::Inbound::Kind::kCall) {
    std::string ticket;
    int counter = 0;
    if (gateway::MakeCall(hall, in.body, &ticket, &counter, &jobs, &why)) {
      for (const gateway::Job& j : jobs) Check(j);
    }
  } else {
    if (hall.FindSign(in.sign) == nullptr) std::abort();
    gateway::Job job;
    if (gateway::MakeJob(hall, in.sign, in.command, in.body, &job, &why)) Check(job);
  }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size == 0) return 0;
  const hall::HallFile& hall = TheHall();
  if (data[0] >= 0xF0) {
    Message(hall, std::string(reinterpret_cast<const char*>(data + 1), size - 1));
    return 0;
  }
  const std::string body(reinterpret_cast<const char*>(data + 1), size - 1);
  const std::vector<std::string>& commands = gateway::CommandNames();
  const size_t pick = data[0] % (commands.size() * 3 + 1);
  gateway::Refusal why;
  if (pick == commands.size() * 3) {
    std::string ticket;
    int counter = 0;
    std::vector<gateway::Job> jobs;
    if (gateway::MakeCall(hall, body, &ticket, &counter, &jobs, &why)) {
      if (ticket.empty() || ticket.size() > gateway::kMaxTicket || hall.FindCounter(counter) == nullptr) std::abort();
      for (const gateway::Job& j : jobs) Check(j);
    } else if (why.error.empty() || why.status < 400) {
      std::abort();
    }
    return 0;
  }
  static const char* kSigns[] = {"main", "bar1", "line"};
  gateway::Job job;
  if (gateway::MakeJob(hall, kSigns[pick % 3], commands[pick / 3], body, &job, &why)) {
    Check(job);
  } else if (why.error.empty() || why.status < 400) {
    std::abort();
  }
  (void)why.Json().dump();
  return 0;
}
