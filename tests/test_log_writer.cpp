// The log writer: titled two-line entries appended to
// vd_logs/Vocadis<YYYYMMDD>.log under the working directory.
//
// Every test runs in a fresh temporary working directory with the clock
// fixed, so that file names and entry texts are known to the byte.
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <atomic>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <filesystem>
#include <fstream>
#include <map>
#include <optional>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

#include "SKYREL.h"
#include "TestClock.h"
#include "core/Clock.h"

namespace {

const std::string kHyphens20 = "--------------------";

std::tm Dec7At000001() { return Moment(2026, 12, 7, 0, 0, 1); }
std::tm Jan2At030405() { return Moment(2027, 1, 2, 3, 4, 5); }

// The first reading is the last second of 6 December, every later one the
// first second of 7 December.
std::atomic<int> readings{0};
std::tm AcrossMidnight() {
  return readings++ == 0 ? Moment(2026, 12, 6, 23, 59, 59) : Moment(2026, 12, 7, 0, 0, 0);
}

std::optional<std::string> ReadFile(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  if (!in) return std::nullopt;
  std::ostringstream s;
  s << in.rdbuf();
  return s.str();
}

// The entry for a title and message at time t (both lines end in CR LF).
std::string Entry(const std::string& t, const std::string& title, const std::string& message) {
  return t + "    " + kHyphens20 + title + kHyphens20 + "\r\n" + t + "    " + message + "\r\n";
}

class LogWriterTest : public ::testing::Test {
 protected:
  void SetUp() override {
    char pattern[] = "/tmp/vexa-log-XXXXXX";
    ASSERT_NE(mkdtemp(pattern), nullptr);
    dir_ = pattern;
    char* cwd = getcwd(nullptr, 0);
    ASSERT_NE(cwd, nullptr);
    oldCwd_ = cwd;
    std::free(cwd);
    ASSERT_EQ(chdir(dir_.c_str()), 0);
    SetLocalTimeSource(&Dec6At140307);
  }
  void TearDown() override {
    SetLocalTimeSource(nullptr);
    ASSERT_EQ(chdir(oldCwd_.c_str()), 0);
    std::error_code ec;
    std::filesystem::remove_all(dir_, ec);
  }

