// vexa-gateway's MQTT front against emulated signs and a real mosquitto on
// the suite's own loopback address: a call by MQTT reaches every sign of
// its counter in order and is answered where the message says; availability
// and state are retained; a broker killed and started again gets its
// retained topics back while HTTP served meanwhile; refused messages answer
// their field and send nothing; the PUBACK leaves only after the store's
// commit; two gateways of two halls on one broker keep to their own topics.
#include <gtest/gtest.h>
#include <httplib.h>

#include <atomic>
#include <filesystem>
#include <fstream>
#include <map>
#include <set>

#include "MqttBroker.h"
#include "GatewaySigns.h"
#include "ProcessStats.h"
#include "SimFixture.h"
#include "VexaSim.h"
#include "gateway/Config.h"
#include "gateway/Gateway.h"
#include "gateway/HttpFront.h"
#include "gateway/MqttFront.h"

namespace {

using nlohmann::json;

// The suite's signs: 127.N.6.k for the suite's address 127.0.0.N.
std::string SignAddress(int k) { return gatewaytest::SignAddress(6, k); }
std::string TempDir() { return gatewaytest::TempDir("vexa-gateway-mqtt"); }
using gatewaytest::Write;
// The frames that carry a ticket or a text; clocks left out.
std::vector<std::string> Seen(const vexasim::Emulator& e) { return gatewaytest::Seen(e, false); }

const std::string kBase = "vexa/test-hall";

std::string Sign(const std::string& name, const std::string& address, bool speaks = false) {
  return "[[sign]]\nname = \"" + name + "\"\ntransport = \"udp\"\naddress = \"" + address +
         "\"\nwidth = 64\nheight = 16\n" + (speaks ? "speaks = true\n" : "") + "\n";
}

json Parse(const mqtttest::Message& m) { return json::parse(m.payload, nullptr, false); }

class MqttTest : public ::testing::Test {
 protected:
  static void SetUpTestSuite() { sims_.Start(6, 2); }
  static void TearDownTestSuite() { sims_.Stop(); }

  void SetUp() override {
    sims_.Reset();
    dir_ = TempDir();
    broker_ = std::make_unique<mqtttest::Broker>(vexasim::TestAddress(), dir_);
    ASSERT_TRUE(broker_->Start()) << "mosquitto did not start; see " << dir_ << "/mosquitto.log";
  }
  void TearDown() override {
    mqtt_.reset();
    http_.reset();
    gateway_.reset();
    broker_.reset();
    std::filesystem::remove_all(dir_);
  }

  // main (speaks, line-up field 1 of counter 1), entrance (data field 1 of
  // counter 1); both answer. The hall's name gives the base vexa/test-hall.
  void StartGateway() {
    Write(dir_ + "/hall.toml",
          "[gateway]\nretry_every = \"1s\"\n\n[hall]\nname = \"Test Hall\"\ntimeout_ms = 200\nretries = 0\n\n"
          "[announcement]\ntext = \"Ticket {ticket}, counter {counter}\"\n\n" +
              Sign("main", SignAddress(1), true) + Sign("entrance", SignAddress(2)) +
              "[[counter]]\nnumber = 1\nlineup = { sign = \"main\", field = 1 }\n"
              "data = { sign = \"entrance\", field = 1 }\n");
    gateway::Config config;
    std::vector<hall::Mistake> mistakes;
    auto file = gateway::LoadHall(dir_ + "/hall.toml", &config, &mistakes);
    ASSERT_TRUE(file) << (mistakes.empty() ? "" : mistakes[0].Text());
    config.httpPort = 0;
    config.token = "s3cret";
    std::string why;
    auto store = gateway::Store::Open(dir_ + "/state", &why);
    ASSERT_TRUE(store) << why;
    gateway_ = std::make_unique<gateway::Gateway>(std::move(file), config, std::move(store), nullptr);
    ASSERT_TRUE(gateway_->Start(&why)) << why;
    http_ = std::make_unique<gateway::HttpFront>(gateway_.get());
    ASSERT_TRUE(http_->Start(&why)) << why;
    gateway::MqttOptions options;
    options.url = broker_->Url();
    options.retryFirstMs = 100;
    options.retryMostMs = 400;
    mqtt_ = std::make_unique<gateway::MqttFront>(gateway_.get(), gateway_->hallFile(), options, nullptr);
    ASSERT_TRUE(mqtt_->Start(&why)) << why;
    ASSERT_TRUE(WaitUntil([&] {
      return mqtt_->connected() && Availability("main") == "online" && Availability("entrance") == "online";
    }));
    sims_.Clear();
  }

