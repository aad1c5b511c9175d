// Several application threads at once: each drives a controller of its own
// with every family of commands, while all of them share the process-wide
// state (the show-page model, the multi-part and image-group buffers, the
// serial port, the settings). The suite runs in the AddressSanitizer and the
// ThreadSanitizer builds too: there, any race or misuse of memory fails it.
#include <gtest/gtest.h>

#include <atomic>
#include <memory>
#include <regex>
#include <string>
#include <thread>
#include <vector>

#include "ImageFiles.h"
#include "SKYREL.h"
#include "SerialLine.h"
#include "SimFixture.h"
#include "VexaSim.h"
#include "model/GlobalMember.h"

namespace {

constexpr int kThreads = 8;
constexpr int kRounds = 12;
constexpr int kReceiveTimeOutMs = 500;

// The address of thread t's controller: 127.<suite octet>.9.<t + 1>.
std::string ControllerAddress(int t) {
  const std::string suite = vexasim::TestAddress();
  return "127." + suite.substr(suite.rfind('.') + 1) + ".9." + std::to_string(t + 1);
}

// Every "Q<digit>Q" tag in the bytes: the threads whose texts they carry.
std::vector<int> TagsIn(const std::vector<uint8_t>& raw) {
  std::vector<int> tags;
  for (size_t i = 0; i + 2 < raw.size(); ++i) {
    if (raw[i] == 'Q' && raw[i + 1] >= '0' && raw[i + 1] <= '9' && raw[i + 2] == 'Q') {
      tags.push_back(raw[i + 1] - '0');
    }
  }
  return tags;
}

class Concurrency : public SerialLineTest {};

TEST_F(Concurrency, ThreadsDrivingTheirOwnControllersWithEveryFamily) {
  std::vector<std::unique_ptr<vexasim::Emulator>> controllers;
  for (int t = 0; t < kThreads; ++t) {
    vexasim::Options o;
    o.address = ControllerAddress(t);
    controllers.push_back(std::make_unique<vexasim::Emulator>(o));
    std::string error;
    ASSERT_TRUE(controllers.back()->start(&error)) << error;
  }
  imagefiles::ScratchDir dir;
  const std::string picture = dir.write("quadrants.png", imagefiles::Quadrants());
  // Generous for the network; the serial line's pauses grow with it, so the
  // serial line is used in a few rounds only.
  SetReceiveTimeOut(kReceiveTimeOutMs);
  BindNetworkCard(const_cast<char*>("127.0.0.1"), 0);

  std::atomic<int> wrongResults{0};
  auto expectAccepted = [&](int result) {
    if (result != 0) ++wrongResults;
  };
  std::vector<std::thread> threads;
  for (int t = 0; t < kThreads; ++t) {
    threads.emplace_back([&, t] {
      std::string ip = ControllerAddress(t);
      std::string tag = "Q" + std::to_string(t) + "Q";
      std::string from = "00:00", to = "23:59", file = picture, bus = "5";
      char* const addr = &ip[0];
      for (int round = 0; round < kRounds; ++round) {
        // Single frames over datagrams and streams.
        expectAccepted(PlayShowPage_Net(addr, 1, t + 1));
        expectAccepted(RelaySwitch_Net(addr, 2, 3, 1));
        std::string text = tag + "counter " + std::to_string(round);
        expectAccepted(SendInternalText_Net(&text[0], addr, 1, 64, 16, 7, 0, 0, 0, 0, 1, 1, 0,
                                            1, true, 0));
        // A multi-part text and an image group, with other work between
        // their pieces: another thread may abandon them (result 1), but
        // nothing else.
        std::string a = tag + "first", b = tag + "second";
        const int p1 = SendMulCollectionData_Net(&a[0], addr, 1, 1, 0, 3, 2, 1, 1, 3);
        expectAccepted(StartPlay_Net(addr, 1));
        const int p2 = SendMulCollectionData_Net(&b[0], addr, 1, 1, 0, 3, 2, 1, 2, 3);
        expectAccepted(StopPlay_Net(addr, 1));
        const int p3 = SendMulCollectionData_Net(&a[0], addr, 1, 1, 0, 3, 2, 1, 3, 3);
        if (p1 > 1 || p2 > 1 || p3 > 1) ++wrongResults;
        const int i1 = SendImageGroup_Net(&file[0], addr, 1, 16, 8, 9, 0, 1, 2, 3, 1, true, 1, 2);
        expectAccepted(StartPlay_Net(addr, 1));
        const int i2 = SendImageGroup_Net(&file[0], addr, 1, 16, 8, 9, 0, 1, 2, 3, 1, true, 2, 2);
        if (i1 > 1 || i2 > 1) ++wrongResults;
        // The shared page-set model and its upload.
        AddShowPage(t + 1, &from[0], &to[0], 0);
        AddArea(t + 1, 0, 0, 64, 16);
        AddTemplate_CollectData(t + 1, &text[0], 1, 1, 3, 2, 1);
        CheckShowPage();
        if (SendTemplateData_Net(addr, 1) > 1) ++wrongResults;
        // The one serial line, and the settings.
        if (round % 6 == 0) expectAccepted(PlayShowPage_Com(&bus[0], 2, kPort, 9600, t + 1));
        SetReceiveTimeOut(kReceiveTimeOutMs);
        SetReSendTimes(0);
      }
    });
  }
  for (std::thread& th : threads) th.join();
  EXPECT_EQ(wrongResults.load(), 0);

  for (int t = 0; t < kThreads; ++t) {
    for (const vexasim::Frame& f : controllers[static_cast<size_t>(t)]->frames()) {
      EXPECT_TRUE(f.checksOk) << f.text();
      for (int tag : TagsIn(f.raw)) {
        EXPECT_EQ(tag, t) << "controller " << t << " got thread " << tag << "'s text: " << f.text();
      }
    }
  }
  EXPECT_EQ(frames(static_cast<size_t>(kThreads * 2)).size(), static_cast<size_t>(kThreads * 2));
  globalMember.showPages.clear();
}

}  // namespace
