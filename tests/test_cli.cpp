// The vexa program, run as a child process against in-process controller
// emulators on this suite's loopback addresses: what it sends, what it
// prints, and its exit status.
#include <gtest/gtest.h>

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <functional>
#include <regex>
#include <string>
#include <thread>
#include <vector>

#include "LoginDialer.h"
#include "SimFixture.h"
#include "VexaSim.h"

namespace {

using vexasim::Frame;
using Strings = std::vector<std::string>;

std::string VexaPath() {
  const char* dir = std::getenv("VEXA_BUILD_DIR");
  return std::string(dir && *dir ? dir : ".") + "/cli/vexa";
}

// The suite's second loopback address: 127.N.0.2 for the suite's 127.0.0.N.
std::string SecondAddress() {
  const std::string first = vexasim::TestAddress();
  return "127." + first.substr(first.rfind('.') + 1) + ".0.2";
}

struct Outcome {
  std::string out, err;
  int status = -1;  // exit status; -1 when stopped after the time limit
};

// Runs vexa with `args` in directory `dir` (empty: this one) and waits for
// it to end, at most 20 s.
Outcome Vexa(const Strings& args, const std::string& dir = "") {
  Outcome run;
  int out[2], err[2];
  if (pipe(out) != 0 || pipe(err) != 0) return run;
  // Prepared before the fork: the emulators' threads may hold the
  // allocator's lock at that moment.
  std::string path = VexaPath();
  Strings copies = args;
  std::vector<char*> argv{&path[0]};
  for (std::string& a : copies) argv.push_back(&a[0]);
  argv.push_back(nullptr);
  const pid_t pid = fork();
  if (pid == 0) {
    dup2(out[1], 1);
    dup2(err[1], 2);
    for (int fd : {out[0], out[1], err[0], err[1]}) close(fd);
    if (!dir.empty() && chdir(dir.c_str()) != 0) _exit(126);
    execv(path.c_str(), argv.data());
    _exit(127);
  }
  close(out[1]);
  close(err[1]);
  const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(20);
  bool open[2] = {true, true};
  while ((open[0] || open[1]) && std::chrono::steady_clock::now() < deadline) {
    pollfd fds[2] = {{out[0], POLLIN, 0}, {err[0], POLLIN, 0}};
    if (poll(fds, 2, 200) <= 0) continue;
    char buf[4096];
    for (int i = 0; i < 2; ++i) {
      if (!(fds[i].revents & (POLLIN | POLLHUP))) continue;
      const ssize_t got = read(fds[i].fd, buf, sizeof buf);
      if (got <= 0) {
        open[i] = false;
      } else {
        (i == 0 ? run.out : run.err).append(buf, size_t(got));
      }
    }
  }
  if (open[0] || open[1]) kill(pid, SIGKILL);
  int status = 0;
  waitpid(pid, &status, 0);
  run.status = !open[0] && !open[1] && WIFEXITED(status) ? WEXITSTATUS(status) : -1;
  close(out[0]);
  close(err[0]);
  return run;
}

// Times vary from run to run: "(0.4 ms)" and "ms":0.412 become "(T ms)" and
// "ms":T.
std::string NoTimes(const std::string& s) {
  return std::regex_replace(std::regex_replace(s, std::regex(R"(\(\d+\.\d ms\))"), "(T ms)"),
                            std::regex(R"("ms":\d+\.\d{3})"), "\"ms\":T");
}

class Cli : public ::testing::Test {
 protected:
  static void SetUpTestSuite() {
    ASSERT_EQ(access(VexaPath().c_str(), X_OK), 0) << VexaPath();
    std::string error;
    vexasim::Options second = vexasim::TestOptions();
    second.address = SecondAddress();
    front_ = new vexasim::Emulator(vexasim::TestOptions());
    side_ = new vexasim::Emulator(second);
    ASSERT_TRUE(front_->start(&error)) << error;
    ASSERT_TRUE(side_->start(&error)) << error;
    char dir[] = "/tmp/vexa-cli-XXXXXX";
    ASSERT_NE(mkdtemp(dir), nullptr);
    dir_ = dir;
    const std::string line = front_->openSerial();
    ASSERT_FALSE(line.empty());
    ASSERT_EQ(symlink(line.c_str(), (dir_ + "/COM1").c_str()), 0);
    // A hall of two signs on the suite's addresses, one counter on both.
    std::ofstream(dir_ + "/hall.toml")
        << "[hall]\ntimeout_ms = 1000\nretries = 0\n\n"
           "[announcement]\ntext = \"Ticket {ticket}, counter {counter}\"\n\n"
           "[[sign]]\nname = \"front\"\ntransport = \"udp\"\naddress = \"" << vexasim::TestAddress()
        << "\"\nwidth = 64\nheight = 16\nspeaks = true\n"
           "[[sign.page]]\nnumber = 1\n[[sign.page.area]]\nwidth = 64\nheight = 16\n"
           "[[sign.page.area.material]]\nkind = \"lineup\"\nfield = 1\n\n"
           "[[sign]]\nname = \"side\"\ntransport = \"tcp\"\naddress = \"" << SecondAddress()
        << "\"\nwidth = 128\nheight = 16\n\n"
           "[[counter]]\nnumber = 2\nlineup = { sign = \"front\", field = 1 }\n"
           "data = { sign = \"side\", field = 3 }\n";
  }
  static void TearDownTestSuite() {
    delete front_;
    delete side_;
    std::error_code ignored;
    std::filesystem::remove_all(dir_, ignored);
  }
  void SetUp() override {
    for (vexasim::Emulator* e : {front_, side_}) {
      e->setReplyMode(vexasim::ReplyMode::Accept);
      e->setReplyOverride(nullptr);
      e->clear();
    }
  }
  std::string Hall() const { return dir_ + "/hall.toml"; }

