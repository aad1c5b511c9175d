// vexa-gateway against emulated signs: a call over HTTP reaches every sign
// of its counter in order; refused requests send nothing; a silent sign goes
// offline and, back, gets its clock and fields; a full queue refuses and
// counts; a gateway killed with SIGKILL delivers what it had accepted; a
// stop right after the start ends it.
#include <gtest/gtest.h>
#include <httplib.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <fcntl.h>

#include <cstdio>
#include <filesystem>
#include <fstream>
#include <map>

#include "GatewaySigns.h"
#include "ProcessStats.h"
#include "SimFixture.h"
#include "VexaSim.h"
#include "gateway/Config.h"
#include "gateway/Gateway.h"
#include "gateway/HttpFront.h"

namespace {

using nlohmann::json;

// The suite's signs: 127.N.2.k for the suite's address 127.0.0.N.
std::string SignAddress(int k) { return gatewaytest::SignAddress(2, k); }
std::string TempDir() { return gatewaytest::TempDir("vexa-gateway-test"); }
using gatewaytest::Write;
using gatewaytest::Seen;

void RemoveAll(const std::string& dir) {
  if (!dir.empty()) std::filesystem::remove_all(dir);
}

// main (speaks, line-up fields), entrance (data fields)
// and dark (nobody there; the hall says not to queue for it).
std::string HallText(const std::string& dir, const std::string& extra = "") {
  return "[gateway]\ntoken_file = \"" + dir + "/token\"\nretry_every = \"1s\"\n" + extra +
         "refuse_when_offline = [\"dark\"]\n\n"
         "[hall]\ntimeout_ms = 200\nretries = 0\n\n"
         "[announcement]\ntext = \"Ticket {ticket}, counter {counter}\"\n\n"
         "[[sign]]\nname = \"main\"\ntransport = \"udp\"\naddress = \"" + SignAddress(1) +
         "\"\nwidth = 64\nheight = 16\nspeaks = true\n\n"
         "[[sign]]\nname = \"entrance\"\ntransport = \"udp\"\naddress = \"" + SignAddress(2) +
         "\"\nwidth = 64\nheight = 16\n\n"
         "[[sign]]\nname = \"dark\"\ntransport = \"udp\"\naddress = \"" + SignAddress(3) +
         "\"\nwidth = 64\nheight = 16\n\n"
         "[[counter]]\nnumber = 1\nlineup = { sign = \"main\", field = 1 }\n"
         "data = { sign = \"entrance\", field = 1 }\n\n"
         "[[counter]]\nnumber = 2\ndata = { sign = \"entrance\", field = 2 }\n";
}

class GatewayTest : public ::testing::Test {
 protected:
  static void SetUpTestSuite() { sims_.Start(2, 2); }
  static void TearDownTestSuite() { sims_.Stop(); }

  void SetUp() override {
    sims_.Reset();
    dir_ = TempDir();
    Write(dir_ + "/token", "s3cret\n");
  }
  void TearDown() override {
    front_.reset();
    gateway_.reset();
    if (log_) std::fclose(log_);
    RemoveAll(dir_);
  }

  // Starts the gateway in-process on a port the system picks.
  void StartGateway(const std::string& extra = "") {
    Write(dir_ + "/hall.toml", HallText(dir_, extra));
    gateway::Config config;
    std::vector<hall::Mistake> mistakes;
    auto file = gateway::LoadHall(dir_ + "/hall.toml", &config, &mistakes);
    ASSERT_TRUE(file) << (mistakes.empty() ? "" : mistakes[0].Text());
    config.httpPort = 0;
    std::string why;
    ASSERT_TRUE(gateway::ResolveToken(&config, &why)) << why;
    auto store = gateway::Store::Open(dir_ + "/state", &why);
    ASSERT_TRUE(store) << why;
    log_ = std::fopen((dir_ + "/log").c_str(), "w+");
    gateway_ = std::make_unique<gateway::Gateway>(std::move(file), config, std::move(store), log_);
    ASSERT_TRUE(gateway_->Start(&why)) << why;
    front_ = std::make_unique<gateway::HttpFront>(gateway_.get());
    ASSERT_TRUE(front_->Start(&why)) << why;
    client_ = std::make_unique<httplib::Client>("127.0.0.1", front_->port());
    client_->set_read_timeout(30, 0);
    // Both emulated signs have had their clock and are online.
    ASSERT_TRUE(WaitUntil([&] { return Availability("main") == "online" && Availability("entrance") == "online"; }));
    sims_.Clear();
  }

