// Serial lines for tests. The library opens its serial port n as the file
// COM<n> in the working directory; a controller emulator serves the master
// side of a pseudo-terminal, and COM<n> in a fresh temporary working
// directory links to the slave side, so the library's "port n" is that line.
#ifndef VEXA_TESTS_SERIALLINE_H
#define VEXA_TESTS_SERIALLINE_H

#include <gtest/gtest.h>
#include <unistd.h>

#include <chrono>
#include <cstdint>
#include <cstdlib>
#include <memory>
#include <string>
#include <thread>
#include <vector>

#include "SKYREL.h"
#include "VexaSim.h"
#include "transport/CSerialPort.h"

// A controller emulator serving nothing but a pseudo-terminal.
struct SerialLine {
  std::unique_ptr<vexasim::Emulator> sim;
  std::string slave;  // the path the library opens

  bool Open() {
    vexasim::Options o;
    o.udp = false;
    o.tcp = false;
    sim.reset(new vexasim::Emulator(o));
    if (!sim->start()) return false;
    slave = sim->openSerial();
    return !slave.empty();
  }
  // The bytes the controller read, after waiting for n frames.
  std::vector<uint8_t> Received(size_t frames) {
    sim->waitForFrames(frames, 3000);
    std::this_thread::sleep_for(std::chrono::milliseconds(60));
    return sim->serialBytes();
  }
};

// A fresh temporary working directory for one test, in which port names link
// to lines; leave() removes the names and goes back where the test started.
class ComPortDir {
 public:
  void enter() {
    char cwd[4096];
    ASSERT_NE(getcwd(cwd, sizeof cwd), nullptr);
    oldDir_ = cwd;
    char dirTemplate[] = "/tmp/vexa-serial-XXXXXX";
    ASSERT_NE(mkdtemp(dirTemplate), nullptr);
    dir_ = dirTemplate;
    ASSERT_EQ(chdir(dir_.c_str()), 0);
  }

  // Makes port n a name of the device.
  void link(int n, const std::string& device) {
    const std::string name = Name(n);
    ASSERT_EQ(symlink(device.c_str(), name.c_str()), 0) << name;
    links_.push_back(name);
  }
  void unlink(int n) { ASSERT_EQ(::unlink(Name(n).c_str()), 0); }

  void leave() {
    for (const std::string& name : links_) ::unlink(name.c_str());
    links_.clear();
    if (oldDir_.empty()) return;
    if (chdir(oldDir_.c_str()) != 0) ADD_FAILURE() << "cannot return to " << oldDir_;
    rmdir(dir_.c_str());
    oldDir_.clear();
  }

 private:
  static std::string Name(int n) { return "COM" + std::to_string(n); }

  std::string oldDir_, dir_;
  std::vector<std::string> links_;
};

// Tests on serial lines: each runs in its own ComPortDir, with the sender's
// reply wait and attempt count set for the line and put back afterwards.
class ComPortTest : public ::testing::Test {
 protected:
  // Long enough for the emulator's reply to be there when the sender reads,
  // short enough to keep the suite quick (each send sleeps about this long).
  static constexpr int kReceiveTimeOut = 200;

  void SetUp() override {
    receiveTimeOut_ = g_receive_time_out;
    sendTimes_ = g_send_times;
    g_receive_time_out = kReceiveTimeOut;
    g_send_times = 1;
    ASSERT_NO_FATAL_FAILURE(ports_.enter());
  }

  // The lines, members of the suites' fixtures, close after this.
  void TearDown() override {
    CloseCom();
    ports_.leave();
    g_receive_time_out = receiveTimeOut_;
    g_send_times = sendTimes_;
  }

  ComPortDir ports_;

 private:
  int receiveTimeOut_ = 0;
  int sendTimes_ = 0;
};

// One line, port kPort.
class SerialLineTest : public ComPortTest {
 protected:
  static constexpr int kPort = 7;

  void SetUp() override {
    ASSERT_NO_FATAL_FAILURE(ComPortTest::SetUp());
    ASSERT_TRUE(line_.Open());
    emu_ = line_.sim.get();
    link(kPort);
  }

  // Makes port n another name of the emulator's line.
  void link(int n) { ports_.link(n, line_.slave); }

  // The frames the emulator decoded, after waiting for n of them.
  std::vector<vexasim::Frame> frames(size_t n) {
    EXPECT_TRUE(emu_->waitForFrames(n, 5000)) << "expected " << n << " frames";
    return emu_->frames();
  }

  vexasim::Emulator* emu_ = nullptr;

 private:
  SerialLine line_;
};

#endif  // VEXA_TESTS_SERIALLINE_H