  std::string Availability(const std::string& sign) {
    for (const json& s : gateway_->Signs()) {
      if (s["name"] == sign) return s["availability"];
    }
    return "";
  }

  // The retained messages a new subscriber of `filter` gets, by topic.
  std::map<std::string, mqtttest::Message> Retained(const std::string& filter, size_t atLeast) {
    mqtttest::Client fresh(*broker_, filter);
    WaitUntil([&] { return fresh.messages().size() >= atLeast; });
    std::map<std::string, mqtttest::Message> out;
    for (mqtttest::Message& m : fresh.messages()) out[m.topic] = m;
    return out;
  }

  static gatewaytest::Signs sims_;
  std::string dir_;
  std::unique_ptr<mqtttest::Broker> broker_;
  std::unique_ptr<gateway::Gateway> gateway_;
  std::unique_ptr<gateway::HttpFront> http_;
  std::unique_ptr<gateway::MqttFront> mqtt_;
};

gatewaytest::Signs MqttTest::sims_;

TEST_F(MqttTest, CallReachesEverySignOfTheCounterInOrderAndIsAnswered) {
  StartGateway();
  mqtttest::Client app(*broker_, "app/replies/#");
  mqtttest::Client results(*broker_, kBase + "/result");
  ASSERT_TRUE(app.ready() && results.ready());
  ASSERT_TRUE(app.Publish(kBase + "/call", R"({"ticket":"A012","counter":1,"id":"c1","reply_to":"app/replies/1"})"));
  ASSERT_TRUE(app.Publish(kBase + "/call", R"({"ticket":"A013","counter":1,"id":2})"));
  ASSERT_TRUE(app.Publish(kBase + "/entrance/set/data", R"({"field":2,"text":"Hello","id":"d"})"));
  ASSERT_TRUE(app.WaitFor("app/replies/1", 2));
  ASSERT_TRUE(results.WaitFor(kBase + "/result", 4));
  ASSERT_TRUE(WaitUntil([&] { return sims_[2]->frames().size() >= 3; }));
  EXPECT_EQ(Seen(*sims_[1]), (std::vector<std::string>{"LineUp 1 A012", "PlayVoice Ticket A 0 1 2, counter 1",
                                                       "LineUp 1 A013", "PlayVoice Ticket A 0 1 3, counter 1"}));
  EXPECT_EQ(Seen(*sims_[2]),
            (std::vector<std::string>{"CollectedData 1 A012", "CollectedData 1 A013", "CollectedData 2 Hello"}));

  // First the request is stored, then it is done with every result.
  const std::vector<mqtttest::Message> replies = app.On("app/replies/1");
  ASSERT_EQ(replies.size(), 2u);
  const json queued = Parse(replies[0]), done = Parse(replies[1]);
  EXPECT_EQ(queued, (json{{"id", "c1"}, {"request", done["request"]}, {"state", "queued"}}));
  EXPECT_FALSE(replies[0].retain);
  EXPECT_EQ(done["id"], "c1");
  EXPECT_EQ(done["state"], "done");
  EXPECT_EQ(done["ok"], true);
  ASSERT_EQ(done["results"].size(), 3u);
  const char* expected[][2] = {{"main", "lineup"}, {"entrance", "data"}, {"main", "announce"}};
  for (size_t i = 0; i < 3; ++i) {
    EXPECT_EQ(done["results"][i]["sign"], expected[i][0]);
    EXPECT_EQ(done["results"][i]["command"], expected[i][1]);
    EXPECT_EQ(done["results"][i]["result"], 0);
  }
  // The same request over HTTP's reading.
  EXPECT_EQ(gateway_->Request(done["request"]).body["asked"]["call"]["ticket"], "A012");

  // Without reply_to the answers go to the result topic, each with its id.
  std::map<std::string, std::vector<std::string>> states;
  for (const mqtttest::Message& m : results.On(kBase + "/result")) {
    const json r = Parse(m);
    states[r["id"].dump()].push_back(r["state"]);
  }
  EXPECT_EQ(states["2"], (std::vector<std::string>{"queued", "done"}));
  EXPECT_EQ(states["\"d\""], (std::vector<std::string>{"queued", "done"}));
  EXPECT_EQ(states.size(), 2u);
}

TEST_F(MqttTest, AvailabilityStateAndBridgeAreRetained) {
  StartGateway();
  mqtttest::Client live(*broker_, kBase + "/#");
  ASSERT_TRUE(live.Publish(kBase + "/entrance/set/data", R"({"field":1,"text":"Hi","id":1})"));
  ASSERT_TRUE(live.WaitFor(kBase + "/result", 2));

  auto retained = Retained(kBase + "/#", 5);
  std::map<std::string, std::string> payloads;
  for (auto& [topic, m] : retained) {
    EXPECT_TRUE(m.retain) << topic;
    payloads[topic] = m.payload;
  }
  EXPECT_EQ(payloads, (std::map<std::string, std::string>{
                          {kBase + "/bridge/state", "online"},
                          {kBase + "/main/availability", "online"},
                          {kBase + "/entrance/availability", "online"},
                          {kBase + "/main/state", "{}"},
                          {kBase + "/entrance/state",
                           R"({"data:1":{"args":{"colour":"red","field":1,"text":"Hi"},"command":"data"}})"}}));

  // A sign that stops answering is offline on its topic, and back online.
  sims_[2]->setReplyMode(vexasim::ReplyMode::Silent);
  ASSERT_TRUE(live.Publish(kBase + "/entrance/set/stop", ""));
  ASSERT_TRUE(WaitUntil([&] {
    auto on = live.On(kBase + "/entrance/availability");
    return !on.empty() && on.back().payload == "offline";
  }));
  EXPECT_EQ(Retained(kBase + "/entrance/availability", 1)[kBase + "/entrance/availability"].payload, "offline");
  sims_[2]->setReplyMode(vexasim::ReplyMode::Accept);
  ASSERT_TRUE(WaitUntil([&] {
    auto on = live.On(kBase + "/entrance/availability");
    return on.back().payload == "online";
  }));

  // A gateway that leaves says so, and that stays.
  mqtt_->Stop();
  ASSERT_TRUE(live.WaitFor(kBase + "/bridge/state", 2));
  EXPECT_EQ(live.On(kBase + "/bridge/state").back().payload, "offline");
  EXPECT_EQ(Retained(kBase + "/bridge/state", 1)[kBase + "/bridge/state"].payload, "offline");
}

TEST_F(MqttTest, BrokerRestartedGetsTheRetainedTopicsBackWhileHttpServedMeanwhile) {
  StartGateway();
  httplib::Client http("127.0.0.1", http_->port());
  http.set_read_timeout(30, 0);
  httplib::Headers token{{"Authorization", "Bearer s3cret"}};
  const int descriptors = OpenDescriptors();
  for (int round = 1; round <= 3; ++round) {
    broker_->Kill(SIGKILL);
    ASSERT_TRUE(WaitUntil([&] { return !mqtt_->connected(); }));
    const std::string text = "Away " + std::to_string(round);
    auto r = http.Post("/v1/signs/entrance/data", token, R"({"field":1,"text":")" + text + "\"}", "application/json");
    ASSERT_TRUE(r);
    EXPECT_EQ(r->status, 200) << r->body;
    ASSERT_TRUE(broker_->Start());
    ASSERT_TRUE(WaitUntil([&] { return mqtt_->connected() && mqtt_->connections() == round + 1; }));

    // The new broker knew nothing: what it has now, the gateway told it.
    auto retained = Retained(kBase + "/#", 5);
    EXPECT_EQ(retained[kBase + "/bridge/state"].payload, "online");
    EXPECT_EQ(retained[kBase + "/entrance/availability"].payload, "online");
    EXPECT_EQ(json::parse(retained[kBase + "/entrance/state"].payload)["data:1"]["args"]["text"], text);
  }
  EXPECT_LE(OpenDescriptors(), descriptors + 2);