  std::string TailOfLog() {
    std::fflush(log_);
    std::ifstream log(dir_ + "/log");
    const std::string all((std::istreambuf_iterator<char>(log)), std::istreambuf_iterator<char>());
    return all.substr(all.size() > 3000 ? all.size() - 3000 : 0);
  }

  std::string Availability(const std::string& sign) {
    for (const json& s : gateway_->Signs()) {
      if (s["name"] == sign) return s["availability"];
    }
    return "";
  }
  json SignJson(const std::string& sign) {
    for (const json& s : gateway_->Signs()) {
      if (s["name"] == sign) return s;
    }
    return nullptr;
  }

  // A POST with the token (or the given Authorization); status and body.
  std::pair<int, json> Post(const std::string& path, const std::string& body,
                            const std::string& auth = "Bearer s3cret") {
    httplib::Headers h;
    if (!auth.empty()) h.emplace("Authorization", auth);
    auto r = client_->Post(path.c_str(), h, body, "application/json");
    if (!r) return {-1, nullptr};
    return {r->status, json::parse(r->body, nullptr, false)};
  }

  static gatewaytest::Signs sims_;
  std::string dir_;
  std::FILE* log_ = nullptr;
  std::unique_ptr<gateway::Gateway> gateway_;
  std::unique_ptr<gateway::HttpFront> front_;
  std::unique_ptr<httplib::Client> client_;
};

gatewaytest::Signs GatewayTest::sims_;

TEST_F(GatewayTest, CallReachesEverySignOfTheCounterInOrder) {
  StartGateway();
  auto [status, body] = Post("/v1/call", R"({"ticket":"A012","counter":1})");
  ASSERT_EQ(status, 200) << body.dump();
  EXPECT_EQ(body["state"], "done");
  EXPECT_EQ(body["ok"], true);
  ASSERT_EQ(body["results"].size(), 3u);
  const char* expected[][2] = {{"main", "lineup"}, {"entrance", "data"}, {"main", "announce"}};
  for (size_t i = 0; i < 3; ++i) {
    EXPECT_EQ(body["results"][i]["sign"], expected[i][0]);
    EXPECT_EQ(body["results"][i]["command"], expected[i][1]);
    EXPECT_EQ(body["results"][i]["result"], 0);
  }
  EXPECT_EQ(Post("/v1/call?wait=false", R"({"ticket":"A013","counter":1})").first, 202);
  EXPECT_EQ(Post("/v1/call", R"({"ticket":"A014","counter":1})").first, 200);
  ASSERT_TRUE(WaitUntil([&] { return sims_[1]->frames().size() >= 6 && sims_[2]->frames().size() >= 3; }));
  EXPECT_EQ(Seen(*sims_[1]), (std::vector<std::string>{
                                 "LineUp 1 A012", "PlayVoice Ticket A 0 1 2, counter 1",
                                 "LineUp 1 A013", "PlayVoice Ticket A 0 1 3, counter 1",
                                 "LineUp 1 A014", "PlayVoice Ticket A 0 1 4, counter 1"}));
  EXPECT_EQ(Seen(*sims_[2]),
            (std::vector<std::string>{"CollectedData 1 A012", "CollectedData 1 A013", "CollectedData 1 A014"}));

  // What the signs show now, the counters and the log line of a command.
  const json entrance = SignJson("entrance");
  EXPECT_EQ(entrance["shows"]["data:1"]["args"]["text"], "A014");
  EXPECT_EQ(entrance["queued"], 0);
  const std::string metrics = gateway_->MetricsText();
  EXPECT_NE(metrics.find("vexa_gateway_commands_total{sign=\"entrance\",command=\"data\",result=\"0\"} 3\n"),
            std::string::npos);
  EXPECT_NE(metrics.find("vexa_sign_up{sign=\"main\"} 1\n"), std::string::npos);
  EXPECT_NE(metrics.find("vexa_gateway_command_seconds_count{command=\"lineup\"} 3\n"), std::string::npos);
  std::fflush(log_);
  std::ifstream log(dir_ + "/log");
  const std::string all((std::istreambuf_iterator<char>(log)), std::istreambuf_iterator<char>());
  EXPECT_NE(all.find("sign=entrance command=data result=0 reason=\"\" ms="), std::string::npos) << all;
}

TEST_F(GatewayTest, EveryRefusedRequestAnswersItsStatusAndSendsNothing) {
  StartGateway();
  ASSERT_TRUE(WaitUntil([&] { return Availability("dark") == "offline"; }));
  const std::string big = "{\"text\":\"" + std::string(70000, 'x') + "\",\"field\":1}";
  struct Case {
    const char* path;
    std::string body;
    const char* auth;
    int status;
    const char* field;
  } cases[] = {
      {"/v1/call", R"({"ticket":"A1","counter":1})", "", 401, "Authorization"},
      {"/v1/call", R"({"ticket":"A1","counter":1})", "Bearer wrong!", 401, "Authorization"},
      {"/v1/call", R"({"ticket":"A1","counter":)", "Bearer s3cret", 400, "body"},
      {"/v1/call", R"(["A1",1])", "Bearer s3cret", 400, "body"},
      {"/v1/call", R"({"ticket":"A1"})", "Bearer s3cret", 400, "counter"},
      {"/v1/call", R"({"ticket":"A1","counter":10000})", "Bearer s3cret", 400, "counter"},
      {"/v1/call", R"({"ticket":"A1","counter":1,"loud":true})", "Bearer s3cret", 400, "loud"},
      {"/v1/call", R"({"ticket":"A1","counter":7})", "Bearer s3cret", 404, "counter"},
      {"/v1/call", R"({"ticket":"A😀1","counter":1})", "Bearer s3cret", 422, "ticket"},
      {"/v1/signs/main/play", R"({"page":256})", "Bearer s3cret", 400, "page"},
      {"/v1/signs/main/play", R"({"page":"1"})", "Bearer s3cret", 400, "page"},
      {"/v1/signs/main/relay", R"({"relay":1,"action":"pulse"})", "Bearer s3cret", 400, "units"},
      {"/v1/signs/main/text", R"({"text":"x","colour":"blue"})", "Bearer s3cret", 400, "colour"},
      {"/v1/signs/nowhere/start", "", "Bearer s3cret", 404, "sign"},
      {"/v1/signs/main/dance", "", "Bearer s3cret", 404, "command"},
      {"/v1/signs/entrance/data", big, "Bearer s3cret", 413, "body"},
      {"/v1/signs/entrance/data", R"({"field":1,"text":"5 😀"})", "Bearer s3cret", 422, "text"},
      {"/v1/signs/dark/start", "", "Bearer s3cret", 503, "sign"},
  };
  for (const Case& c : cases) {
    auto [status, body] = Post(c.path, c.body, c.auth);
    EXPECT_EQ(status, c.status) << c.path << " " << c.body.substr(0, 60);
    EXPECT_EQ(body.value("field", "?"), c.field) << c.path << " " << body.dump();
  }
  auto [status, body] = Post("/v1/signs/entrance/data", R"({"field":1,"text":"5 😀"})");
  EXPECT_NE(body.value("error", "").find("U+1F600"), std::string::npos) << body.dump();
  // A probe to each sign: had anything gone out before, it would come first.
  EXPECT_EQ(Post("/v1/signs/main/start", "").first, 200);
  EXPECT_EQ(Post("/v1/signs/entrance/stop", "").first, 200);
  EXPECT_EQ(Seen(*sims_[1]), std::vector<std::string>{"StartPlay"});
  EXPECT_EQ(Seen(*sims_[2]), std::vector<std::string>{"StopPlay"});
  // Reads need no token.
  EXPECT_EQ(client_->Get("/health")->status, 200);
  EXPECT_EQ(client_->Get("/metrics")->status, 200);
  auto openapi = json::parse(client_->Get("/openapi.json")->body);
  EXPECT_TRUE(openapi["paths"].contains("/v1/signs/{name}/{command}"));
}

TEST_F(GatewayTest, SilentSignGoesOfflineAndBackGetsItsClockAndFields) {
  StartGateway();
  ASSERT_EQ(Post("/v1/signs/entrance/data", R"({"field":1,"text":"X1"})").first, 200);
  sims_[2]->setReplyMode(vexasim::ReplyMode::Silent);
  sims_[2]->clear();
  auto [status, first] = Post("/v1/signs/entrance/data?wait=false", R"({"field":2,"text":"X2"})");
  ASSERT_EQ(status, 202);
  ASSERT_TRUE(WaitUntil([&] { return Availability("entrance") == "offline"; }));
  EXPECT_EQ(SignJson("entrance")["failures_in_row"], 3);
  EXPECT_EQ(Seen(*sims_[2]), std::vector<std::string>(3, "CollectedData 2 X2"));
  EXPECT_NE(gateway_->MetricsText().find("vexa_sign_up{sign=\"entrance\"} 0\n"), std::string::npos);
  // A newer text of the same field replaces the one waiting.
  auto [status2, second] = Post("/v1/signs/entrance/data?wait=false", R"({"field":2,"text":"X3"})");
  ASSERT_EQ(status2, 202);
  const json replaced = gateway_->Request(first["id"]).body;
  EXPECT_EQ(replaced["results"][0]["state"], "replaced");
  EXPECT_EQ(replaced["results"][0]["by"], second["id"]);
  EXPECT_EQ(SignJson("entrance")["queued"], 1);

  sims_[2]->clear();
  sims_[2]->setReplyMode(vexasim::ReplyMode::Accept);
  ASSERT_TRUE(WaitUntil([&] { return sims_[2]->frames().size() >= 3; }));
  EXPECT_EQ(Availability("entrance"), "online");
  EXPECT_EQ(Seen(*sims_[2]),
            (std::vector<std::string>{"TimeCheck", "CollectedData 1 X1", "CollectedData 2 X3"}));
  const int64_t secondId = second["id"];
  ASSERT_TRUE(WaitUntil([&] { return gateway_->Request(secondId).body["state"] == "done"; }));
  EXPECT_EQ(gateway_->Request(secondId).body["results"][0]["result"], 0);
}

TEST_F(GatewayTest, AThousandCallsIntoAQueueOf256AreCountedAndKeepTheirOrder) {
  StartGateway();
  sims_[2]->setReplyMode(vexasim::ReplyMode::Silent);
  const int descriptors = OpenDescriptors();
  std::vector<std::string> accepted;
  int refused = 0;
  char ticket[16];
  for (int i = 1; i <= 1000; ++i) {
    std::snprintf(ticket, sizeof ticket, "T%04d", i);
    auto [status, body] =
        Post("/v1/call?wait=false", std::string("{\"ticket\":\"") + ticket + "\",\"counter\":2}");
    if (status == 202) {
      accepted.push_back(ticket);
    } else {
      ASSERT_EQ(status, 429) << body.dump();
      EXPECT_EQ(body["field"], "sign");
      ++refused;
    }
  }
  // 256 waiting, and at most one more that was in flight when the queue filled.
  EXPECT_GE(accepted.size(), 256u);
  EXPECT_LE(accepted.size(), 257u);
  EXPECT_EQ(accepted.size() + static_cast<size_t>(refused), 1000u);
  EXPECT_EQ(gateway_->metrics().drops("entrance"), static_cast<uint64_t>(refused));
  // Once the sign counts as offline, the command that was in flight is back in the queue.
  ASSERT_TRUE(WaitUntil([&] { return Availability("entrance") == "offline"; }));
  EXPECT_EQ(SignJson("entrance")["queued"], accepted.size());
  EXPECT_LE(OpenDescriptors(), descriptors + 8);

  sims_[2]->clear();
  sims_[2]->setReplyMode(vexasim::ReplyMode::Accept);
  ASSERT_TRUE(WaitUntil([&] { return SignJson("entrance")["queued"] == 0; }, 60000))
      << SignJson("entrance").dump() << TailOfLog();
  std::vector<std::string> texts;
  for (const vexasim::Frame& f : sims_[2]->frames()) {
    if (f.name == "CollectedData") texts.push_back(f.bytes("text"));
  }
  EXPECT_EQ(texts, accepted);
}

TEST(GatewayConfig, HallFileThenEnvironmentThenCommandLine) {
  const std::string dir = TempDir();
  Write(dir + "/hall.toml",
        "[gateway]\nhttp = \"127.0.0.1:9001\"\nqueue = 10\nclock_every = \"30m\"\n\n"
        "[[sign]]\nname = \"a\"\ntransport = \"udp\"\naddress = \"127.0.0.9\"\nwidth = 64\nheight = 16\n");
  gateway::Config c;
  std::vector<hall::Mistake> mistakes;
  ASSERT_TRUE(gateway::LoadHall(dir + "/hall.toml", &c, &mistakes));
  EXPECT_EQ(c.httpPort, 9001);
  EXPECT_EQ(c.queue, 10u);
  EXPECT_EQ(c.clockEverySec, 1800);
  std::map<std::string, std::string> env = {{"VEXA_GATEWAY_HTTP", "0.0.0.0:9002"}, {"VEXA_GATEWAY_QUEUE", "300"}};
  auto lookup = [&](const char* name) -> const char* {
    auto it = env.find(name);
    return it == env.end() ? nullptr : it->second.c_str();
  };
  std::string why;
  ASSERT_TRUE(gateway::ApplyEnvironment(&c, &why, lookup)) << why;
  EXPECT_EQ(c.httpHost, "0.0.0.0");
  EXPECT_EQ(c.httpPort, 9002);
  EXPECT_EQ(c.queue, 300u);
  env = {{"VEXA_GATEWAY_QUEUE", "lots"}};
  EXPECT_FALSE(gateway::ApplyEnvironment(&c, &why, lookup));
  EXPECT_NE(why.find("VEXA_GATEWAY_QUEUE"), std::string::npos);

  // Mistakes of both readers keep the places of the whole file.
  Write(dir + "/bad.toml",
        "[gateway]\nqueue = 0\nspeed = 3\n\n[[sign]]\nname = \"a\"\ntransport = \"udp\"\n"
        "address = \"127.0.0.9\"\nwidth = 60\nheight = 16\n");
  EXPECT_FALSE(gateway::LoadHall(dir + "/bad.toml", &c, &mistakes));
  std::vector<std::string> texts;
  for (const hall::Mistake& m : mistakes) texts.push_back(std::to_string(m.line) + ":" + std::to_string(m.column));
  EXPECT_EQ(texts, (std::vector<std::string>{"2:9", "3:1", "9:9"}));

  struct Seconds {
    const char* text;
    int seconds;
  } seconds[] = {{"3600", 3600}, {"90s", 90}, {"30m", 1800}, {"1h", 3600}, {"0", -1}, {"1d", -1}, {"h", -1}, {"", -1}};
  for (const Seconds& s : seconds) EXPECT_EQ(gateway::ParseSeconds(s.text), s.seconds) << s.text;
  std::string host;
  int port = 0;
  EXPECT_FALSE(gateway::ParseHostPort("127.0.0.1", &host, &port));
  EXPECT_FALSE(gateway::ParseHostPort("127.0.0.1:65536", &host, &port));
  EXPECT_TRUE(gateway::BearerMatches("Bearer abc", "abc"));
  EXPECT_FALSE(gateway::BearerMatches("Bearer abd", "abc"));
  EXPECT_FALSE(gateway::BearerMatches("Bearer ", ""));
  RemoveAll(dir);
}

// The program itself: killed with SIGKILL while its sign is away, it
// delivers every command it had answered 202 after its restart.
// Whether the child pid ends within ms; killed when it does not. Its wait
// status goes into *status.
bool EndsWithin(pid_t pid, int ms, int* status) {
  const bool ended = WaitUntil([&] { return ::waitpid(pid, status, WNOHANG) == pid; }, ms);
  if (!ended) {
    ::kill(pid, SIGKILL);
    ::waitpid(pid, status, 0);
  }
  return ended;
}

TEST(GatewayProgram, AStopRightAfterTheStartEnds) {
  // A SIGTERM that comes while the HTTP side is still starting must stop it
  // as surely as a later one: the fronts are started and stopped at once,
  // again and again, in a child the test kills if it hangs.
  const std::string dir = TempDir();
  Write(dir + "/hall.toml", "[[sign]]\nname = \"solo\"\ntransport = \"udp\"\naddress = \"" + SignAddress(5) +
                                "\"\nwidth = 64\nheight = 16\n");
  const pid_t pid = ::fork();
  if (pid == 0) {
    gateway::Config config;
    std::vector<hall::Mistake> mistakes;
    auto file = gateway::LoadHall(dir + "/hall.toml", &config, &mistakes);
    std::string why;
    auto store = file ? gateway::Store::Open(dir + "/state", &why) : nullptr;
    if (!store) ::_exit(2);
    config.httpPort = 0;
    gateway::Gateway gw(std::move(file), config, std::move(store));  // not started: no sign is sent to
    for (int round = 0; round < 200; ++round) {
      gateway::HttpFront front(&gw);
      if (!front.Start(&why)) ::_exit(3);
      front.Stop();
    }
    ::_exit(0);
  }
  int status = 0;
  const bool ended = EndsWithin(pid, 30000, &status);
  EXPECT_TRUE(ended) << "a stop right after the start left the server accepting";
  EXPECT_TRUE(ended && WIFEXITED(status) && WEXITSTATUS(status) == 0) << status;
  RemoveAll(dir);
}

TEST(GatewayProgram, KilledWithSigkillDeliversWhatItAcceptedAfterItsRestart) {
  const char* build = std::getenv("VEXA_BUILD_DIR");
  const char* portText = std::getenv("VEXA_TEST_LOGIN_PORT");
  if (build == nullptr || portText == nullptr) GTEST_SKIP() << "run through ctest";
  const std::string program = std::string(build) + "/gateway/vexa-gateway";
  const std::string dir = TempDir();
  Write(dir + "/hall.toml", "[gateway]\nretry_every = \"1s\"\n[hall]\ntimeout_ms = 200\nretries = 0\n"
                            "[[sign]]\nname = \"solo\"\ntransport = \"udp\"\naddress = \"" +
                                SignAddress(4) + "\"\nwidth = 64\nheight = 16\n");
  const std::string http = "127.0.0.1:" + std::string(portText);
  auto start = [&] {
    const pid_t pid = ::fork();
    if (pid == 0) {
      ::setenv("VEXA_GATEWAY_TOKEN", "s3cret", 1);
      const int err = ::open((dir + "/stderr").c_str(), O_WRONLY | O_CREAT | O_APPEND, 0600);
      ::dup2(err, 2);
      ::execl(program.c_str(), program.c_str(), "--hall", (dir + "/hall.toml").c_str(), "--http",
              http.c_str(), "--state", (dir + "/state").c_str(), static_cast<char*>(nullptr));
      ::_exit(127);
    }
    return pid;
  };
  httplib::Client client("127.0.0.1", std::atoi(portText));
  client.set_connection_timeout(5, 0);
  client.set_read_timeout(30, 0);  // a gateway that hangs fails the test, not the suite
  auto up = [&] {
    auto r = client.Get("/health");
    return r && r->status == 200;
  };
  pid_t pid = start();
  ASSERT_TRUE(WaitUntil(up));
  httplib::Headers token{{"Authorization", "Bearer s3cret"}};
  for (int field = 1; field <= 5; ++field) {
    const std::string body = "{\"field\":" + std::to_string(field) + ",\"text\":\"K" + std::to_string(field) + "\"}";
    auto r = client.Post("/v1/signs/solo/data?wait=false", token, body, "application/json");
    ASSERT_TRUE(r);
    ASSERT_EQ(r->status, 202) << r->body;
  }
  ::kill(pid, SIGKILL);
  int status = 0;
  ::waitpid(pid, &status, 0);
  ASSERT_TRUE(WIFSIGNALED(status));

  vexasim::Options o;
  o.address = SignAddress(4);
  vexasim::Emulator sign(o);
  ASSERT_TRUE(sign.start());
  pid = start();
  ASSERT_TRUE(WaitUntil([&] {
    int data = 0;
    for (const vexasim::Frame& f : sign.frames()) data += f.name == "CollectedData";
    return data >= 5;
  }, 20000));
  std::vector<std::string> seen;
  for (const std::string& s : Seen(sign)) {
    if (s != "TimeCheck") seen.push_back(s);
  }
  EXPECT_EQ(seen, (std::vector<std::string>{"CollectedData 1 K1", "CollectedData 2 K2", "CollectedData 3 K3",
                                            "CollectedData 4 K4", "CollectedData 5 K5"}));
  // SIGTERM: a clean stop, soon.
  ::kill(pid, SIGTERM);
  const bool ended = EndsWithin(pid, 30000, &status);
  EXPECT_TRUE(ended) << "SIGTERM did not stop the gateway";
  EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0) << status;
  RemoveAll(dir);
}

}  // namespace
