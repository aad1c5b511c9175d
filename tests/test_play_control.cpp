// Play control, relay and brightness: the payloads, and each network entry
// point's frame as the controller emulator receives it.
#include <gtest/gtest.h>

#include <cstring>
#include <new>
#include <string>
#include <vector>

#include "EmulatorTest.h"
#include "SKYREL.h"
#include "SimFixture.h"
#include "TestBytes.h"
#include "VexaSim.h"
#include "api/EntryPoint.h"
#include "core/CBuffObj.h"

namespace {


// Eight relay slots of FF 00 with slot `relay` (1..8) replaced by code, ~code.
std::string RelaySlots(int relay, const char* slot) {
  std::string s;
  for (int k = 1; k <= 8; ++k) {
    if (k > 1) s += ' ';
    s += k == relay ? slot : "FF 00";
  }
  return s;
}

// ---------------------------------------------------------------------------
struct PayloadCase {
  const char* name;
  CBuffObj::tagBufferInfo (*build)(CBuffObj&);
  std::string payload;
};

class Payloads : public ::testing::TestWithParam<PayloadCase> {};

TEST_P(Payloads, Bytes) {
  CBuffObj obj;
  EXPECT_EQ(hex(BytesOf(GetParam().build(obj))), GetParam().payload);
}

INSTANTIATE_TEST_SUITE_P(
    PlayControl, Payloads,
    ::testing::Values(
        PayloadCase{"Page1", [](CBuffObj& o) { return o.PlayShowPageBuffer(1); }, "01 FE"},
        PayloadCase{"Page3", [](CBuffObj& o) { return o.PlayShowPageBuffer(3); }, "03 FC"},
        PayloadCase{"Page256IsPage0", [](CBuffObj& o) { return o.PlayShowPageBuffer(256); },
                    "00 FF"},
        PayloadCase{"PageMinus1", [](CBuffObj& o) { return o.PlayShowPageBuffer(-1); }, "FF 00"},
        PayloadCase{"Relay3On", [](CBuffObj& o) { return o.RelayBuffer(3, 1, 0); },
                    "FF 00 FF 00 FC 03 FF 00 FF 00 FF 00 FF 00 FF 00"},
        PayloadCase{"Relay8Off", [](CBuffObj& o) { return o.RelayBuffer(8, 2, 0); },
                    RelaySlots(8, "FD 02")},
        PayloadCase{"Relay1Delay5", [](CBuffObj& o) { return o.RelayBuffer(1, 0, 5); },
                    "B4 4B FF 00 FF 00 FF 00 FF 00 FF 00 FF 00 FF 00"},
        PayloadCase{"Relay2Delay1", [](CBuffObj& o) { return o.RelayBuffer(2, 0, 1); },
                    RelaySlots(2, "B0 4F")},
        PayloadCase{"Relay4Delay16IgnoresAction",
                    [](CBuffObj& o) { return o.RelayBuffer(4, 1, 16); }, RelaySlots(4, "BF 40")},
        PayloadCase{"Relay5Action3", [](CBuffObj& o) { return o.RelayBuffer(5, 3, 0); },
                    RelaySlots(0, "")},
        PayloadCase{"Relay6Delay17", [](CBuffObj& o) { return o.RelayBuffer(6, 0, 17); },
                    RelaySlots(0, "")},
        PayloadCase{"NegativeDelayUsesAction",
                    [](CBuffObj& o) { return o.RelayBuffer(7, 1, -4); }, RelaySlots(7, "FC 03")},
        PayloadCase{"Relay0", [](CBuffObj& o) { return o.RelayBuffer(0, 1, 0); },
                    RelaySlots(0, "")},
        PayloadCase{"Relay9", [](CBuffObj& o) { return o.RelayBuffer(9, 1, 0); },
                    RelaySlots(0, "")},
        PayloadCase{"Bright10And1", [](CBuffObj& o) { return o.SetBrightBuffer(10, 1); },
                    "0A F5 01 FE"},
        PayloadCase{"BrightLowBytes", [](CBuffObj& o) { return o.SetBrightBuffer(0x1FF, 256); },
                    "FF 00 00 FF"}),
    [](const ::testing::TestParamInfo<PayloadCase>& i) { return std::string(i.param.name); });

// ---------------------------------------------------------------------------
// The entry points against the emulator, in datagram mode.
class PlayControlNet : public EmulatorTest {};


struct EntryCase {
  const char* name;
  int (*call)(char* ip);
  std::string frame;  // the whole frame the controller must receive
  const char* command;
};

TEST_F(PlayControlNet, EachEntryPointSendsItsFrame) {
  const EntryCase cases[] = {
      {"PlayShowPage_Net 1", [](char* ip) { return PlayShowPage_Net(ip, 1, 1); },
       "FE 5C 4B 89 15 00 00 00 66 00 00 00 00 02 00 00 00 01 FE FF FF", "PlayShowPage"},
      {"StartPlay_Net", [](char* ip) { return StartPlay_Net(ip, 1); },
       "FE 5C 4B 89 13 00 00 00 51 00 00 00 00 00 00 00 00 FF FF", "StartPlay"},
      {"StopPlay_Net", [](char* ip) { return StopPlay_Net(ip, 0); },
       "FE 5C 4B 89 13 00 00 00 52 00 00 00 00 00 00 00 00 FF FF", "StopPlay"},
      {"RelaySwitch_Net 3 on", [](char* ip) { return RelaySwitch_Net(ip, 1, 3, 1); },
       "FE 5C 4B 89 23 00 00 00 61 00 00 00 00 10 00 00 00 "
       "FF 00 FF 00 FC 03 FF 00 FF 00 FF 00 FF 00 FF 00 FF FF",
       "Relay"},
      {"RelaySwitch_Net action 3", [](char* ip) { return RelaySwitch_Net(ip, 1, 2, 3); },
       "FE 5C 4B 89 23 00 00 00 61 00 00 00 00 10 00 00 00 " + RelaySlots(0, "") + " FF FF",
       "Relay"},
      {"RelaySwitch_Net relay 9", [](char* ip) { return RelaySwitch_Net(ip, 1, 9, 1); },
       "FE 5C 4B 89 23 00 00 00 61 00 00 00 00 10 00 00 00 " + RelaySlots(0, "") + " FF FF",
       "Relay"},
      {"RelaySwitch_Net relay 0", [](char* ip) { return RelaySwitch_Net(ip, 1, 0, 2); },
       "FE 5C 4B 89 23 00 00 00 61 00 00 00 00 10 00 00 00 " + RelaySlots(0, "") + " FF FF",
       "Relay"},
      {"RelayDelay_Net 1 for 5", [](char* ip) { return RelayDelay_Net(ip, 1, 1, 5); },
       "FE 5C 4B 89 23 00 00 00 61 00 00 00 00 10 00 00 00 " + RelaySlots(1, "B4 4B") +
           " FF FF",
       "Relay"},
      {"RelayDelay_Net delay 17", [](char* ip) { return RelayDelay_Net(ip, 1, 4, 17); },
       "FE 5C 4B 89 23 00 00 00 61 00 00 00 00 10 00 00 00 " + RelaySlots(0, "") + " FF FF",
       "Relay"},
      // Delay 0 with the action 0 that RelayDelay_Net always passes: no change.
      {"RelayDelay_Net delay 0", [](char* ip) { return RelayDelay_Net(ip, 1, 4, 0); },
       "FE 5C 4B 89 23 00 00 00 61 00 00 00 00 10 00 00 00 " + RelaySlots(0, "") + " FF FF",
       "Relay"},
      {"SetBright_Net 10 1", [](char* ip) { return SetBright_Net(ip, 1, 10, 1); },
       "FE 5C 4B 89 17 00 00 00 76 00 00 00 00 04 00 00 00 0A F5 01 FE FF FF", "SetBright"},
  };
  for (const EntryCase& c : cases) {
    sim_->clear();
    EXPECT_EQ(c.call(ip()), 0) << c.name;
    ASSERT_TRUE(sim_->waitForFrames(1, 2000)) << c.name;
    std::vector<vexasim::Frame> got = sim_->frames();
    ASSERT_EQ(got.size(), 1u) << c.name;
    EXPECT_EQ(hex(got[0].raw), c.frame) << c.name;
    EXPECT_EQ(got[0].name, c.command) << c.name;
    EXPECT_TRUE(got[0].checksOk) << c.name << ": " << got[0].error;
    EXPECT_EQ(got[0].channel, "udp") << c.name;
  }
}

TEST_F(PlayControlNet, RefusalsComeBackAsResultCodes) {
  struct Case {
    vexasim::ReplyMode mode;
    int result;
  };
  const Case cases[] = {{vexasim::ReplyMode::Refuse2, 3},
                        {vexasim::ReplyMode::Refuse3, 4},
                        {vexasim::ReplyMode::Malformed, 1}};
  for (const Case& c : cases) {
    sim_->setReplyMode(c.mode);
    EXPECT_EQ(SetBright_Net(ip(), 1, 5, 5), c.result) << static_cast<int>(c.mode);
  }
  sim_->setReplyMode(vexasim::ReplyMode::Silent);
  SetReceiveTimeOut(50);
  EXPECT_EQ(StartPlay_Net(ip(), 1), 2);
}

TEST_F(PlayControlNet, BadAddressesSendNothing) {
  char bad1[] = "1.2.3";
  char bad2[] = "controller";
  char bad3[] = "256.1.1.1";
  char empty[] = "";
  EXPECT_EQ(PlayShowPage_Net(nullptr, 1, 1), 1);
  EXPECT_EQ(StartPlay_Net(nullptr, 1), 1);
  EXPECT_EQ(StopPlay_Net(nullptr, 2), 1);
  EXPECT_EQ(RelaySwitch_Net(nullptr, 1, 1, 1), 1);
  EXPECT_EQ(RelayDelay_Net(nullptr, 3, 1, 1), 1);
  EXPECT_EQ(SetBright_Net(nullptr, 1, 1, 1), 1);
  EXPECT_EQ(PlayShowPage_Net(bad1, 1, 1), 1);
  EXPECT_EQ(StartPlay_Net(bad2, 1), 1);
  EXPECT_EQ(SetBright_Net(bad3, 2, 1, 1), 1);
  EXPECT_EQ(StopPlay_Net(empty, 1), 1);
  // A valid send afterwards is the only frame the controller ever sees.
  EXPECT_EQ(StartPlay_Net(ip(), 1), 0);
  ASSERT_TRUE(sim_->waitForFrames(1, 2000));
  EXPECT_EQ(sim_->frames().size(), 1u);
}

// The shared entry-point pattern: an exception while building returns 1 and
// sends nothing; an invalid payload is refused before sending.
TEST_F(PlayControlNet, EntryPatternCatchesAndRefuses) {
  int r = SendOneNetworkFrame(commands::kStartPlay, ip(), 1, [](CBuffObj&) -> CBuffObj::tagBufferInfo {
    throw std::bad_alloc();
  });
  EXPECT_EQ(r, 1);
  r = SendOneNetworkFrame(commands::kInternalText, ip(), 1, [](CBuffObj&) { return InvalidBuffer(); });
  EXPECT_EQ(r, 1);
  r = SendOneNetworkFrame(commands::kInternalText, ip(), 1, [](CBuffObj&) {
    CBuffObj::tagBufferInfo b = EmptyBuffer();
    std::memset(b.chArrBuffer, 0x55, sizeof b.chArrBuffer);
    b.nBufferLen = 2982;  // one byte too many for a frame
    return b;
  });
  EXPECT_EQ(r, 1);
  EXPECT_FALSE(sim_->waitForFrames(1, 300));
}

}  // namespace
