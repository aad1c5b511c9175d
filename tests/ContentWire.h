// Shared by the content suites (template, date-time, texts, voice, line-up):
// record bytes, and a fixture that owns the controller emulator on this
// suite's loopback address and sends from a system-chosen local port there.
#ifndef VEXA_TESTS_CONTENTWIRE_H
#define VEXA_TESTS_CONTENTWIRE_H

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "SKYREL.h"
#include "SimFixture.h"
#include "VexaSim.h"
#include "core/CBuffObj.h"

using Bytes = std::vector<uint8_t>;
using vexasim::bytesOf;
using vexasim::hex;

inline Bytes BytesOf(const CBuffObj::tagBufferInfo& r) {
  if (r.nBufferLen <= 0) return {};
  const uint8_t* p = reinterpret_cast<const uint8_t*>(r.chArrBuffer);
  return Bytes(p, p + r.nBufferLen);
}

// Hex of an ASCII text, for writing expectations as "..." + Hx("text") + "...".
inline std::string Hx(const std::string& text) {
  return hex(Bytes(text.begin(), text.end()));
}

class ContentWire : public ::testing::Test {
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
    saved_ = {g_send_time_out, g_receive_time_out, g_send_times, g_network_card_port};
    savedIp_ = g_network_card_ip;
    SetReceiveTimeOut(1000);
    g_send_times = 1;
    BindNetworkCard(&address_[0], 0);
    sim_->setReplyMode(vexasim::ReplyMode::Accept);
    sim_->clear();
  }
  void TearDown() override {
    g_send_time_out = saved_[0];
    g_receive_time_out = saved_[1];
    g_send_times = saved_[2];
    BindNetworkCard(&savedIp_[0], saved_[3]);
  }

  char* ip() { return &address_[0]; }

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

  static vexasim::Emulator* sim_;
  std::string address_ = vexasim::TestAddress();

 private:
  std::vector<int> saved_;
  std::string savedIp_;
};

inline vexasim::Emulator* ContentWire::sim_ = nullptr;

#endif  // VEXA_TESTS_CONTENTWIRE_H