  static vexasim::Emulator* front_;
  static vexasim::Emulator* side_;
  static std::string dir_;
};

vexasim::Emulator* Cli::front_ = nullptr;
vexasim::Emulator* Cli::side_ = nullptr;
std::string Cli::dir_;

TEST_F(Cli, EachCommandSendsItsFrameAndReportsAcceptance) {
  const std::string a = vexasim::TestAddress();
  struct Case {
    Strings args;
    int command;
    std::function<void(const Frame&)> check;  // what the frame must carry
  };
  const auto payload = [](const std::string& hex) {
    return [hex](const Frame& f) { EXPECT_EQ(vexasim::hex(f.payload), hex) << f.text(); };
  };
  const std::string pairs = " FF 00 FF 00 FF 00 FF 00 FF 00 FF 00";
  const Case cases[] = {
      {{"play", "1"}, 0x66, payload("01 FE")},
      {{"start"}, 0x51, payload("")},
      {{"stop"}, 0x52, payload("")},
      {{"bright", "10", "1"}, 0x76, payload("0A F5 01 FE")},
      {{"relay", "3", "on"}, 0x61, payload("FF 00 FF 00 FC 03" + pairs.substr(0, 30))},
      {{"relay", "2", "off"}, 0x61, payload("FF 00 FD 02" + pairs)},
      {{"relay", "1", "pulse", "5"}, 0x61, payload("B4 4B" + pairs + " FF 00")},
      {{"data", "1", "A012", "--colour", "green"}, 0x65, payload("01 00 00 20 04 41 30 31 32")},
      {{"data", "7", "中"}, 0x65, payload("07 00 00 10 02 D6 D0")},
      {{"coord", "8", "16", "C3"}, 0x60,
       [](const Frame& f) {
         EXPECT_EQ(f.number("x"), 8);
         EXPECT_EQ(f.number("y"), 16);
         EXPECT_EQ(f.bytes("text"), "C3");
       }},
      {{"lineup", "3", "A012"}, 0x64,
       [](const Frame& f) {
         EXPECT_EQ(f.number("slotNo"), 3);
         EXPECT_EQ(f.get("lineKind"), "1");
         EXPECT_EQ(f.bytes("text"), "A012");
       }},
      {{"voice", "A012", "--voice-tag", "5"}, 0x68,
       [](const Frame& f) { EXPECT_EQ(f.bytes("spokenText"), "[v5]A012") << f.text(); }},
      {{"image", "3"}, 0x67, [](const Frame& f) { EXPECT_EQ(f.number("b"), 3) << f.text(); }},
      {{"text", "Hi"}, 0x31,
       [](const Frame& f) {
         EXPECT_EQ(f.bytes("text"), "Hi") << f.text();
         EXPECT_EQ(f.number("areaWidth8"), 8);  // 64 dots without a hall file
       }},
  };
  for (const Case& c : cases) {
    front_->clear();
    Strings args = {"--address", a, "--timeout", "2000"};
    args.insert(args.end(), c.args.begin(), c.args.end());
    const Outcome run = Vexa(args);
    const std::string name = c.args[0] == "relay" ? "relay" : c.args[0];
    EXPECT_EQ(run.status, 0) << c.args[0] << run.err;
    EXPECT_EQ(NoTimes(run.out), a + " " + name + ": accepted (T ms)\n") << c.args[0];
    EXPECT_EQ(run.err, "");
    ASSERT_TRUE(front_->waitForFrames(1, 2000)) << c.args[0];
    const std::vector<Frame> got = front_->frames();
    ASSERT_EQ(got.size(), 1u) << c.args[0];
    EXPECT_EQ(got[0].command, c.command) << c.args[0];
    EXPECT_TRUE(got[0].checksOk) << got[0].error;
    c.check(got[0]);
  }
}

TEST_F(Cli, RefusalsAndSilenceGiveTheirResultCodes) {
  const std::string a = vexasim::TestAddress();
  const struct {
    vexasim::ReplyMode mode;
    int status;
    std::string line;
  } cases[] = {
      {vexasim::ReplyMode::Refuse2, 3,
       "result 3, refused with status \"2\": controller " + a + " refused the command: status \"2\""},
      {vexasim::ReplyMode::Refuse3, 4,
       "result 4, refused with status \"3\": controller " + a + " refused the command: status \"3\""},
      {vexasim::ReplyMode::Silent, 2,
       "result 2, no reply: controller " + a + ": no reply within 100 ms after 1 attempt"},
  };
  for (const auto& c : cases) {
    front_->setReplyMode(c.mode);
    const Outcome run = Vexa({"--address", a, "--timeout", "100", "--retries", "0", "play", "2"});
    EXPECT_EQ(run.status, c.status) << run.err;
    EXPECT_EQ(NoTimes(run.out), a + " play: " + c.line + " (T ms)\n");
    const Outcome json = Vexa({"--address", a, "--timeout", "100", "--retries", "0", "--json", "stop"});
    EXPECT_EQ(json.status, c.status);
    EXPECT_NE(json.out.find("\"result\":" + std::to_string(c.status) + ","), std::string::npos)
        << json.out;
  }
  front_->setReplyMode(vexasim::ReplyMode::Accept);
  const Outcome ok = Vexa({"--json", "play", "4", "--address", a});
  EXPECT_EQ(NoTimes(ok.out), "{\"sign\":\"" + a +
                                 "\",\"command\":\"play\",\"result\":0,\"result_text\":"
                                 "\"accepted\",\"reason\":\"\",\"ms\":T}\n");
  // --trace: the library's frame trace on standard error.
  const Outcome traced = Vexa({"--trace", "play", "1", "--address", a});
  EXPECT_EQ(traced.status, 0);
  EXPECT_NE(traced.err.find("> frame 1 of 1: 21 bytes PlayShowPage\n"
                            "    FE 5C 4B 89 15 00 00 00 66 00 00 00 00 02 00 00 00 01 FE FF FF\n"),
            std::string::npos)
      << traced.err;
}

TEST_F(Cli, PingCountsEveryFrameByItsOutcome) {
  const std::string a = vexasim::TestAddress();
  // The second frame goes unanswered, the others are accepted.
  std::atomic<int> seen{0};
  front_->setReplyOverride([&seen](const Frame&) -> std::optional<std::vector<uint8_t>> {
    if (++seen == 2) return std::vector<uint8_t>{};
    return std::nullopt;
  });
  const Outcome run =
      Vexa({"--address", a, "--timeout", "200", "--retries", "0", "--interval", "0", "--count", "3", "ping"});
  EXPECT_EQ(run.status, 2) << run.err;
  const std::regex expected(
      "(" + a + " clock: accepted \\(\\S+ ms\\)\n" + a + " clock: result 2, no reply: [^\n]*\n" + a +
      " clock: accepted \\(\\S+ ms\\)\n)--- " + a +
      " ping statistics ---\n3 frames transmitted, 2 accepted, 0 refused, 1 no reply, 33.3% frame "
      "loss\nround-trip min/avg/max = ([0-9.]+)/([0-9.]+)/([0-9.]+) ms\n");
  std::smatch m;
  ASSERT_TRUE(std::regex_match(run.out, m, expected)) << run.out;
  EXPECT_LE(std::stod(m[2]), std::stod(m[3]));
  EXPECT_LE(std::stod(m[3]), std::stod(m[4]));
  const std::vector<Frame> got = front_->frames();
  ASSERT_EQ(got.size(), 3u);
  for (const Frame& f : got) EXPECT_EQ(f.command, 0x63);  // the clock, set from the host's

  front_->setReplyOverride(nullptr);
  front_->setReplyMode(vexasim::ReplyMode::Silent);
  const Outcome silent = Vexa({"--address", a, "--timeout", "50", "--retries", "0", "--interval", "0", "ping"});
  EXPECT_EQ(silent.status, 2);
  EXPECT_NE(silent.out.find("\n4 frames transmitted, 0 accepted, 0 refused, 4 no reply, 100.0% "
                            "frame loss\nround-trip min/avg/max = -/-/- ms\n"),
            std::string::npos)
      << silent.out;
}

TEST_F(Cli, UsageErrorsSendNothing) {
  const std::string a = vexasim::TestAddress();
  const Strings cases[] = {
      {},
      {"play", "1"},  // no target
      {"--address", a, "play"},
      {"--address", a, "play", "256"},
      {"--address", a, "frobnicate"},
      {"--address", a, "--bogus", "play", "1"},
      {"--address", "10.0.0.300", "play", "1"},
      {"--address", a, "--serial", "COM1", "play", "1"},
      {"--address", a, "--tcp", "--login-port", "9000", "play", "1"},
      {"--address", a, "relay", "9", "on"},
      {"--address", a, "relay", "1", "pulse"},
      {"--address", a, "relay", "1", "on", "3"},
      {"--address", a, "image"},
      {"--address", a, "call", "A012", "2"},
      {"--address", a, "bar", "A012"},
      {"--serial", "COM1", "coord", "0", "0", "x"},
      {"--serial", "COMX", "play", "1"},
      {"--hall", Hall(), "--sign", "nosuch", "play", "1"},
      {"--hall", Hall(), "--sign", "front", "--all", "play", "1"},
  };
  for (const Strings& args : cases) {
    const Outcome run = Vexa(args, dir_);
    const std::string name = args.empty() ? "(none)" : args.back();
    EXPECT_EQ(run.status, 64) << name << ": " << run.err;
    EXPECT_EQ(run.out, "") << name;
    EXPECT_EQ(run.err.rfind("vexa: ", 0), 0u) << run.err;
  }
  EXPECT_EQ(front_->framesSeen(), 0u);
}

TEST_F(Cli, HallFileMistakesAndUnreadableHall) {
  const std::string bad = dir_ + "/bad.toml";
  std::ofstream(bad) << "[hall]\ntimeout_ms = 5\n\n[[sign]]\nname = \"front\"\ntransport = \"udp\"\n"
                        "address = \"300.1.1.1\"\nwidth = 64\nheight = 16\n";
  Outcome run = Vexa({"--hall", bad, "--all", "play", "1"});
  EXPECT_EQ(run.status, 65);
  EXPECT_EQ(run.err, bad + ":2:14: \"timeout_ms\" is 5, not within 10 to 600000\n" + bad +
                         ":7:11: \"address\" must be a dotted IPv4 address\n");
  EXPECT_EQ(run.out, "");

  // VEXA_HALL is not set here: the default is ./hall.toml, absent in /.
  run = Vexa({"--sign", "front", "play", "1"}, "/");
  EXPECT_EQ(run.status, 66) << run.err;
  EXPECT_EQ(run.err, "hall.toml: cannot read the file: No such file or directory\n");
  run = Vexa({"--hall", dir_, "call", "A1", "2"});
  EXPECT_EQ(run.status, 66) << run.err;
  EXPECT_EQ(front_->framesSeen() + side_->framesSeen(), 0u);
}

TEST_F(Cli, CallAndUploadGoToTheHallsSigns) {
  Outcome run = Vexa({"--hall", Hall(), "call", "A012", "7"});
  EXPECT_EQ(run.status, 65);
  EXPECT_EQ(run.err, "vexa: " + Hall() + ": the hall has no counter 7; nothing sent\n");
  EXPECT_EQ(front_->framesSeen() + side_->framesSeen(), 0u);

  // The hall file from the working directory.
  run = Vexa({"--json", "call", "A012", "2"}, dir_);
  EXPECT_EQ(run.status, 0) << run.err;
  EXPECT_EQ(NoTimes(run.out),
            "{\"sign\":\"front\",\"command\":\"lineup\",\"result\":0,\"result_text\":\"accepted\","
            "\"reason\":\"\",\"ms\":T}\n"
            "{\"sign\":\"side\",\"command\":\"data\",\"result\":0,\"result_text\":\"accepted\","
            "\"reason\":\"\",\"ms\":T}\n"
            "{\"sign\":\"front\",\"command\":\"voice\",\"result\":0,\"result_text\":\"accepted\","
            "\"reason\":\"\",\"ms\":T}\n");
  ASSERT_TRUE(front_->waitForFrames(2, 2000));
  std::vector<Frame> got = front_->frames();
  ASSERT_EQ(got.size(), 2u);
  EXPECT_EQ(got[0].command, 0x64);
  EXPECT_EQ(got[0].bytes("text"), "A012");
  EXPECT_EQ(got[1].bytes("spokenText"), "Ticket A 0 1 2, counter 2");
  ASSERT_TRUE(side_->waitForFrames(1, 2000));
  EXPECT_EQ(vexasim::hex(side_->frames()[0].payload), "03 00 00 10 04 41 30 31 32");

  // A refusing sign: every sign still hears, the status is the refusal's.
  front_->clear();
  side_->setReplyMode(vexasim::ReplyMode::Refuse2);
  run = Vexa({"--hall", Hall(), "--all", "start"});
  EXPECT_EQ(run.status, 3);
  EXPECT_EQ(NoTimes(run.out), "front start: accepted (T ms)\nside start: result 3, refused with status "
                              "\"2\": controller " + SecondAddress() +
                                  " refused the command: status \"2\" (T ms)\n");

  front_->clear();
  run = Vexa({"--hall", Hall(), "upload"});
  EXPECT_EQ(run.status, 0) << run.err;
  EXPECT_EQ(NoTimes(run.out), "front upload: accepted (T ms)\n");
  ASSERT_TRUE(front_->waitForFrames(2, 2000));
  EXPECT_EQ(front_->frames()[0].command, 0x22);  // the page set, then its materials
  EXPECT_EQ(front_->frames()[1].command, 0x31);
}

TEST_F(Cli, SerialLineAndLoginLink) {
  front_->clear();
  Outcome run = Vexa({"--serial", "COM1", "--bus", "5", "--timeout", "1000", "play", "1"}, dir_);
  EXPECT_EQ(run.status, 0) << run.err;
  EXPECT_EQ(NoTimes(run.out), "COM1 bus 5 play: accepted (T ms)\n");
  ASSERT_TRUE(front_->waitForFrames(1, 2000));
  EXPECT_EQ(front_->frames()[0].kind, "rs485");
  EXPECT_EQ(front_->frames()[0].get("address"), "00 00 00 00 00 00 00 05");
  EXPECT_EQ(front_->frames()[0].number("page"), 1);

  front_->clear();
  run = Vexa({"--serial", "1", "--timeout", "1000", "bar", "--screen", "3", "A012"}, dir_);
  EXPECT_EQ(run.status, 0) << run.err;
  EXPECT_EQ(NoTimes(run.out), "COM1 bar 3 bar: accepted (T ms)\n");
  ASSERT_TRUE(front_->waitForFrames(1, 2000));
  EXPECT_EQ(front_->frames()[0].kind, "bar");
  EXPECT_EQ(front_->frames()[0].number("address"), 3) << front_->frames()[0].text();

  // The controller dials in after vexa has opened its login server.
  const char* portText = std::getenv("VEXA_TEST_LOGIN_PORT");
  const std::string port = portText && *portText ? portText : "19099";
  vexasim::LoginDialer dialer(vexasim::TestAddress());
  std::thread dial([&] {
    for (int i = 0; i < 200 && !dialer.connect("127.0.0.1", std::stoi(port)); ++i) {
      std::this_thread::sleep_for(std::chrono::milliseconds(20));
    }
  });
  run = Vexa({"--address", vexasim::TestAddress(), "--login-port", port, "--timeout", "5000",
              "play", "9"});
  dial.join();
  EXPECT_EQ(run.status, 0) << run.err;
  ASSERT_TRUE(dialer.waitForFrames(1, 2000));
  EXPECT_EQ(vexasim::hex(dialer.frames()[0].payload), "09 F6");
}

TEST(CliCheckText, ShowsGbkBytesAndWhatCannotBeShown) {
  char dir[] = "/tmp/vexa-font-XXXXXX";
  ASSERT_NE(mkdtemp(dir), nullptr);
  const std::string font = std::string(dir) + "/font.hex";
  std::ofstream(font) << "0041:00000000182424427E4242420000\n";  // "A" only
  const struct {
    Strings args;
    int status;
    std::string out;
  } cases[] = {
      {{"check-text", "中A", "--font", font}, 65,
       "GBK: D6 D0 41 (3 bytes)\nthe font has no glyph for U+4E2D '中'\n"},
      {{"check-text", "A😀", "--font", font}, 65,
       "GBK: 41 (1 bytes)\nGBK cannot hold U+1F600 '😀'\nthe font has no glyph for U+1F600 '😀'\n"},
      {{"check-text", "AA", "--font", font}, 0, "GBK: 41 41 (2 bytes)\nevery character can be sent and shown\n"},
      {{"check-text", "\xFF" "A", "--font", font}, 65,
       "GBK: 41 (1 bytes)\nGBK cannot hold byte 0xFF (no UTF-8)\n"},
      {{"check-text", "中", "--font", font + ".missing"}, 0,
       "GBK: D6 D0 (2 bytes)\nfont " + font + ".missing cannot be read: GBK checked only\n"
       "every character can be sent\n"},
  };
  for (const auto& c : cases) {
    const Outcome run = Vexa(c.args);
    EXPECT_EQ(run.status, c.status) << c.args[1];
    EXPECT_EQ(run.out, c.out) << c.args[1];
  }
  std::error_code ignored;
  std::filesystem::remove_all(dir, ignored);
}

}  // namespace
