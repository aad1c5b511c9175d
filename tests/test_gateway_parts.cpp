// The gateway's parts without HTTP: what a body becomes (arguments, their
// defaults, the place a newer command replaces, the signs that take it),
// the order of a call's commands, the store across a restart, a sign's
// health, the metrics' text, and a sign that dials in.
#include <gtest/gtest.h>

#include <filesystem>

#include "LoginDialer.h"
#include "ProcessStats.h"
#include "SimFixture.h"
#include "gateway/Gateway.h"
#include "gateway/Health.h"
#include "gateway/Metrics.h"
#include "gateway/Request.h"
#include "gateway/Store.h"

namespace {

using nlohmann::json;

// A networked sign with a page set, a bar screen and a bus sign on one line.
std::unique_ptr<hall::HallFile> TestHall() {
  std::vector<hall::Mistake> mistakes;
  auto file = hall::ParseHallFile(
      "[[sign]]\nname = \"main\"\ntransport = \"udp\"\naddress = \"127.0.0.1\"\nwidth = 64\nheight = 16\n"
      "speaks = true\n[[sign.page]]\n[[sign.page.area]]\nwidth = 64\nheight = 16\n"
      "[[sign.page.area.material]]\nkind = \"data\"\nfield = 1\n"
      "[[sign]]\nname = \"plain\"\ntransport = \"tcp\"\naddress = \"127.0.0.2\"\nwidth = 64\nheight = 16\n"
      "[[sign]]\nname = \"bar1\"\ntransport = \"serial\"\nport = 1\nbar = true\nbar_address = 1\n"
      "[[sign]]\nname = \"line\"\ntransport = \"serial\"\nport = 1\nbus = \"5\"\nwidth = 64\nheight = 16\n"
      "speaks = true\n"
      "[[counter]]\nnumber = 4\nbar = { sign = \"bar1\" }\ndata = [{ sign = \"line\", field = 2 }, { sign = \"plain\", field = 3 }]\n"
      "lineup = { sign = \"main\", field = 1 }\n",
      "test.toml", &mistakes);
  EXPECT_TRUE(file) << (mistakes.empty() ? "" : mistakes[0].Text());
  return file;
}

TEST(GatewayRequest, BodiesBecomeCheckedArgumentsWithTheirPlace) {
  auto hall = TestHall();
  struct Case {
    const char* sign;
    const char* command;
    const char* body;
    const char* args;  // as stored, defaults filled in
    const char* place;
    const char* show;
  } cases[] = {
      {"main", "play", R"({"page":3})", R"({"page":3})", "", ""},
      {"main", "start", "", "{}", "", ""},
      {"main", "bright", R"({"value1":0,"value2":255})", R"({"value1":0,"value2":255})", "bright", ""},
      {"line", "relay", R"({"relay":8,"action":"pulse","units":16})",
       R"({"action":"pulse","relay":8,"units":16})", "", ""},
      {"main", "clock", "  ", "{}", "clock", ""},
      {"main", "text", R"({"text":"Hi"})", R"({"colour":"red","id":1,"text":"Hi"})", "text:1", "text:1"},
      {"line", "data", R"({"field":2,"text":"中","colour":"green"})",
       R"({"colour":"green","field":2,"text":"中"})", "data:2", "data:2"},
      {"plain", "coord", R"({"x":0,"y":16,"text":"A"})", R"({"colour":"red","text":"A","x":0,"y":16})",
       "coord:0,16", "coord:0,16"},
      {"main", "voice", R"({"text":"hello"})", R"({"m_tag":0,"sound":0,"text":"hello","voice_tag":-1})", "", ""},
      {"main", "lineup", R"({"slot":2,"text":"A1"})",
       R"({"bracketed":false,"kind":1,"slot":2,"text":"A1","unit":1})", "", "lineup:2"},
      {"bar1", "bar", R"({"text":"A1"})", R"({"colour":"red","text":"A1"})", "", "bar"},
      {"main", "upload", "{}", "{}", "upload", ""},
  };
  for (const Case& c : cases) {
    gateway::Job job;
    gateway::Refusal why;
    ASSERT_TRUE(gateway::MakeJob(*hall, c.sign, c.command, c.body, &job, &why)) << c.command << ": " << why.error;
    EXPECT_EQ(job.args, json::parse(c.args)) << c.command;
    EXPECT_EQ(job.place, c.place) << c.command;
    EXPECT_EQ(job.show, c.show) << c.command;
  }
  // Signs that do not take a command, and limits of the arguments.
  struct Refused {
    const char* sign;
    const char* command;
    std::string body;
    int status;
    const char* field;
  } refused[] = {
      {"main", "bar", R"({"text":"A"})", 400, "command"},
      {"bar1", "data", R"({"field":1,"text":"A"})", 400, "command"},
      {"line", "coord", R"({"x":0,"y":0,"text":"A"})", 400, "command"},
      {"plain", "upload", "", 400, "command"},
      {"main", "relay", R"({"relay":0,"action":"on"})", 400, "relay"},
      {"main", "relay", R"({"relay":1,"action":"on","units":3})", 400, "units"},
      {"main", "play", R"({"page":-1})", 400, "page"},
      {"main", "play", R"({"page":18446744073709551615})", 400, "page"},
      {"main", "play", R"({"page":1.5})", 400, "page"},
      {"main", "lineup", R"({"slot":1,"text":"A","bracketed":1})", 400, "bracketed"},
      {"main", "text", R"({"text":")" + std::string(1025, 'x') + R"("})", 400, "text"},
      {"main", "text", R"({"text":"a\u0000b"})", 400, "text"},
      {"main", "text", R"({"text":"\ud83d\ude00"})", 422, "text"},
      {"main", "data", R"({"field":1})", 400, "text"},
  };
  for (const Refused& r : refused) {
    gateway::Job job;
    gateway::Refusal why;
    EXPECT_FALSE(gateway::MakeJob(*hall, r.sign, r.command, r.body, &job, &why)) << r.command << " " << r.body;
    EXPECT_EQ(why.status, r.status) << r.command << " " << r.body.substr(0, 40);
    EXPECT_EQ(why.field, r.field) << r.command << " " << r.body.substr(0, 40);
  }
}

TEST(GatewayRequest, ACallIsLineUpThenDataThenBarThenTheWords) {
  auto hall = TestHall();
  std::string ticket;
  int counter = 0;
  std::vector<gateway::Job> jobs;
  gateway::Refusal why;
  ASSERT_TRUE(gateway::MakeCall(*hall, R"({"ticket":"B07","counter":4})", &ticket, &counter, &jobs, &why));
  std::vector<std::string> got;
  for (const gateway::Job& j : jobs) got.push_back(j.sign + " " + j.command + " " + j.show + " " + j.place);
  EXPECT_EQ(got, (std::vector<std::string>{"main lineup lineup:1 ", "line data data:2 ", "plain data data:3 ",
                                           "bar1 bar bar ", "main announce  ", "line announce  "}));
  EXPECT_EQ(jobs[1].args, json::parse(R"({"colour":"red","field":2,"text":"B07"})"));
  EXPECT_EQ(jobs[4].args, json::parse(R"({"counter":4,"ticket":"B07"})"));
  EXPECT_FALSE(gateway::MakeCall(*hall, R"({"ticket":"","counter":4})", &ticket, &counter, &jobs, &why));
  EXPECT_EQ(why.field, "ticket");
  EXPECT_FALSE(gateway::MakeCall(*hall, R"({"ticket":"B","counter":"4"})", &ticket, &counter, &jobs, &why));
  EXPECT_EQ(why.field, "counter");
}

TEST(GatewayStore, AcceptedJobsOutliveTheProcessAndDeliveredOnesLeave) {
  const std::string dir = std::string(::testing::TempDir()) + "gateway-store-" + std::to_string(::getpid());
  std::filesystem::remove_all(dir);
  std::string why;
  {
    auto store = gateway::Store::Open(dir, &why);
    ASSERT_TRUE(store) << why;
    auto hall = TestHall();
    std::vector<gateway::Job> jobs(2);
    gateway::Refusal refusal;
    ASSERT_TRUE(gateway::MakeJob(*hall, "line", "data", R"({"field":2,"text":"one"})", &jobs[0], &refusal));
    ASSERT_TRUE(gateway::MakeJob(*hall, "main", "start", "", &jobs[1], &refusal));
    gateway::RequestRecord r;
    r.asked = {{"what", "two jobs"}};
    r.results = json::array({{{"state", "queued"}}, {{"state", "queued"}}});
    ASSERT_TRUE(store->Accept(&r, &jobs, {}, nullptr));
    EXPECT_EQ(r.results[0]["job"], jobs[0].id);
    EXPECT_EQ(r.results[1]["job"], jobs[1].id);
    // The first is delivered; the process then ends without more.
    r.results[0]["state"] = "done";
    ASSERT_TRUE(store->Complete(jobs[0].id, r));
  }
  auto again = gateway::Store::Open(dir, &why);
  ASSERT_TRUE(again) << why;
  const std::vector<gateway::Job> pending = again->Pending();
  ASSERT_EQ(pending.size(), 1u);
  EXPECT_EQ(pending[0].sign, "main");
  EXPECT_EQ(pending[0].command, "start");
  const std::vector<gateway::RequestRecord> open = again->OpenRequests();
  ASSERT_EQ(open.size(), 1u);
  EXPECT_EQ(open[0].results[0]["state"], "done");
  EXPECT_EQ(open[0].results[1]["state"], "queued");
  const std::vector<gateway::Shown> shows = again->Shows();
  ASSERT_EQ(shows.size(), 1u);
  EXPECT_EQ(shows[0].sign + " " + shows[0].show + " " + shows[0].args["text"].get<std::string>(), "line data:2 one");
  again.reset();
  std::filesystem::remove_all(dir);
}

TEST(GatewayHealth, OfflineAfterThreeUnansweredOnlineAfterAnyAnswer) {
  using Change = gateway::Health::Change;
  struct Step {
    int result;
    Change change;
    gateway::Availability after;
  } steps[] = {
      {2, Change::kNone, gateway::Availability::kUnknown},     {0, Change::kCameOnline, gateway::Availability::kOnline},
      {2, Change::kNone, gateway::Availability::kOnline},      {1, Change::kNone, gateway::Availability::kOnline},
      {2, Change::kNone, gateway::Availability::kOnline},      {2, Change::kWentOffline, gateway::Availability::kOffline},
      {2, Change::kNone, gateway::Availability::kOffline},     {3, Change::kCameOnline, gateway::Availability::kOnline},
      {4, Change::kNone, gateway::Availability::kOnline},
  };
  gateway::Health h(3, std::chrono::seconds(3600), std::chrono::seconds(5));
  const auto t0 = gateway::Health::Clock::now();
  EXPECT_TRUE(h.ClockDue(t0));  // never set
  int i = 0;
  for (const Step& s : steps) {
    EXPECT_EQ(h.Record(s.result, t0), s.change) << "step " << i;
    EXPECT_EQ(h.availability(), s.after) << "step " << i;
    ++i;
  }
  h.ClockSet(t0);
  EXPECT_FALSE(h.ClockDue(t0 + std::chrono::seconds(3599)));
  EXPECT_TRUE(h.ClockDue(t0 + std::chrono::seconds(3600)));
  for (int k = 0; k < 3; ++k) h.Record(2, t0);
  EXPECT_FALSE(h.RetryDue(t0 + std::chrono::seconds(4)));
  EXPECT_TRUE(h.RetryDue(t0 + std::chrono::seconds(5)));
}

TEST(GatewayMetrics, TextHoldsCountersHistogramAndGauges) {
  gateway::Metrics m;
  m.Command("main", "data", 0, 0.003);
  m.Command("main", "data", 2, 0.7);
  m.Drop("main");
  m.Http(429);
  const std::string text = m.Text({{"main", 4, true}, {"door \"2\"", 0, false}});
  for (const char* line : {
           "vexa_gateway_commands_total{sign=\"main\",command=\"data\",result=\"0\"} 1\n",
           "vexa_gateway_commands_total{sign=\"main\",command=\"data\",result=\"2\"} 1\n",
           "vexa_gateway_command_seconds_bucket{command=\"data\",le=\"0.0025\"} 0\n",
           "vexa_gateway_command_seconds_bucket{command=\"data\",le=\"0.005\"} 1\n",
           "vexa_gateway_command_seconds_bucket{command=\"data\",le=\"0.5\"} 1\n",
           "vexa_gateway_command_seconds_bucket{command=\"data\",le=\"1\"} 2\n",
           "vexa_gateway_command_seconds_bucket{command=\"data\",le=\"+Inf\"} 2\n",
           "vexa_gateway_command_seconds_sum{command=\"data\"} 0.703\n",
           "vexa_gateway_command_seconds_count{command=\"data\"} 2\n",
           "vexa_gateway_queue_depth{sign=\"main\"} 4\n",
           "vexa_gateway_drops_total{sign=\"main\"} 1\n",
           "vexa_gateway_drops_total{sign=\"door \\\"2\\\"\"} 0\n",
           "vexa_sign_up{sign=\"main\"} 1\n",
           "vexa_sign_up{sign=\"door \\\"2\\\"\"} 0\n",
           "vexa_gateway_http_responses_total{status=\"429\"} 1\n",
       }) {
    EXPECT_NE(text.find(line), std::string::npos) << line;
  }
}

// A sign that dials in is online once it has logged in to the gateway's
// login server, and answers from there.
TEST(GatewayLogin, ASignThatDialsInIsOnlineOnceLoggedIn) {
  const char* portText = std::getenv("VEXA_TEST_LOGIN_PORT");
  if (portText == nullptr) GTEST_SKIP() << "run through ctest";
  const std::string a = vexasim::TestAddress();
  const std::string office = "127." + a.substr(a.rfind('.') + 1) + ".3.1";
  const std::string dir = std::string(::testing::TempDir()) + "gateway-login-" + std::to_string(::getpid());
  std::filesystem::remove_all(dir);
  std::vector<hall::Mistake> mistakes;
  auto file = hall::ParseHallFile(std::string("[hall]\ntimeout_ms = 200\nretries = 0\nlogin_port = ") + portText +
                                      "\n[[sign]]\nname = \"office\"\ntransport = \"login\"\naddress = \"" + office +
                                      "\"\nwidth = 64\nheight = 16\n",
                                  "login.toml", &mistakes);
  ASSERT_TRUE(file);
  gateway::Config config;
  config.retryEverySec = 1;
  config.token = "t";
  std::string why;
  auto store = gateway::Store::Open(dir, &why);
  ASSERT_TRUE(store) << why;
  gateway::Gateway g(std::move(file), config, std::move(store), nullptr);
  ASSERT_TRUE(g.Start(&why)) << why;
  auto availability = [&] { return g.Signs()[0]["availability"].get<std::string>(); };
  // Not logged in: its clock finds no controller, three times.
  ASSERT_TRUE(WaitUntil([&] { return availability() == "offline"; }));
  EXPECT_NE(g.Signs()[0]["last"]["reason"].get<std::string>().find("no controller logged in from " + office),
            std::string::npos);
  vexasim::LoginDialer dialer(office);
  ASSERT_TRUE(dialer.connect("127.0.0.1", std::atoi(portText)));
  ASSERT_TRUE(WaitUntil([&] { return availability() == "online"; }));
  ASSERT_TRUE(dialer.waitForFrames(1, 5000));
  EXPECT_EQ(dialer.frames()[0].name, "TimeCheck");
  const gateway::Outcome o = g.Command("office", "data", R"({"field":1,"text":"in"})", true);
  EXPECT_EQ(o.status, 200) << o.body.dump();
  EXPECT_EQ(o.body["results"][0]["result"], 0);
  g.Stop();
  std::filesystem::remove_all(dir);
}

}  // namespace