  std::string dir_;
  std::string oldCwd_;
};

// ---------------------------------------------------------------------------
TEST_F(LogWriterTest, FirstEntryOfTheDayCreatesDirectoryAndFileLaterEntriesAppend) {
  ASSERT_NE(access("vd_logs", F_OK), 0);
  WriteLog("Open", "port 5 ok");
  struct stat st {};
  ASSERT_EQ(stat("vd_logs", &st), 0);
  EXPECT_TRUE(S_ISDIR(st.st_mode));
  const std::string first =
      "14:03:07    --------------------Open--------------------\r\n"
      "14:03:07    port 5 ok\r\n";
  EXPECT_EQ(ReadFile("vd_logs/Vocadis20261206.log"), first);

  WriteLog("Close", "bye");
  const std::string second =
      "14:03:07    --------------------Close--------------------\r\n"
      "14:03:07    bye\r\n";
  EXPECT_EQ(ReadFile("vd_logs/Vocadis20261206.log"), first + second);

  // A new day begins a new file; the old one is left as it was.
  SetLocalTimeSource(&Dec7At000001);
  WriteLog("Open", "again");
  EXPECT_EQ(ReadFile("vd_logs/Vocadis20261207.log"),
            "00:00:01    --------------------Open--------------------\r\n"
            "00:00:01    again\r\n");
  EXPECT_EQ(ReadFile("vd_logs/Vocadis20261206.log"), first + second);
}

struct TextCase {
  const char* name;
  const char* title;
  const char* message;
  std::string expected;
};

class LogWriterTexts : public LogWriterTest, public ::testing::WithParamInterface<TextCase> {};

TEST_P(LogWriterTexts, AreWrittenLiterally) {
  const TextCase& c = GetParam();
  WriteLog(c.title, c.message);
  EXPECT_EQ(ReadFile("vd_logs/Vocadis20261206.log"), c.expected);
}

INSTANTIATE_TEST_SUITE_P(
    LogWriter, LogWriterTexts,
    ::testing::Values(
        TextCase{"per_cent_signs", "100%", "%s%d%n %",
                 "14:03:07    --------------------100%--------------------\r\n"
                 "14:03:07    %s%d%n %\r\n"},
        TextCase{"empty_title", "", "x",
                 "14:03:07    ----------------------------------------\r\n"
                 "14:03:07    x\r\n"},
        TextCase{"null_title_and_message", nullptr, nullptr,
                 "14:03:07    ----------------------------------------\r\n"
                 "14:03:07    \r\n"},
        TextCase{"line_breaks_and_high_bytes", "a\nb", "\xC4\xE3\xBA\xC3\r\n",
                 "14:03:07    --------------------a\nb--------------------\r\n"
                 "14:03:07    \xC4\xE3\xBA\xC3\r\n\r\n"}),
    [](const ::testing::TestParamInfo<TextCase>& i) { return std::string(i.param.name); });

TEST_F(LogWriterTest, EntryWrittenAsMidnightPassesGoesToTheFileOfItsOwnTime) {
  readings = 0;
  SetLocalTimeSource(&AcrossMidnight);
  WriteLog("Tick", "late");
  EXPECT_EQ(ReadFile("vd_logs/Vocadis20261206.log"),
            "23:59:59    --------------------Tick--------------------\r\n"
            "23:59:59    late\r\n");
  EXPECT_FALSE(ReadFile("vd_logs/Vocadis20261207.log").has_value());
}

TEST_F(LogWriterTest, EntriesFromManyThreadsArriveWholeAndInTheirExactForm) {
  constexpr int kThreads = 8;
  constexpr int kEach = 25;
  // Long messages: an entry bigger than a stdio buffer would reach the file
  // in several writes, which concurrent writers could split apart.
  const std::string padding(6000, '.');
  std::map<std::string, std::string> expected;  // title -> message
  size_t totalBytes = 0;
  for (int t = 0; t < kThreads; ++t) {
    for (int k = 0; k < kEach; ++k) {
      std::string title = "T" + std::to_string(t) + "-" + std::to_string(k);
      std::string message = "M" + std::to_string(t) + "-" + std::to_string(k) + padding;
      totalBytes += Entry("14:03:07", title, message).size();
      expected[title] = message;
    }
  }

  std::vector<std::thread> callers;
  for (int t = 0; t < kThreads; ++t) {
    callers.emplace_back([t, &padding] {
      for (int k = 0; k < kEach; ++k) {
        // The caller's buffers are overwritten as soon as the call returns:
        // the entry must carry the texts as they were at the call.
        std::string title = "T" + std::to_string(t) + "-" + std::to_string(k);
        std::string message = "M" + std::to_string(t) + "-" + std::to_string(k) + padding;
        WriteLogThread(title.c_str(), message.c_str());
        std::fill(title.begin(), title.end(), 'X');
        std::fill(message.begin(), message.end(), 'Y');
      }
    });
  }
  for (auto& c : callers) c.join();

  const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(30);
  std::string content;
  while (std::chrono::steady_clock::now() < deadline) {
    content = ReadFile("vd_logs/Vocadis20261206.log").value_or("");
    if (content.size() >= totalBytes) break;
    std::this_thread::sleep_for(std::chrono::milliseconds(10));
  }
  ASSERT_EQ(content.size(), totalBytes);

  // Cut the file into entries of two CR LF-ended lines and match each one.
  std::map<std::string, int> seen;
  size_t pos = 0;
  while (pos < content.size()) {
    size_t end1 = content.find("\r\n", pos);
    ASSERT_NE(end1, std::string::npos);
    size_t end2 = content.find("\r\n", end1 + 2);
    ASSERT_NE(end2, std::string::npos);
    const std::string head = content.substr(pos, end1 - pos);
    const std::string body = content.substr(end1 + 2, end2 - end1 - 2);
    pos = end2 + 2;

    const std::string lead = "14:03:07    " + kHyphens20;
    ASSERT_EQ(head.compare(0, lead.size(), lead), 0) << head.substr(0, 80);
    ASSERT_GE(head.size(), lead.size() + kHyphens20.size());
    ASSERT_EQ(head.substr(head.size() - kHyphens20.size()), kHyphens20);
    const std::string title =
        head.substr(lead.size(), head.size() - lead.size() - kHyphens20.size());
    auto it = expected.find(title);
    ASSERT_NE(it, expected.end()) << "unexpected title " << title.substr(0, 80);
    EXPECT_EQ(body, "14:03:07    " + it->second) << "message of " << title;
    ++seen[title];
  }
  EXPECT_EQ(seen.size(), expected.size());
  for (const auto& s : seen) EXPECT_EQ(s.second, 1) << s.first;
}

// Working directories of 300 bytes and of more than PATH_MAX (4096) bytes.
class DeepWorkingDirectory : public LogWriterTest, public ::testing::WithParamInterface<int> {};

TEST_P(DeepWorkingDirectory, StillReceivesTheLog) {
  const std::string component(200, 'd');
  const int depth = GetParam() / 201 + 1;
  for (int i = 0; i < depth; ++i) {
    ASSERT_EQ(mkdir(component.c_str(), 0700), 0);
    ASSERT_EQ(chdir(component.c_str()), 0);
  }
  WriteLog("Deep", "here");
  const std::optional<std::string> content = ReadFile("vd_logs/Vocadis20261206.log");
  const bool exists = access("vd_logs", F_OK) == 0;
  // Walk back up, removing what was made, before judging.
  unlink("vd_logs/Vocadis20261206.log");
  rmdir("vd_logs");
  for (int i = 0; i < depth; ++i) {
    ASSERT_EQ(chdir(".."), 0);
    ASSERT_EQ(rmdir(component.c_str()), 0);
  }
  EXPECT_TRUE(exists);
  EXPECT_EQ(content, Entry("14:03:07", "Deep", "here"));
}

INSTANTIATE_TEST_SUITE_P(LogWriter, DeepWorkingDirectory, ::testing::Values(300, 5000));

TEST_F(LogWriterTest, DirectoryThatCannotBeMadeWritesNothingAndReturns) {
  {
    std::ofstream blocker("vd_logs", std::ios::binary);
    blocker << "not a directory";
  }
  WriteLog("Open", "lost");
  EXPECT_EQ(ReadFile("vd_logs"), "not a directory");
}

// ---------------------------------------------------------------------------
struct DateCase {
  std::tm (*moment)();
  int mode;
  const char* expected;
};

class CurrentDate : public LogWriterTest, public ::testing::WithParamInterface<DateCase> {};

TEST_P(CurrentDate, FormatsTheLocalDateOrTime) {
  SetLocalTimeSource(GetParam().moment);
  EXPECT_EQ(currentDateToString(GetParam().mode), GetParam().expected);
}

INSTANTIATE_TEST_SUITE_P(LogWriter, CurrentDate,
                         ::testing::Values(DateCase{&Dec6At140307, 0, "20261206"},
                                           DateCase{&Dec6At140307, 1, "14:03:07"},
                                           DateCase{&Dec6At140307, -1, "14:03:07"},
                                           DateCase{&Jan2At030405, 0, "20270102"},
                                           DateCase{&Jan2At030405, 1, "03:04:05"},
                                           DateCase{&Jan2At030405, 7, "03:04:05"}));

TEST_F(LogWriterTest, CurrentDateFollowsTheRealClock) {
  SetLocalTimeSource(nullptr);
  auto today = [] {
    std::time_t now = std::time(nullptr);
    std::tm t{};
    localtime_r(&now, &t);
    char text[16];
    std::strftime(text, sizeof text, "%Y%m%d", &t);
    return std::string(text);
  };
  const std::string before = today();
  const std::string date = currentDateToString(0);
  const std::string after = today();
  EXPECT_TRUE(date == before || date == after) << date;
  const std::string time = currentDateToString(1);
  ASSERT_EQ(time.size(), 8u);
  EXPECT_EQ(time[2], ':');
  EXPECT_EQ(time[5], ':');
}

}  // namespace
