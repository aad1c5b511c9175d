// What turns an HTTP body into commands for the gateway: the JSON parser,
// every argument's checks and the GBK encoding of texts, for a call and for
// each command. The first byte picks the request; the rest is the body.
// A request that is accepted must hold only what the signs can take; one
// that is refused must say why, with a 4xx status.
#include <cstdint>
#include <cstdlib>
#include <memory>
#include <string>

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

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size == 0) return 0;
  const hall::HallFile& hall = TheHall();
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