  // And takes calls again.
  sims_.Clear();
  mqtttest::Client app(*broker_, kBase + "/result");
  ASSERT_TRUE(app.Publish(kBase + "/call", R"({"ticket":"R1","counter":1})"));
  ASSERT_TRUE(app.WaitFor(kBase + "/result", 2));
  EXPECT_EQ(Parse(app.On(kBase + "/result")[1])["ok"], true);
  EXPECT_EQ(Seen(*sims_[1]), (std::vector<std::string>{"LineUp 1 R1", "PlayVoice Ticket R 1, counter 1"}));
  EXPECT_EQ(Seen(*sims_[2]), std::vector<std::string>{"CollectedData 1 R1"});
}

TEST_F(MqttTest, EveryRefusedMessageAnswersItsFieldAndSendsNothing) {
  StartGateway();
  mqtttest::Client app(*broker_, "app/r");
  mqtttest::Client results(*broker_, kBase + "/result");
  const std::string big = R"({"field":1,"text":")" + std::string(70000, 'x') + "\"}";
  struct Case {
    std::string topic, payload;
    const char* replyTo;
    int status;
    const char* field;
    json id;
  } cases[] = {
      {"/call", R"({"ticket":)", "result", 400, "payload", nullptr},
      {"/call", R"(["A1",1])", "result", 400, "payload", nullptr},
      {"/call", R"({"ticket":"A1","counter":1,"id":5,"reply_to":"app/+/r"})", "result", 400, "reply_to", 5},
      {"/call", R"({"ticket":"A1","counter":1,"reply_to":"vexa/test-hall/call"})", "result", 400, "reply_to", nullptr},
      {"/call", R"({"ticket":"A1","counter":1,"id":{"n":1},"reply_to":"app/r"})", "app/r", 400, "id", nullptr},
      {"/call", R"({"ticket":"A😀1","counter":1,"id":"g","reply_to":"app/r"})", "app/r", 422, "ticket", "g"},
      {"/call", R"({"ticket":"A1","counter":9,"reply_to":"app/r"})", "app/r", 404, "counter", nullptr},
      {"/call", R"({"ticket":"A1","counter":1,"loud":true})", "result", 400, "loud", nullptr},
      {"/nowhere/set/data", R"({"field":1,"text":"x","id":"n"})", "result", 404, "sign", "n"},
      {"/main/set/dance", "", "result", 404, "command", nullptr},
      {"/main/set/play", R"({"page":256})", "result", 400, "page", nullptr},
      {"/entrance/set/data", R"({"field":1,"text":"5 😀","reply_to":"app/r"})", "app/r", 422, "text", nullptr},
      {"/entrance/set/data", big, "result", 413, "payload", nullptr},
      {"/main/set/text", R"({"text":"x","id":"first"})", "result", 400, "id", nullptr},
  };
  size_t onApp = 0, onResult = 0;
  for (const Case& c : cases) {
    const std::string topic = kBase + c.topic;
    ASSERT_TRUE(app.Publish(topic, c.payload));
    mqtttest::Client& where = std::string(c.replyTo) == "app/r" ? app : results;
    const std::string replyTopic = std::string(c.replyTo) == "app/r" ? "app/r" : kBase + "/result";
    size_t& n = std::string(c.replyTo) == "app/r" ? onApp : onResult;
    ASSERT_TRUE(where.WaitFor(replyTopic, ++n)) << topic << " " << c.payload.substr(0, 60);
    const json reply = Parse(where.On(replyTopic)[n - 1]);
    EXPECT_EQ(reply.value("status", 0), c.status) << topic << " " << reply.dump();
    EXPECT_EQ(reply.value("field", "?"), c.field) << topic << " " << reply.dump();
    EXPECT_EQ(reply.value("id", json()), c.id) << topic << " " << reply.dump();
    EXPECT_EQ(reply.value("topic", ""), topic);
  }
  EXPECT_NE(Parse(app.On("app/r")[1]).value("error", "").find("U+1F600"), std::string::npos);
  // A probe to each sign: had anything gone out before, it would come first.
  ASSERT_TRUE(app.Publish(kBase + "/main/set/start", R"({"reply_to":"app/r"})"));
  ASSERT_TRUE(app.Publish(kBase + "/entrance/set/stop", R"({"reply_to":"app/r"})"));
  ASSERT_TRUE(app.WaitFor("app/r", onApp + 4));
  EXPECT_EQ(Seen(*sims_[1]), std::vector<std::string>{"StartPlay"});
  EXPECT_EQ(Seen(*sims_[2]), std::vector<std::string>{"StopPlay"});
}

