// A bounded soak: controllers dial in to the login server and hang up 600
// times (300 times from one address, once each from 300 others) while the
// application sends in every mode and makes calls that are refused. At the
// end the process holds the descriptors, threads and heap it began with.
#include <dirent.h>
#include <gtest/gtest.h>
#include <malloc.h>

#include <chrono>
#include <cstdlib>
#include <fstream>
#include <memory>
#include <string>
#include <thread>
#include <vector>

#include "LoginDialer.h"
#include "ProcessStats.h"
#include "SKYREL.h"
#include "SerialLine.h"
#include "SimFixture.h"
#include "VexaSim.h"
#include "model/GlobalMember.h"

namespace {


constexpr int kCycles = 600;
constexpr int kWaitMs = 15000;

// Heap bytes in use (0 where a sanitizer replaces the allocator).
size_t HeapInUse() { return mallinfo2().uordblks; }

int LoginPort() {
  const char* p = std::getenv("VEXA_TEST_LOGIN_PORT");
  return p && *p ? std::atoi(p) : 19098;
}

size_t Listed() {
  std::lock_guard<std::mutex> lock(globalMember.clientLock);
  return globalMember.socketClients.size();
}

bool IsListed(const std::string& address) {
  std::lock_guard<std::mutex> lock(globalMember.clientLock);
  for (const auto& c : globalMember.socketClients) {
    if (c.strIp == address) return true;
  }
  return false;
}

class Soak : public SerialLineTest {};

TEST_F(Soak, LoginChurnAndSendsInEveryModeLeaveNothingBehind) {
  const std::string suite = vexasim::TestAddress();
  const std::string octet = suite.substr(suite.rfind('.') + 1);
  vexasim::Emulator controller(vexasim::TestOptions());
  ASSERT_TRUE(controller.start());
  ASSERT_EQ(OpenServer(LoginPort()), 0);
  std::string ip = suite, bad = "10.0.0.300", text = "A012", bus = "5";
  std::string longText(3200, 'x');
  BindNetworkCard(&ip[0], 0);
  SetReceiveTimeOut(200);

  // One round of everything that is not a login: sends in datagram and
  // stream mode, on the serial line now and then, and refusals.
  auto sendRound = [&](int cycle) {
    EXPECT_EQ(PlayShowPage_Net(&ip[0], 1, 1), 0);
    EXPECT_EQ(SendCollectionData_Net(&text[0], &ip[0], 2, 1, 3, 2, 1), 0);
    EXPECT_EQ(PlayShowPage_Net(&bad[0], 1, 1), 1);
    EXPECT_EQ(SendCoordinateText_Net(&longText[0], &ip[0], 1, 0, 0, 1, 1, 0), 1);
    EXPECT_EQ(SetBright_Com(&bus[0], 2, kPort, 9600, 1, 1), 1);
    if (cycle % 50 == 0) {
      EXPECT_EQ(PlayShowPage_Com(&bus[0], 2, kPort, 9600, 1), 0);
    }
    controller.clear();
  };
  // Warm up: every path once, so that what is made once per process exists.
  sendRound(0);
  {
    vexasim::LoginDialer d("127." + octet + ".1.1");
    ASSERT_TRUE(d.connect("127.0.0.1", LoginPort()));
    ASSERT_TRUE(d.waitForGreetings(1, 10000));
    ASSERT_TRUE(WaitUntil([&] { return Listed() == 1; }, kWaitMs));
  }
  ASSERT_TRUE(WaitUntil([&] { return Listed() == 0; }, kWaitMs));
  const int fdsBefore = OpenDescriptors();
  const int threadsBefore = ThreadCount();
  const size_t heapBefore = HeapInUse();

  for (int cycle = 0; cycle < kCycles; ++cycle) {
    std::string source = cycle < kCycles / 2
                                   ? "127." + octet + ".1.1"
                                   : "127." + octet + "." + std::to_string(cycle / 200 + 2) +
                                         "." + std::to_string(cycle % 200 + 1);
    vexasim::LoginDialer d(source);
    ASSERT_TRUE(d.connect("127.0.0.1", LoginPort())) << "cycle " << cycle;
    ASSERT_TRUE(d.waitForGreetings(1, 10000)) << "cycle " << cycle;
    if (cycle % 20 == 0) {
      // Reached over its own connection once it is listed.
      ASSERT_TRUE(WaitUntil([&] { return IsListed(source); }, kWaitMs));
      EXPECT_EQ(StartPlay_Net(&source[0], 3), 0) << "cycle " << cycle;
    }
    if (cycle % 10 == 0) sendRound(cycle);
  }

  EXPECT_TRUE(WaitUntil([&] { return Listed() == 0; }, kWaitMs))
      << Listed() << " hung-up clients listed";
  EXPECT_TRUE(WaitUntil([&] { return OpenDescriptors() <= fdsBefore + 10; }, kWaitMs))
      << OpenDescriptors() - fdsBefore << " more descriptors than before";
  EXPECT_TRUE(WaitUntil([&] { return ThreadCount() <= threadsBefore; }, kWaitMs))
      << ThreadCount() - threadsBefore << " more threads than before";
  if (heapBefore != 0) {
    EXPECT_LT(HeapInUse(), heapBefore + 1024 * 1024) << "heap grew from " << heapBefore;
  }
}

}  // namespace
