// The fixture of the suites that talk to the controller emulator over the
// network. One emulator per suite serves this executable's loopback address;
// each test sends from a system-chosen local port on that address with a
// generous reply wait and one attempt, to an emulator that accepts and has
// recorded nothing. The connection settings are put back after each test.
#ifndef VEXA_TESTS_EMULATORTEST_H
#define VEXA_TESTS_EMULATORTEST_H

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "SKYREL.h"
#include "SimFixture.h"
#include "TestBytes.h"
#include "VexaSim.h"
#include "core/CBuffObj.h"

class EmulatorTest : public ::testing::Test {
 protected:
  static void SetUpTestSuite() {
    sim_ = new vexasim::Emulator(vexasim::TestOptions());
    std::string error;
    ASSERT_TRUE(sim_->start(&error)) << error;
  }
  static void TearDownTestSuite() {
    delete sim_;
    sim_ = nullptr;
  }
  void SetUp() override {
    ASSERT_NE(sim_, nullptr);
    sendTimeOut_ = g_send_time_out;
    receiveTimeOut_ = g_receive_time_out;
    sendTimes_ = g_send_times;
    cardIp_ = g_network_card_ip;
    cardPort_ = g_network_card_port;
    SetReceiveTimeOut(1000);
    g_send_times = 1;
    BindNetworkCard(ip(), 0);
    sim_->setReplyMode(vexasim::ReplyMode::Accept);
    sim_->setReplyOverride(nullptr);
    sim_->clear();
  }
  void TearDown() override {
    if (sim_) sim_->setReplyOverride(nullptr);
    g_send_time_out = sendTimeOut_;
    g_receive_time_out = receiveTimeOut_;
    g_send_times = sendTimes_;
    BindNetworkCard(&cardIp_[0], cardPort_);
  }

  char* ip() { return &address_[0]; }

  // Checks that the emulator received exactly one frame, with this command,
  // and forgets it.
  void ExpectOnlyFrameWithCommand(int command) {
    ASSERT_TRUE(sim_->waitForFrames(1, 2000));
    std::vector<vexasim::Frame> frames = sim_->frames();
    ASSERT_EQ(frames.size(), 1u);
    EXPECT_EQ(frames[0].command, command);
    sim_->clear();
  }

  static vexasim::Emulator* sim_;
  std::string address_ = vexasim::TestAddress();

 private:
  int sendTimeOut_ = 0, receiveTimeOut_ = 0, sendTimes_ = 0, cardPort_ = 0;
  std::string cardIp_;
};

inline vexasim::Emulator* EmulatorTest::sim_ = nullptr;

// The content suites (date-time, texts, voice, line-up) on the wire.
class ContentWire : public EmulatorTest {
 protected:
  // The one frame the emulator received since the last clear().
  vexasim::Frame OnlyFrame() {
    EXPECT_TRUE(sim_->waitForFrames(1, 3000));
    std::vector<vexasim::Frame> got = sim_->frames();
    EXPECT_EQ(got.size(), 1u);
    if (got.empty()) return vexasim::Frame{};
    EXPECT_TRUE(got[0].checksOk) << got[0].error;
    sim_->clear();
    return got[0];
  }

  // Sends a start-play probe: had the call before sent anything, it would
  // have arrived first, so the probe must be the only frame received.
  void ExpectNothingSent(const std::string& what) {
    EXPECT_EQ(StartPlay_Net(ip(), 1), 0) << what;
    EXPECT_EQ(OnlyFrame().command, 0x51) << what << " sent something";
  }
};

#endif  // VEXA_TESTS_EMULATORTEST_H
