// The C interface (vexa.h): what its functions put on the wire, the result
// texts and version, the reason of each thread's last refusal, the bitmap as
// pointer and length, emptying the show-page model, the settings read back,
// and every function of the list reading its texts without ever writing into
// them.
#include <gtest/gtest.h>

#include <sys/mman.h>
#include <unistd.h>

#include <climits>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <functional>
#include <string>
#include <thread>
#include <vector>

#include "EmulatorTest.h"
#include "ImageFiles.h"
#include "SerialLine.h"
#include "SimFixture.h"
#include "vexa.h"

namespace {

using vexasim::hex;

TEST(CResult, CodesAndWords) {
  struct Row {
    int code;
    const char* words;
  };
  const Row rows[] = {
      {VEXA_OK, "accepted"},
      {VEXA_NOT_ACCEPTED, "not accepted or nothing sent"},
      {VEXA_NO_REPLY, "no reply: time-out, receive error or connection closed"},
      {VEXA_STATUS_2, "refused by the controller with status \"2\""},
      {VEXA_STATUS_3, "refused by the controller with status \"3\""},
      {-1, "unknown result code"},
      {5, "unknown result code"},
  };
  for (const Row& row : rows) EXPECT_STREQ(vexa_result_text(row.code), row.words) << row.code;
  EXPECT_EQ(VEXA_OK, 0);
  EXPECT_EQ(VEXA_NOT_ACCEPTED, 1);
  EXPECT_EQ(VEXA_NO_REPLY, 2);
  EXPECT_EQ(VEXA_STATUS_2, 3);
  EXPECT_EQ(VEXA_STATUS_3, 4);
}

TEST(CResult, VersionIsTheProjectVersion) { EXPECT_STREQ(vexa_version(), VEXA_EXPECTED_VERSION); }

// ---------------------------------------------------------------------------
class CWire : public EmulatorTest {};

// Each kind of argument crosses unchanged: texts, ints, a C bool, and the
// network modes (datagram, stream).
TEST_F(CWire, FramesOfTheCFunctions) {
  const char* ip = address_.c_str();
  EXPECT_EQ(vexa_play_show_page_net(ip, 1, 1), VEXA_OK);
  EXPECT_EQ(vexa_set_bright_net(ip, 2, 10, 1), VEXA_OK);
  // Bracketed line-up record: 01 00 0F 00 'S' 00 03 1D 1F "A012" 1C, whose
  // XOR is 32: check bytes 03 02.
  EXPECT_EQ(vexa_send_line_up_net("A012", ip, 1, 3, 1, 1, true), VEXA_OK);
  EXPECT_EQ(vexa_send_collection_data_net("A012", ip, 1, 1, 3, 2, 1), VEXA_OK);
  ASSERT_TRUE(sim_->waitForFrames(4, 3000));
  const std::vector<vexasim::Frame> f = sim_->frames();
  ASSERT_EQ(f.size(), 4u);
  EXPECT_EQ(hex(f[0].raw), "FE 5C 4B 89 15 00 00 00 66 00 00 00 00 02 00 00 00 01 FE FF FF");
  EXPECT_EQ(f[0].channel, "udp");
  EXPECT_EQ(hex(f[1].raw),
            "FE 5C 4B 89 17 00 00 00 76 00 00 00 00 04 00 00 00 0A F5 01 FE FF FF");
  EXPECT_EQ(f[1].channel, "tcp");
  EXPECT_EQ(hex(f[2].raw),
            "FE 5C 4B 89 23 00 00 00 64 00 00 00 00 10 00 00 00 "
            "01 00 0F 00 53 00 03 1D 1F 41 30 31 32 1C 03 02 FF FF");
  EXPECT_EQ(hex(f[3].raw),
            "FE 5C 4B 89 1C 00 00 00 65 00 00 00 00 09 00 00 00 "
            "01 00 33 21 04 41 30 31 32 FF FF");
}

// Every result 1 leaves its own reason for the thread, replacing the last
// one; a later success keeps it.
TEST_F(CWire, EachRefusalLeavesItsReason) {
  const char* ip = address_.c_str();
  imagefiles::ScratchDir dir;
  const std::string missing = dir.path() + "/missing.png";
  const unsigned char* bitmap = nullptr;
  int length = -1;
  struct Row {
    std::function<int()> call;
    std::string reason;
  };
  const std::vector<Row> rows = {
      {[] { return vexa_start_play_net("10.0.0.300", 1); },
       "address \"10.0.0.300\" is not dotted IPv4"},
      {[&] { return vexa_send_collection_data_net(nullptr, ip, 1, 1, 3, 2, 1); },
       "the text is null"},
      {[&] { return vexa_send_line_up2_net("", ip, 1, 3, 1, 1, false, 4); },
       "the text is empty: there is no page to show"},
      {[&] { return vexa_send_line_up2_net("A012", ip, 1, 3, 1, 1, false, 0); },
       "a page of 0 characters holds no text"},
      {[&] { return vexa_send_line_up2_net("A012", nullptr, 1, 3, 1, 1, false, 4); },
       "the controller's address is null"},
      {[] { return vexa_add_area(9999, 0, 0, 8, 8); }, "page 9999 does not exist"},
      {[&] { return vexa_image_content_buffer(missing.c_str(), 0, 8, 1, &bitmap, &length); },
       "image \"" + missing + "\": No such file or directory"},
      {[&] { return vexa_image_content_buffer(missing.c_str(), 0, 8, 1, nullptr, &length); },
       "the bitmap or length pointer is null"},
  };
  for (const Row& row : rows) {
    EXPECT_EQ(row.call(), VEXA_NOT_ACCEPTED) << row.reason;
    EXPECT_EQ(vexa_last_reason(), row.reason);
  }
  EXPECT_EQ(bitmap, nullptr);
  EXPECT_EQ(length, 0);
  EXPECT_EQ(vexa_start_play_net(ip, 1), VEXA_OK);
  EXPECT_STREQ(vexa_last_reason(), "the bitmap or length pointer is null");
  ASSERT_TRUE(sim_->waitForFrames(1, 3000));
  EXPECT_EQ(sim_->frames().size(), 1u) << "a refused call sent something";
}

// Each thread reads the reason of its own last refusal.
TEST_F(CWire, ReasonsBelongToTheirThreads) {
  std::string seenThere, seenHereBefore;
  std::thread other([&] {
    std::string before = vexa_last_reason();
    EXPECT_EQ(vexa_start_play_net("1.2.3", 1), VEXA_NOT_ACCEPTED);
    seenThere = before + "|" + vexa_last_reason();
  });
  EXPECT_EQ(vexa_start_play_net(nullptr, 1), VEXA_NOT_ACCEPTED);
  other.join();
  EXPECT_EQ(seenThere, "|address \"1.2.3\" is not dotted IPv4");
  EXPECT_STREQ(vexa_last_reason(), "the controller's address is null");
}

// A page set built and emptied through the C interface is not uploaded; a
// new one is.
TEST_F(CWire, ClearingTheModel) {
  const char* ip = address_.c_str();
  ASSERT_EQ(vexa_add_show_page(2, "00:00", "23:59", 0), 0);
  ASSERT_EQ(vexa_add_area(2, 0, 0, 192, 16), 0);
  ASSERT_EQ(vexa_add_template_date_time(2, 2, 0, 1, 1, 1, 1, 0, 1, 3, 1, 0, 0, 0, false), 0);
  EXPECT_TRUE(vexa_check_show_page());
  vexa_clear_show_pages();
  EXPECT_FALSE(vexa_check_show_page());
  EXPECT_EQ(vexa_send_template_data_net(ip, 1), VEXA_NOT_ACCEPTED);
  EXPECT_EQ(std::string(vexa_last_reason()).rfind("the page set is not complete", 0), 0u)
      << vexa_last_reason();
  ASSERT_EQ(vexa_add_show_page(3, "08:00", "18:00", 0), 0);
  EXPECT_EQ(vexa_add_template_internal_text(3, "Hi", 7, 0, 0, 0, 0, 1, 1, 0, false),
            VEXA_NOT_ACCEPTED);
  EXPECT_STREQ(vexa_last_reason(), "page 3 has no area for the material");
  vexa_clear_show_pages();
}

// ---------------------------------------------------------------------------
// Each setter's value read back through the getters, clamped as the setter
// clamps it; a setter leaves the settings it does not set as they were.
TEST_F(CWire, SettingsReadBackAsSet) {
  struct Row {
    const char* what;
    std::function<void()> set;
    int sendTimeOut, receiveTimeOut, reSendTimes;
    const char* localIp;
    int localPort, chnCodeMode;
  };
  const Row rows[] = {
      {"both time-outs below 10", [] { vexa_set_time_out(5, 0); }, 10, 10, 0, "127.0.0.1", 8801, 0},
      {"two time-outs", [] { vexa_set_time_out(250, 40); }, 250, 40, 0, "127.0.0.1", 8801, 0},
      {"one time-out for both", [] { vexa_set_receive_time_out(700); }, 700, 700, 0, "127.0.0.1",
       8801, 0},
      {"one time-out below 10", [] { vexa_set_receive_time_out(-3); }, 10, 10, 0, "127.0.0.1",
       8801, 0},
      {"negative repeats", [] { vexa_set_re_send_times(-5); }, 10, 10, 0, "127.0.0.1", 8801, 0},
      {"two repeats", [] { vexa_set_re_send_times(2); }, 10, 10, 2, "127.0.0.1", 8801, 0},
      // The attempts stop at the largest int, one more than the repeats.
      {"the most repeats", [] { vexa_set_re_send_times(INT_MAX); }, 10, 10, INT_MAX - 1,
       "127.0.0.1", 8801, 0},
      {"address and port", [] { vexa_bind_network_card("127.0.0.9", 0); }, 10, 10, INT_MAX - 1,
       "127.0.0.9", 0, 0},
      {"a null address keeps it", [] { vexa_bind_network_card(nullptr, 9123); }, 10, 10,
       INT_MAX - 1, "127.0.0.9", 9123, 0},
      {"character-code mode", [] { vexa_set_chn_code_mode(-7); }, 10, 10, INT_MAX - 1,
       "127.0.0.9", 9123, -7},
  };
  // From the library's defaults.
  vexa_set_time_out(100, 100);
  vexa_set_re_send_times(0);
  vexa_bind_network_card("127.0.0.1", 8801);
  vexa_set_chn_code_mode(0);
  for (const Row& row : rows) {
    row.set();
    EXPECT_EQ(vexa_send_time_out(), row.sendTimeOut) << row.what;
    EXPECT_EQ(vexa_receive_time_out(), row.receiveTimeOut) << row.what;
    EXPECT_EQ(vexa_re_send_times(), row.reSendTimes) << row.what;
    EXPECT_STREQ(vexa_network_card_ip(), row.localIp) << row.what;
    EXPECT_EQ(vexa_network_card_port(), row.localPort) << row.what;
    EXPECT_EQ(vexa_chn_code_mode(), row.chnCodeMode) << row.what;
  }
  // The address read stays as it was when a later bind replaces the
  // library's own copy.
  const char* before = vexa_network_card_ip();
  vexa_bind_network_card("127.0.0.10", 0);
  EXPECT_STREQ(before, "127.0.0.9");
  vexa_set_chn_code_mode(0);
}

// The repeats read back are the repeats made: a controller that never
// answers gets the first attempt and that many more.
TEST_F(CWire, RepeatsReadBackAreTheAttemptsMade) {
  const char* ip = address_.c_str();
  sim_->setReplyMode(vexasim::ReplyMode::Silent);
  vexa_set_receive_time_out(30);
  for (const int given : {-5, 2}) {
    vexa_set_re_send_times(given);
    const int attempts = vexa_re_send_times() + 1;
    EXPECT_EQ(attempts, given < 0 ? 1 : given + 1);
    EXPECT_EQ(vexa_start_play_net(ip, 1), VEXA_NO_REPLY);
    EXPECT_TRUE(sim_->waitForFrames(attempts, 3000));
    EXPECT_FALSE(sim_->waitForFrames(attempts + 1, 200)) << "more attempts than " << attempts;
    EXPECT_EQ(sim_->frames().size(), size_t(attempts)) << given;
    sim_->clear();
  }
  vexa_set_re_send_times(0);
}

// ---------------------------------------------------------------------------
// The bitmap through a pointer and a length: a picture one pixel wide, white
// above black, scaled to 8 x 2, is one lit row of eight pixels (FF) above an
// unlit one (00) in each plane.
TEST(CImage, BitmapAsPointerAndLength) {
  imagefiles::ScratchDir dir;
  const std::string file = dir.write("wb.png", imagefiles::WhiteOverBlack());
  struct Row {
    int colourMode;
    std::string bytes;
  };
  const Row rows[] = {{0, "FF 00"}, {1, "FF 00 FF 00"}, {2, "FF 00 FF 00 FF 00"}};
  for (const Row& row : rows) {
    const unsigned char* bitmap = nullptr;
    int length = 0;
    ASSERT_EQ(vexa_image_content_buffer(file.c_str(), row.colourMode, 8, 2, &bitmap, &length),
              VEXA_OK);
    ASSERT_NE(bitmap, nullptr);
    EXPECT_EQ(hex(std::vector<uint8_t>(bitmap, bitmap + length)), row.bytes) << row.colourMode;
  }
}

// ---------------------------------------------------------------------------
class CSerial : public SerialLineTest {};

TEST_F(CSerial, BusFrameOfTheCFunction) {
  EXPECT_EQ(vexa_play_show_page_com("5", 2, kPort, 9600, 1), VEXA_OK);
  const std::vector<vexasim::Frame> f = frames(1);
  ASSERT_EQ(f.size(), 1u);
  EXPECT_EQ(hex(f[0].raw), "FE 98 00 10 97 36 00 00 00 00 00 00 00 00 05 01 FE D3");
}

// ---------------------------------------------------------------------------
// Every function of the list, called with all its texts in memory that
// cannot be written: a function writing into a text would end the process.
// Runs in a child process, in a scratch working directory (the serial ports
// and the log writer use it), and sends to this suite's own address.
#define VEXA_C_PASS_TEXT(name) text
#define VEXA_C_PASS_INT(name) 1
#define VEXA_C_PASS_BOOL(name) true
#define VEXA_C_PASS_SHORT(name) static_cast<short>(1)
#define VEXA_C_PASS_VOID(name)

void CallEveryFunctionWithReadOnlyTexts() {
  const std::string address = vexasim::TestAddress();
  const long page = sysconf(_SC_PAGESIZE);
  void* memory =
      mmap(nullptr, size_t(page), PROT_READ | PROT_WRITE, MAP_PRIVATE | MAP_ANONYMOUS, -1, 0);
  if (memory == MAP_FAILED) std::exit(2);
  std::memcpy(memory, address.c_str(), address.size() + 1);
  if (mprotect(memory, size_t(page), PROT_READ) != 0) std::exit(3);
  const char* text = static_cast<const char*>(memory);

  char dir[] = "/tmp/vexa-readonly-XXXXXX";
  if (mkdtemp(dir) == nullptr || chdir(dir) != 0) std::exit(4);

  int called = 0;
  auto call = [&](const char* name, auto&& function) {
    // The login server's loop would run for ever; starting a server on
    // port 1 is left out for the same reason.
    if (std::strcmp(name, "vexa_task_thread_exe") == 0) return;
    if (std::strcmp(name, "vexa_open_server") == 0) return;
    std::fprintf(stderr, "calling %s\n", name);
    function();
    ++called;
  };
#define VEXA_FUNCTION(ret, name, cxx, params) \
  call(#name, [&] { (void)name(VEXA_C_ARGS(params)); });
#include "vexa_functions.h"
#undef VEXA_FUNCTION
  const unsigned char* bitmap = nullptr;
  int length = 0;
  call("vexa_image_content_buffer",
       [&] { (void)vexa_image_content_buffer(text, 0, 8, 1, &bitmap, &length); });
  vexa_clear_show_pages();
  std::error_code ignored;
  std::filesystem::remove_all(dir, ignored);
  std::fprintf(stderr, "%d functions returned\n", called);
  std::exit(0);
}

TEST(CReadOnlyTexts, NoFunctionWritesIntoItsTexts) {
  GTEST_FLAG_SET(death_test_style, "threadsafe");
  // 66 functions in the list, less the two left out, and the bitmap.
  EXPECT_EXIT(CallEveryFunctionWithReadOnlyTexts(), ::testing::ExitedWithCode(0),
              "65 functions returned");
}

}  // namespace
