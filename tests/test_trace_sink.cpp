// Where the trace goes when VEXA_TRACE names something awkward: "0" and ""
// mean off; a FIFO without a reader, a reader that stops reading and one
// that leaves never block a call or kill the application. Each case runs in
// a child process, which reads VEXA_TRACE afresh.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <poll.h>
#include <signal.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdlib>
#include <functional>
#include <regex>
#include <string>
#include <thread>
#include <vector>

#include "SKYREL.h"
#include "core/Trace.h"

namespace {

using Clock = std::chrono::steady_clock;

// A call the library refuses at once, writing one trace record.
int Refusal() {
  char bad[] = "10.0.0.300";
  return PlayShowPage_Net(bad, 1, 1);
}

struct Scratch {
  std::string dir;
  Scratch() {
    char name[] = "/tmp/vexa-trace-sink-XXXXXX";
    dir = mkdtemp(name) ? name : "";
  }
  ~Scratch() {
    if (std::system(("rm -rf " + dir).c_str()) != 0) ADD_FAILURE() << "cannot remove " << dir;
  }
};

// Bytes between parent and child: the child says it reached a step, the
// parent says go on.
struct Signals {
  int toParent[2] = {-1, -1};
  int toChild[2] = {-1, -1};
  Signals() {
    if (pipe(toParent) != 0 || pipe(toChild) != 0) ADD_FAILURE() << "no pipe";
  }
  static bool Wait(int fd) {
    pollfd p{fd, POLLIN, 0};
    char c;
    return poll(&p, 1, 20000) == 1 && read(fd, &c, 1) == 1;
  }
  static void Tell(int fd) { (void)!write(fd, "x", 1); }
};

// Runs `body` in a child with VEXA_TRACE set to `trace`; the child's exit
// status, or -1 when it had to be killed after 20 s (it hung).
pid_t Start(const std::string& trace, const std::function<int()>& body) {
  const pid_t child = fork();
  if (child == 0) {
    setenv("VEXA_TRACE", trace.c_str(), 1);
    _exit(body());
  }
  return child;
}

int Finish(pid_t child) {
  const Clock::time_point deadline = Clock::now() + std::chrono::seconds(20);
  int status = 0;
  while (waitpid(child, &status, WNOHANG) == 0) {
    if (Clock::now() > deadline) {
      kill(child, SIGKILL);
      waitpid(child, &status, 0);
      return -1;
    }
    std::this_thread::sleep_for(std::chrono::milliseconds(10));
  }
  if (WIFSIGNALED(status)) return 1000 + WTERMSIG(status);
  return WEXITSTATUS(status);
}

// Everything the FIFO's reader end holds now.
std::string Drain(int fd) {
  std::string got;
  char buffer[65536];
  for (ssize_t n; (n = read(fd, buffer, sizeof buffer)) > 0;) got.append(buffer, size_t(n));
  return got;
}

// The records of a trace text: each line must be a whole record.
std::vector<std::string> Lines(const std::string& text) {
  std::vector<std::string> lines;
  const std::regex whole(R"(\d{4}-\d\d-\d\d \d\d:\d\d:\d\d\.\d{3} thread \d+ (.*))");
  size_t from = 0;
  for (size_t end; (end = text.find('\n', from)) != std::string::npos; from = end + 1) {
    std::smatch m;
    const std::string line = text.substr(from, end - from);
    EXPECT_TRUE(std::regex_match(line, m, whole)) << "a cut line: " << line;
    lines.push_back(m.size() > 1 ? m[1].str() : line);
  }
  EXPECT_EQ(from, text.size()) << "the text ends inside a line";
  return lines;
}

const char kRefusal[] = "refused: address \"10.0.0.300\" is not dotted IPv4";

TEST(TraceSink, ZeroAndEmptyMeanOff) {
  for (const char* value : {"0", ""}) {
    Scratch scratch;
    const pid_t child = Start(value, [&] {
      if (chdir(scratch.dir.c_str()) != 0) return 2;
      return Refusal() == 1 && !trace::On() ? 0 : 1;
    });
    EXPECT_EQ(Finish(child), 0) << "\"" << value << "\"";
    struct stat st{};
    EXPECT_NE(stat((scratch.dir + "/0").c_str(), &st), 0) << "a file named 0 was written";
  }
}

TEST(TraceSink, AFifoWithoutAReaderDelaysNothing) {
  Scratch scratch;
  const std::string fifo = scratch.dir + "/trace";
  ASSERT_EQ(mkfifo(fifo.c_str(), 0600), 0);
  const pid_t child = Start(fifo, [] {
    for (int i = 0; i < 3; ++i) {
      if (Refusal() != 1) return 1;
    }
    return 0;
  });
  EXPECT_EQ(Finish(child), 0) << "-1: the calls hung";
}

TEST(TraceSink, AReaderThatStopsReadingLosesRecordsNotTime) {
  Scratch scratch;
  const std::string fifo = scratch.dir + "/trace";
  ASSERT_EQ(mkfifo(fifo.c_str(), 0600), 0);
  const int reader = open(fifo.c_str(), O_RDONLY | O_NONBLOCK);
  ASSERT_GE(reader, 0);
  Signals s;
  constexpr int kRecords = 3000;  // far more than a pipe holds
  const pid_t child = Start(fifo, [&] {
    close(reader);  // the parent's reader end, inherited: the child is no reader
    for (int i = 0; i < kRecords; ++i) Refusal();
    Signals::Tell(s.toParent[1]);
    if (!Signals::Wait(s.toChild[0])) return 2;
    Refusal();
    return 0;
  });
  ASSERT_TRUE(Signals::Wait(s.toParent[0])) << "the calls hung on a full FIFO";
  std::string text = Drain(reader);
  Signals::Tell(s.toChild[1]);
  EXPECT_EQ(Finish(child), 0);
  text += Drain(reader);
  close(reader);
  const std::vector<std::string> lines = Lines(text);
  ASSERT_GE(lines.size(), 3u);
  // The record after the reader caught up says how many went missing.
  std::smatch m;
  ASSERT_TRUE(std::regex_match(lines[lines.size() - 2], m,
                               std::regex(R"(trace: (\d+) records were dropped: .*)")))
      << lines[lines.size() - 2];
  EXPECT_EQ(lines.back(), kRefusal);
  const int received = static_cast<int>(lines.size()) - 1;
  EXPECT_GT(std::stoi(m[1]), 0);
  EXPECT_EQ(received + std::stoi(m[1]), kRecords + 1);
}

TEST(TraceSink, AReaderThatLeavesDoesNotKillTheApplication) {
  Scratch scratch;
  const std::string fifo = scratch.dir + "/trace";
  ASSERT_EQ(mkfifo(fifo.c_str(), 0600), 0);
  int reader = open(fifo.c_str(), O_RDONLY | O_NONBLOCK);
  ASSERT_GE(reader, 0);
  Signals s;
  const pid_t child = Start(fifo, [&] {
    close(reader);  // the parent's reader end, inherited: the child is no reader
    Refusal();
    Signals::Tell(s.toParent[1]);
    if (!Signals::Wait(s.toChild[0])) return 2;
    Refusal();  // the reader has gone: dropped, with no SIGPIPE
    Refusal();
    Signals::Tell(s.toParent[1]);
    if (!Signals::Wait(s.toChild[0])) return 3;
    Refusal();  // a new reader gets it, with the count of the lost ones
    return 0;
  });
  ASSERT_TRUE(Signals::Wait(s.toParent[0]));
  EXPECT_EQ(Lines(Drain(reader)), std::vector<std::string>{kRefusal});
  close(reader);
  Signals::Tell(s.toChild[1]);
  ASSERT_TRUE(Signals::Wait(s.toParent[0])) << "the child died or hung when the reader left";
  reader = open(fifo.c_str(), O_RDONLY | O_NONBLOCK);
  ASSERT_GE(reader, 0);
  Signals::Tell(s.toChild[1]);
  EXPECT_EQ(Finish(child), 0) << "1013: killed by SIGPIPE";
  const std::vector<std::string> lines = Lines(Drain(reader));
  close(reader);
  ASSERT_EQ(lines.size(), 2u) << ::testing::PrintToString(lines);
  EXPECT_EQ(lines[0].substr(0, lines[0].find(':', 7)), "trace: 2 records were dropped");
  EXPECT_EQ(lines[1], kRefusal);
}

}  // namespace
