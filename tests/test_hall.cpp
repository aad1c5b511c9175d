// A hall in action against emulated signs: the example hall's main sign and
// entrance sign on their loopback addresses, its office sign dialling in,
// and its four bar screens on one serial line.
#include <gtest/gtest.h>

#include <cstdlib>
#include <memory>
#include <string>
#include <vector>

#include "LoginDialer.h"
#include "SKYREL.h"
#include "SerialLine.h"
#include "VexaSim.h"
#include "model/GlobalMember.h"
#include "hall/Hall.h"
#include "vexa.h"

namespace {

using vexasim::Frame;

int LoginPort() {
  const char* p = std::getenv("VEXA_TEST_LOGIN_PORT");
  return p && *p ? std::atoi(p) : 19098;
}

std::unique_ptr<vexasim::Emulator> EmulatorAt(const std::string& address) {
  vexasim::Options o;
  o.address = address;
  auto sim = std::make_unique<vexasim::Emulator>(o);
  std::string why;
  EXPECT_TRUE(sim->start(&why)) << address << ": " << why;
  return sim;
}

// "LineUp slotNo=2 text=A012": a frame's name and the fields asked for.
std::string Show(const Frame& f, const std::vector<std::string>& fields) {
  std::string s = f.name;
  for (const std::string& k : fields) s += " " + k + "=" + f.get(k);
  return s;
}

class HallTest : public ComPortTest {
 protected:
  void SetUp() override {
    ASSERT_NO_FATAL_FAILURE(ComPortTest::SetUp());
    main_ = EmulatorAt("127.0.10.1");
    entrance_ = EmulatorAt("127.0.10.2");
    ASSERT_TRUE(bars_.Open());
    ASSERT_NO_FATAL_FAILURE(ports_.link(1, bars_.slave));
    std::vector<hall::Mistake> mistakes;
    std::unique_ptr<hall::HallFile> file =
        hall::LoadHallFile(VEXA_SOURCE_DIR "/examples/hall.toml", &mistakes);
    ASSERT_NE(file, nullptr);
    file->loginPort = LoginPort();  // this suite's own port
    hall_ = std::make_unique<hall::Hall>(std::move(file));
    static const int served = hall_->ServeLogins();
    ASSERT_EQ(served, 0);
    office_ = std::make_unique<vexasim::LoginDialer>("127.0.10.3");
    ASSERT_TRUE(DialIn(*office_));
    // Datagrams from a port the system picks: other suites own port 8801.
    char any[] = "127.0.0.1";
    BindNetworkCard(any, 0);
    SetTimeOut(1234, 1234);  // the application's own settings
    SetReSendTimes(0);
  }
  void TearDown() override {
    office_.reset();
    ComPortTest::TearDown();
  }

  bool DialIn(vexasim::LoginDialer& d) {
    for (int i = 0; i < 200 && !d.connect("127.0.0.1", LoginPort()); ++i) {
      std::this_thread::sleep_for(std::chrono::milliseconds(20));
    }
    if (!d.waitForGreetings(1, 5000)) return false;
    // Recorded once the greeting is answered.
    for (int i = 0; i < 250; ++i) {
      std::lock_guard<std::mutex> lock(globalMember.clientLock);
      for (const auto& c : globalMember.socketClients) {
        if (c.strIp == d.source()) return true;
      }
      std::this_thread::sleep_for(std::chrono::milliseconds(20));
    }
    return false;
  }