// A broker that speaks just enough MQTT 5 to see when the gateway's PUBACK
// leaves, against a gateway whose admission is held until the test lets go.
class HeldService : public gateway::Service {
 public:
  explicit HeldService(gateway::Service* real) : real_(real) {}
  gateway::Outcome Call(const std::string& body, bool wait) override {
    std::unique_lock<std::mutex> lock(mutex_);
    entered_ = true;
    changed_.notify_all();
    changed_.wait(lock, [&] { return released_; });
    lock.unlock();
    gateway::Outcome o = real_->Call(body, wait);
    stored_ = true;
    return o;
  }
  gateway::Outcome Command(const std::string& s, const std::string& c, const std::string& b, bool w) override {
    return real_->Command(s, c, b, w);
  }
  gateway::Outcome Request(int64_t id) override { return real_->Request(id); }
  json Signs() override { return real_->Signs(); }
  int Subscribe(std::function<void(const gateway::SignEvent&)> f) override { return real_->Subscribe(std::move(f)); }
  void Unsubscribe(int s) override { real_->Unsubscribe(s); }

  bool WaitEntered() {
    std::unique_lock<std::mutex> lock(mutex_);
    return changed_.wait_for(lock, std::chrono::seconds(10), [&] { return entered_; });
  }
  void Release() {
    std::lock_guard<std::mutex> lock(mutex_);
    released_ = true;
    changed_.notify_all();
  }
  std::atomic<bool> stored_{false};

