// A serial line for tests: the controller emulator serves the master side of
// a pseudo-terminal, and the file COM<n> in a fresh temporary working
// directory links to its slave side, so the library's "port n" is that line.
#ifndef VEXA_TESTS_SERIALLINE_H
#define VEXA_TESTS_SERIALLINE_H

#include <gtest/gtest.h>
#include <unistd.h>

#include <cstdlib>
#include <memory>
#include <string>
#include <vector>

#include "SKYREL.h"
#include "VexaSim.h"
#include "transport/CSerialPort.h"

class SerialLineTest : public ::testing::Test {
 protected:
  static constexpr int kPort = 7;
  // Long enough for the emulator's reply to be there when the sender reads,
  // short enough to keep the suite quick (each send sleeps about this long).
  static constexpr int kReceiveTimeOut = 200;

  void SetUp() override {
    receiveTimeOut_ = g_receive_time_out;
    sendTimes_ = g_send_times;
    g_receive_time_out = kReceiveTimeOut;
    g_send_times = 1;
    char cwd[4096];
    ASSERT_NE(getcwd(cwd, sizeof cwd), nullptr);
    oldDir_ = cwd;
    char dirTemplate[] = "/tmp/vexa-serial-XXXXXX";
    ASSERT_NE(mkdtemp(dirTemplate), nullptr);
    dir_ = dirTemplate;
    ASSERT_EQ(chdir(dir_.c_str()), 0);
    vexasim::Options o;
    o.udp = false;
    o.tcp = false;
    emu_.reset(new vexasim::Emulator(o));
    ASSERT_TRUE(emu_->start());
    slave_ = emu_->openSerial();
    ASSERT_FALSE(slave_.empty());
    link(kPort);
  }

  void TearDown() override {
    CloseCom();
    emu_.reset();
    for (const std::string& name : links_) unlink(name.c_str());
    if (chdir(oldDir_.c_str()) != 0) ADD_FAILURE() << "cannot return to " << oldDir_;
    rmdir(dir_.c_str());
    g_receive_time_out = receiveTimeOut_;
    g_send_times = sendTimes_;
  }

  // Makes port n another name of the emulator's line.
  void link(int n) {
    const std::string name = "COM" + std::to_string(n);
    ASSERT_EQ(symlink(slave_.c_str(), name.c_str()), 0) << name;
    links_.push_back(name);
  }

  // The frames the emulator decoded, after waiting for n of them.
  std::vector<vexasim::Frame> frames(size_t n) {
    EXPECT_TRUE(emu_->waitForFrames(n, 5000)) << "expected " << n << " frames";
    return emu_->frames();
  }

  std::unique_ptr<vexasim::Emulator> emu_;

 private:
  std::string oldDir_, dir_, slave_;
  std::vector<std::string> links_;
  int receiveTimeOut_ = 0;
  int sendTimes_ = 0;
};

#endif  // VEXA_TESTS_SERIALLINE_H