  std::unique_ptr<vexasim::Emulator> main_, entrance_;
  std::unique_ptr<vexasim::LoginDialer> office_;
  SerialLine bars_;
  std::unique_ptr<hall::Hall> hall_;
};

std::string Results(const std::vector<hall::SignResult>& rs) {
  std::string s;
  for (const hall::SignResult& r : rs) {
    s += (s.empty() ? "" : ", ") + r.command + " " + r.sign + " " + std::to_string(r.result);
  }
  return s;
}

TEST_F(HallTest, ACallGoesToEveryDisplayOfTheCounterThenIsAnnounced) {
  std::string mistake;
  const std::vector<hall::SignResult> rs = hall_->Call("A012", 3, &mistake);
  EXPECT_EQ(mistake, "");
  EXPECT_EQ(Results(rs),
            "lineup main 0, data entrance 0, data office 0, bar bar3 0, voice main 0");
  ASSERT_TRUE(main_->waitForFrames(2, 3000));
  const std::vector<Frame> main = main_->frames();
  ASSERT_EQ(main.size(), 2u);
  EXPECT_EQ(Show(main[0], {"slotNo", "text"}), "LineUp slotNo=2 text=\"A012\"");
  EXPECT_EQ(Show(main[1], {"spokenText"}),
            "PlayVoice spokenText=\"[v5]sound101 [m51] Ticket A 0 1 2, please go to counter 3\"");
  ASSERT_TRUE(entrance_->waitForFrames(1, 3000));
  EXPECT_EQ(Show(entrance_->frames().at(0), {"dataIndex", "text"}),
            "CollectedData dataIndex=1 text=\"A012\"");
  ASSERT_TRUE(office_->waitForFrames(1, 3000));
  EXPECT_EQ(Show(office_->frames().at(0), {"dataIndex", "text"}),
            "CollectedData dataIndex=1 text=\"A012\"");
  ASSERT_TRUE(bars_.sim->waitForFrames(1, 3000));
  EXPECT_EQ(Show(bars_.sim->frames().at(0), {"address", "page1.text"}),
            "BarContent address=3 page1.text=\"A012    \"");
  // The application's settings are back.
  EXPECT_EQ(vexa_receive_time_out(), 1234);
  EXPECT_EQ(vexa_re_send_times(), 0);
}

TEST_F(HallTest, ASignThatDoesNotAnswerStopsNoOther) {
  main_->setReplyMode(vexasim::ReplyMode::Silent);
  std::string mistake;
  const std::vector<hall::SignResult> rs = hall_->Call("B7", 1, &mistake);
  EXPECT_EQ(Results(rs),
            "lineup main 2, data entrance 0, data office 0, bar bar1 0, voice main 2");
  // The hall's time-out and one repeat were in force for the main sign.
  EXPECT_EQ(rs[0].reason, "controller 127.0.10.1: no reply within 500 ms after 2 attempts");
  EXPECT_EQ(rs[1].reason, "");
  ASSERT_TRUE(bars_.sim->waitForFrames(1, 3000));
  EXPECT_EQ(main_->frames().size(), 4u);  // two attempts of each
}

TEST_F(HallTest, ACounterTheHallDoesNotHaveSendsNothing) {
  std::string mistake;
  EXPECT_TRUE(hall_->Call("A012", 9, &mistake).empty());
  EXPECT_EQ(mistake, "the hall has no counter 9");
  EXPECT_TRUE(hall_->Call("A\xF0\x9F\x98\x80", 1, &mistake).empty());
  EXPECT_EQ(mistake, "the ticket has a character GBK cannot hold: U+1F600 '\xF0\x9F\x98\x80'");
  std::this_thread::sleep_for(std::chrono::milliseconds(200));
  EXPECT_TRUE(main_->frames().empty());
  EXPECT_TRUE(entrance_->frames().empty());
  EXPECT_TRUE(bars_.sim->frames().empty());
}

TEST_F(HallTest, UploadSendsEachSignsLayoutAndTheClockGoesEverywhere) {
  const std::vector<hall::SignResult> up = hall_->Upload();
  EXPECT_EQ(Results(up), "upload main 0, upload entrance 0, upload office 0");
  ASSERT_TRUE(main_->waitForFrames(4, 3000));
  std::vector<std::string> names;
  for (const Frame& f : main_->frames()) names.push_back(f.name);
  EXPECT_EQ(names, (std::vector<std::string>{"PageSet", "DateTime", "LineUpField", "LineUpField"}));
  main_->clear();
  const std::vector<hall::SignResult> clock = hall_->Clock();
  EXPECT_EQ(Results(clock), "clock main 0, clock entrance 0, clock office 0");
  ASSERT_TRUE(main_->waitForFrames(1, 3000));
  EXPECT_EQ(main_->frames().at(0).name, "TimeCheck");
}

}  // namespace

namespace {

// The hall through the C interface: a handle, the mistakes in a buffer, one
// result per sign read back by index.
TEST_F(HallTest, TheCInterfaceOpensCallsAndReportsEachSign) {
  char error[512];
  const std::string bad = std::string(VEXA_SOURCE_DIR) + "/README.md";
  EXPECT_EQ(vexa_hall_open(bad.c_str(), error, sizeof error), 0);
  EXPECT_EQ(std::string(error).rfind(bad + ":", 0), 0u) << error;
  EXPECT_EQ(vexa_hall_open(nullptr, error, sizeof error), 0);

  const int h = vexa_hall_open(VEXA_SOURCE_DIR "/examples/hall.toml", error, sizeof error);
  ASSERT_GT(h, 0) << error;
  EXPECT_EQ(vexa_hall_call(h, "A012", 9), 1);
  EXPECT_STREQ(vexa_last_reason(), "the hall has no counter 9");
  EXPECT_EQ(vexa_hall_result_count(h), 0);
  main_->setReplyMode(vexasim::ReplyMode::Refuse2);
  EXPECT_EQ(vexa_hall_call(h, "A012", 3), 3);
  ASSERT_EQ(vexa_hall_result_count(h), 5);
  std::string seen;
  for (int i = 0; i < 5; ++i) {
    seen += std::string(vexa_hall_result_command(h, i)) + " " + vexa_hall_result_sign(h, i) + " " +
            std::to_string(vexa_hall_result_code(h, i)) + "; ";
  }
  // A voice reply judged by the voice's own mark: a refusal is no "O", so 1.
  EXPECT_EQ(seen, "lineup main 3; data entrance 0; data office 0; bar bar3 0; voice main 1; ");
  EXPECT_STREQ(vexa_hall_result_reason(h, 0), "controller 127.0.10.1 refused the command: status \"2\"");
  EXPECT_STREQ(vexa_hall_result_reason(h, 1), "");
  EXPECT_STREQ(vexa_hall_result_sign(h, 5), "");
  EXPECT_EQ(vexa_hall_result_code(h, -1), 1);
  EXPECT_EQ(vexa_logged_in("127.0.10.3"), 1);  // the fixture's dialer is in, on the suite's port
  EXPECT_EQ(vexa_logged_in("127.0.10.9"), 0);
  EXPECT_EQ(vexa_hall_close(h), 0);
  EXPECT_EQ(vexa_hall_close(h), 1);
  EXPECT_EQ(vexa_hall_call(h, "A012", 3), 1);
  EXPECT_EQ(std::string(vexa_last_reason()), "no hall is open with the handle " + std::to_string(h));
}

}  // namespace