 private:
  gateway::Service* real_;
  std::mutex mutex_;
  std::condition_variable changed_;
  bool entered_ = false, released_ = false;
};

// One MQTT control packet: its first byte and what follows the length.
struct Packet {
  int type = -1;
  std::string body;
};

Packet ReadPacket(int fd) {
  auto get = [&](void* into, size_t n) { return ::recv(fd, into, n, MSG_WAITALL) == static_cast<ssize_t>(n); };
  Packet p;
  unsigned char first = 0, b = 0;
  if (!get(&first, 1)) return p;
  size_t length = 0;
  for (int shift = 0; shift < 28; shift += 7) {
    if (!get(&b, 1)) return p;
    length |= static_cast<size_t>(b & 0x7f) << shift;
    if (!(b & 0x80)) break;
  }
  p.body.resize(length);
  if (length && !get(&p.body[0], length)) return p;
  p.type = first;
  return p;
}

TEST_F(MqttTest, PubackLeavesOnlyAfterTheStoreHasTheCall) {
  StartGateway();
  mqtt_.reset();
  HeldService held(gateway_.get());
  const int listener = ::socket(AF_INET, SOCK_STREAM, 0);
  sockaddr_in a{};
  a.sin_family = AF_INET;
  ::inet_pton(AF_INET, vexasim::TestAddress().c_str(), &a.sin_addr);
  ASSERT_EQ(::bind(listener, reinterpret_cast<sockaddr*>(&a), sizeof a), 0);
  ASSERT_EQ(::listen(listener, 1), 0);
  socklen_t n = sizeof a;
  ::getsockname(listener, reinterpret_cast<sockaddr*>(&a), &n);
  gateway::MqttOptions options;
  options.url = "mqtt://" + vexasim::TestAddress() + ":" + std::to_string(ntohs(a.sin_port));
  gateway::MqttFront front(&held, gateway_->hallFile(), options, nullptr);
  std::string why;
  ASSERT_TRUE(front.Start(&why)) << why;
  const int fd = ::accept(listener, nullptr, nullptr);
  ASSERT_GE(fd, 0);
  timeval tv{10, 0};
  ::setsockopt(fd, SOL_SOCKET, SO_RCVTIMEO, &tv, sizeof tv);

  ASSERT_EQ(ReadPacket(fd).type, 0x10);  // CONNECT
  const unsigned char connack[] = {0x20, 3, 0, 0, 0};
  ASSERT_EQ(::send(fd, connack, sizeof connack, 0), 5);
  for (int subscribed = 0; subscribed < 2;) {
    Packet p = ReadPacket(fd);
    ASSERT_NE(p.type, -1);
    if (p.type != 0x82) continue;  // the bridge's "online" goes unanswered
    const unsigned char suback[] = {0x90, 4, static_cast<unsigned char>(p.body[0]),
                                    static_cast<unsigned char>(p.body[1]), 0, 1};
    ASSERT_EQ(::send(fd, suback, sizeof suback, 0), 6);
    ++subscribed;
  }
  // PUBLISH at QoS 1, packet 77.
  const std::string topic = kBase + "/call", payload = R"({"ticket":"P1","counter":1})";
  std::string publish;
  publish += static_cast<char>(0);
  publish += static_cast<char>(topic.size());
  publish += topic;
  publish += std::string("\0\x4d\0", 3);
  publish += payload;
  const std::string packet = std::string{static_cast<char>(0x32), static_cast<char>(publish.size())} + publish;
  ASSERT_EQ(::send(fd, packet.data(), packet.size(), 0), static_cast<ssize_t>(packet.size()));

  // While the call waits for its turn at the store, no PUBACK comes.
  ASSERT_TRUE(held.WaitEntered());
  timeval shortWait{0, 300000};
  ::setsockopt(fd, SOL_SOCKET, SO_RCVTIMEO, &shortWait, sizeof shortWait);
  for (Packet p = ReadPacket(fd); p.type != -1; p = ReadPacket(fd)) EXPECT_NE(p.type, 0x40) << "PUBACK before the store";
  ::setsockopt(fd, SOL_SOCKET, SO_RCVTIMEO, &tv, sizeof tv);
  held.Release();
  Packet p;
  do {
    p = ReadPacket(fd);
    ASSERT_NE(p.type, -1) << "no PUBACK";
  } while (p.type != 0x40);
  EXPECT_EQ(p.body.substr(0, 2), std::string("\0\x4d", 2));
  EXPECT_TRUE(held.stored_);
  // Then the reply that says it is stored.
  do {
    p = ReadPacket(fd);
    ASSERT_NE(p.type, -1) << "no reply";
  } while ((p.type & 0xf0) != 0x30 || p.body.find(kBase + "/result") == std::string::npos);
  EXPECT_NE(p.body.find(R"("state":"queued")"), std::string::npos) << p.body;
  ::close(fd);
  ::close(listener);
  front.Stop();
}

