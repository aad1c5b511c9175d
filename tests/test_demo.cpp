// The demonstration program, run as a child process against the in-process
// controller emulator, and its UTF-8 to GBK conversion.
#include <gtest/gtest.h>

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdlib>
#include <string>
#include <vector>

#include "SimFixture.h"
#include "Utf8ToGbk.h"
#include "VexaSim.h"

namespace {

using Bytes = std::vector<uint8_t>;

std::string DemoPath() {
  const char* dir = std::getenv("VEXA_BUILD_DIR");
  return std::string(dir && *dir ? dir : ".") + "/demo/demo";
}

struct DemoRun {
  std::string out, err;
  int status = -1;  // exit status, or -1 when the program was stopped by us
};

// Runs demo with the given arguments. Reads its standard output until `until`
// appears (then stops the program) or the program ends, at most `limitMs`.
DemoRun RunDemo(const std::vector<std::string>& args, const std::string& until, int limitMs) {
  DemoRun run;
  int out[2], err[2];
  if (pipe(out) != 0 || pipe(err) != 0) return run;
  // Everything the child needs is prepared before the fork: the emulator's
  // threads may hold the allocator's lock at that moment.
  std::string path = DemoPath();
  std::vector<std::string> copies = args;
  std::vector<char*> argv{&path[0]};
  for (std::string& a : copies) argv.push_back(&a[0]);
  argv.push_back(nullptr);
  pid_t pid = fork();
  if (pid == 0) {
    dup2(out[1], 1);
    dup2(err[1], 2);
    close(out[0]);
    close(err[0]);
    close(out[1]);
    close(err[1]);
    execv(path.c_str(), argv.data());
    _exit(127);
  }
  close(out[1]);
  close(err[1]);
  const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(limitMs);
  bool outOpen = true, errOpen = true, found = false;
  while ((outOpen || errOpen) && !found) {
    const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(
        deadline - std::chrono::steady_clock::now()).count();
    if (left <= 0) break;
    pollfd fds[2] = {{out[0], POLLIN, 0}, {err[0], POLLIN, 0}};
    if (poll(fds, 2, int(left)) <= 0) continue;
    char buf[512];
    for (int i = 0; i < 2; ++i) {
      if (!(fds[i].revents & (POLLIN | POLLHUP))) continue;
      ssize_t got = read(fds[i].fd, buf, sizeof buf);
      if (got <= 0) {
        (i == 0 ? outOpen : errOpen) = false;
        continue;
      }
      (i == 0 ? run.out : run.err).append(buf, size_t(got));
    }
    found = !until.empty() && run.out.find(until) != std::string::npos;
  }
  int status = 0;
  if (!outOpen && !errOpen) {
    // Both streams ended: the program has ended or is ending.
    waitpid(pid, &status, 0);
    run.status = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
  } else if (waitpid(pid, &status, WNOHANG) == 0) {
    kill(pid, SIGKILL);
    waitpid(pid, &status, 0);
    run.status = -1;
  } else {
    run.status = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
  }
  close(out[0]);
  close(err[0]);
  return run;
}

TEST(Demo, UploadsItsPageAndReportsBothResults) {
  ASSERT_EQ(access(DemoPath().c_str(), X_OK), 0) << DemoPath();
  vexasim::Emulator sim(vexasim::TestOptions());
  std::string error;
  ASSERT_TRUE(sim.start(&error)) << error;

  DemoRun run = RunDemo({vexasim::TestAddress()}, "sleep20s--------", 12000);
  EXPECT_EQ(run.out, "AddTemplate_DateTime=0\nSendTemplateData_Net=0\nsleep20s--------\n");
  EXPECT_EQ(run.err, "");
  EXPECT_EQ(run.status, -1) << "the program ended by itself";

  std::vector<vexasim::Frame> got = sim.frames();
  ASSERT_EQ(got.size(), 2u);
  EXPECT_EQ(got[0].command, 0x22);
  EXPECT_EQ(got[0].raw.size(), 80u);
  EXPECT_EQ(got[1].command, 0x31);
  EXPECT_EQ(got[1].raw.size(), 86u);
}

TEST(Demo, MissingOrMalformedAddressGivesUsage) {
  const std::vector<std::vector<std::string>> cases = {
      {}, {"300.1.1.1"}, {"controller"}, {"127.0.0.1", "extra"}, {""}};
  for (const std::vector<std::string>& args : cases) {
    DemoRun run = RunDemo(args, "", 5000);
    EXPECT_EQ(run.status, 2) << (args.empty() ? "no argument" : args[0]);
    EXPECT_EQ(run.out, "");
    EXPECT_EQ(run.err.rfind("usage: demo ", 0), 0u) << run.err;
    EXPECT_EQ(run.err.back(), '\n');
  }
}

TEST(Utf8ToGbk, ConvertsAndZeroFillsTheBuffer) {
  const struct {
    Bytes in;
    Bytes out;
  } cases[] = {
      {{0xE4, 0xB8, 0xAD}, {0xD6, 0xD0, 0, 0, 0, 0, 0, 0}},                 // 中
      {{'A', 0xE6, 0x96, 0x87, '1'}, {'A', 0xCE, 0xC4, '1', 0, 0, 0, 0}},   // A文1
      {{}, {0, 0, 0, 0, 0, 0, 0, 0}},
  };
  for (const auto& c : cases) {
    Bytes in = c.in;
    std::vector<char> out(8, char(0x5A));
    EXPECT_EQ(Utf8ToGbk(reinterpret_cast<char*>(in.data()), in.size(), out.data(), out.size()), 0);
    EXPECT_EQ(Bytes(out.begin(), out.end()), c.out) << vexasim::hex(c.in);
  }
}

TEST(Utf8ToGbk, RefusesWhatItCannotConvert) {
  const Bytes cases[] = {
      {0xFF, 0xFE},        // no UTF-8 at all
      {0xE4, 0xB8},        // a character cut short
      {0xC0, 0x80},        // an overlong form
      {0xF0, 0x9F, 0x98, 0x80},  // a character GBK has no code for
  };
  for (const Bytes& c : cases) {
    Bytes in = c;
    std::vector<char> out(8);
    EXPECT_EQ(Utf8ToGbk(reinterpret_cast<char*>(in.data()), in.size(), out.data(), out.size()), -1)
        << vexasim::hex(c);
  }
  // Two characters need four bytes: a buffer of three cannot hold them.
  Bytes two = {0xE4, 0xB8, 0xAD, 0xE4, 0xB8, 0xAD};
  char small[3];
  EXPECT_EQ(Utf8ToGbk(reinterpret_cast<char*>(two.data()), two.size(), small, sizeof small), -1);
  char out[4];
  EXPECT_EQ(Utf8ToGbk(nullptr, 3, out, sizeof out), -1);
  EXPECT_EQ(Utf8ToGbk(reinterpret_cast<char*>(two.data()), two.size(), nullptr, 4), -1);
}

}  // namespace