// Two halls, a gateway program each, one broker: a call for hall B reaches
// hall B's sign alone, and each gateway's topics are its own.
TEST_F(MqttTest, TwoGatewaysOfTwoHallsShareOneBroker) {
  const char* build = std::getenv("VEXA_BUILD_DIR");
  if (build == nullptr) GTEST_SKIP() << "run through ctest";
  const std::string program = std::string(build) + "/gateway/vexa-gateway";
  mqtttest::Client watch(*broker_, "vexa/#");
  ASSERT_TRUE(watch.ready());
  // Both halls have a sign "main" on line-up field 1 of counter 1; hall B
  // also a door that nobody answers.
  const std::map<std::string, std::string> halls = {
      {"a", Sign("main", SignAddress(1), false)},
      {"b", Sign("main", SignAddress(2), false) + Sign("door", SignAddress(3))}};
  std::map<std::string, pid_t> pids;
  for (const auto& [h, signs] : halls) {
    const std::string d = dir_ + "/" + h;
    std::filesystem::create_directories(d);
    Write(d + "/hall.toml", "[gateway]\nretry_every = \"1s\"\n[hall]\nname = \"Hall " + h +
                                "\"\ntimeout_ms = 200\nretries = 0\n" + signs +
                                "[[counter]]\nnumber = 1\nlineup = { sign = \"main\", field = 1 }\n");
    const pid_t pid = ::fork();
    if (pid == 0) {
      ::setenv("VEXA_GATEWAY_TOKEN", "s3cret", 1);
      const int err = ::open((d + "/stderr").c_str(), O_WRONLY | O_CREAT | O_APPEND, 0600);
      ::dup2(err, 2);
      ::execl(program.c_str(), program.c_str(), "--hall", (d + "/hall.toml").c_str(), "--http", "127.0.0.1:0",
              "--state", (d + "/state").c_str(), "--mqtt", broker_->Url().c_str(), static_cast<char*>(nullptr));
      ::_exit(127);
    }
    pids[h] = pid;
  }
  auto last = [&](const std::string& topic) {
    auto on = watch.On(topic);
    return on.empty() ? std::string() : on.back().payload;
  };
  ASSERT_TRUE(WaitUntil([&] {
    return last("vexa/hall-a/main/availability") == "online" && last("vexa/hall-b/main/availability") == "online" &&
           last("vexa/hall-b/door/availability") == "offline";
  })) << "hall a: " << last("vexa/hall-a/bridge/state") << ", hall b: " << last("vexa/hall-b/bridge/state");
  sims_.Clear();

  ASSERT_TRUE(watch.Publish("vexa/hall-b/call", R"({"ticket":"B7","counter":1,"id":"b"})"));
  ASSERT_TRUE(watch.WaitFor("vexa/hall-b/result", 2));
  EXPECT_EQ(json::parse(watch.On("vexa/hall-b/result")[1].payload)["ok"], true);
  EXPECT_EQ(Seen(*sims_[2]), std::vector<std::string>{"LineUp 1 B7"});
  EXPECT_EQ(Seen(*sims_[1]), std::vector<std::string>{});
  EXPECT_TRUE(watch.On("vexa/hall-a/result").empty());

  std::set<std::string> availability;
  for (const mqtttest::Message& m : watch.messages()) {
    if (m.topic.size() > 13 && m.topic.compare(m.topic.size() - 13, 13, "/availability") == 0) {
      availability.insert(m.topic);
    }
  }
  EXPECT_EQ(availability, (std::set<std::string>{"vexa/hall-a/main/availability", "vexa/hall-b/main/availability",
                                                 "vexa/hall-b/door/availability"}));

  // Hall A's gateway stops: its bridge is offline, hall B's is not.
  ::kill(pids["a"], SIGTERM);
  int status = 0;
  ::waitpid(pids["a"], &status, 0);
  EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0) << status;
  ASSERT_TRUE(WaitUntil([&] { return last("vexa/hall-a/bridge/state") == "offline"; }));
  EXPECT_EQ(last("vexa/hall-b/bridge/state"), "online");
  ::kill(pids["b"], SIGTERM);
  ::waitpid(pids["b"], &status, 0);
}

TEST(MqttTopics, NamesUrlsAndWhatAMessageCarries) {
  struct Level {
    const char* name;
    const char* level;
  } levels[] = {{"Branch 12", "branch-12"}, {"Main/Hall", "main-hall"}, {"  a+b#c ", "a-b-c"},
                {"Café_2", "caf-_2"},       {"+++", ""},                {"x--y", "x--y"}};
  for (const Level& l : levels) EXPECT_EQ(gateway::TopicLevel(l.name), l.level) << l.name;

  struct Url {
    const char* url;
    bool ok;
    const char* host;
    int port;
  } urls[] = {{"mqtt://127.0.0.1:1884", true, "127.0.0.1", 1884}, {"mqtt://broker.local", true, "broker.local", 1883},
              {"mqtt://h:0", false, "", 0},         {"mqtt://h:65536", false, "", 0},
              {"tcp://h:1883", false, "", 0},       {"mqtt://:1883", false, "", 0},
              {"mqtt://u@h:1883", false, "", 0}};
  for (const Url& u : urls) {
    std::string host;
    int port = 0;
    EXPECT_EQ(gateway::ParseMqttUrl(u.url, &host, &port), u.ok) << u.url;
    if (u.ok) {
      EXPECT_EQ(host + ":" + std::to_string(port), std::string(u.host) + ":" + std::to_string(u.port));
    }
  }

  std::vector<hall::Mistake> mistakes;
  auto hallOf = [&](const std::string& name, const std::string& signs) {
    return hall::ParseHallFile((name.empty() ? "" : "[hall]\nname = \"" + name + "\"\n") + signs, "t.toml", &mistakes);
  };
  gateway::HallTopics t;
  std::string why;
  auto two = hallOf("North", Sign("Main Hall", "127.0.0.9") + Sign("Door", "127.0.0.8"));
  ASSERT_TRUE(two);
  ASSERT_TRUE(gateway::MakeHallTopics(*two, "", &t, &why)) << why;
  EXPECT_EQ(t.base, "vexa/north");
  EXPECT_EQ(t.Availability("Main Hall"), "vexa/north/main-hall/availability");
  ASSERT_TRUE(gateway::MakeHallTopics(*two, "site/3/signs", &t, &why));
  EXPECT_EQ(t.State("Door"), "site/3/signs/door/state");
  auto clash = hallOf("North", Sign("Main Hall", "127.0.0.9") + Sign("main-hall", "127.0.0.8"));
  ASSERT_TRUE(clash);
  EXPECT_FALSE(gateway::MakeHallTopics(*clash, "", &t, &why));
  EXPECT_NE(why.find("\"Main Hall\" and \"main-hall\""), std::string::npos) << why;
  auto nameless = hallOf("", Sign("a", "127.0.0.9"));
  ASSERT_TRUE(nameless);
  EXPECT_FALSE(gateway::MakeHallTopics(*nameless, "", &t, &why));
  for (const char* bad : {"", "a//b", "/a", "a/", "a/+", "$SYS/x"}) EXPECT_FALSE(gateway::ValidBase(bad, &why)) << bad;

  // The body the gateway gets has the message's own keys taken out, except
  // the text command's "id", which is its material's number.
  ASSERT_TRUE(gateway::MakeHallTopics(*two, "", &t, &why));
  gateway::Inbound in;
  gateway::Refusal refusal;
  ASSERT_TRUE(gateway::ReadInbound(t, "vexa/north/door/set/text", R"({"text":"x","id":3,"reply_to":"a/b"})", &in,
                                   &refusal));
  EXPECT_EQ(in.sign, "Door");
  EXPECT_EQ(in.body, R"({"id":3,"text":"x"})");
  EXPECT_TRUE(in.id.is_null());
  EXPECT_EQ(in.replyTo, "a/b");
  ASSERT_TRUE(gateway::ReadInbound(t, "vexa/north/main-hall/set/data", R"({"field":1,"text":"x","id":3})", &in,
                                   &refusal));
  EXPECT_EQ(in.sign, "Main Hall");
  EXPECT_EQ(in.body, R"({"field":1,"text":"x"})");
  EXPECT_EQ(in.id, 3);
  EXPECT_EQ(in.replyTo, "vexa/north/result");
  for (const char* topic : {"vexa/north/door/set/", "vexa/north/door/get/text", "vexa/north/a/b/set/text",
                            "vexa/south/call", "vexa/north/call/x"}) {
    EXPECT_FALSE(gateway::ReadInbound(t, topic, "{}", &in, &refusal)) << topic;
    EXPECT_EQ(refusal.field, "topic") << topic;
  }
  EXPECT_FALSE(gateway::ReadInbound(t, "vexa/north/call", R"({"reply_to":"vexa/north/x/set/play"})", &in, &refusal));
  EXPECT_EQ(refusal.field, "reply_to");
  EXPECT_TRUE(gateway::ReadInbound(t, "vexa/north/call", R"({"reply_to":"vexa/north/result/me"})", &in, &refusal));
  EXPECT_FALSE(gateway::ReadInbound(t, std::string(600, 'a'), "{}", &in, &refusal));
  EXPECT_EQ(refusal.field, "topic");
}

}  // namespace
