// The string and bit-string helpers, and the connection-setting setters.
#include <gtest/gtest.h>

#include <climits>
#include <cstring>
#include <cstdlib>
#include <ctime>
#include <set>
#include <string>
#include <vector>

#include "SKYREL.h"
#include "model/GlobalMember.h"
#include "transport/CSerialPort.h"

namespace {

using Strings = std::vector<std::string>;

// The settings as the library starts, read before any test changes them.
const int kStartSendTimeOut = g_send_time_out;
const int kStartReceiveTimeOut = g_receive_time_out;
const int kStartSendTimes = g_send_times;
const std::string kStartCardIp = g_network_card_ip ? g_network_card_ip : "(null)";
const int kStartCardPort = g_network_card_port;
const int kStartChnCodeMode = g_chncode_mode;

// ---------------------------------------------------------------------------
TEST(SplitStr, Pieces) {
  struct Case {
    std::string text, separator;
    Strings pieces;
  };
  const Case cases[] = {
      {"a.bmp,b.bmp", ",", {"a.bmp", "b.bmp"}},
      {"abc", "", {}},
      {"", ",", {}},
      {"a,,b", ",", {"a", "", "b"}},
      {",a", ",", {"", "a"}},
      {"a,b,", ",", {"a", "b"}},
      {"abc", ",", {"abc"}},
      {",", ",", {""}},
      {"a<>b<>c", "<>", {"a", "b", "c"}},
      {"a<b", "<>", {"a<b"}},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(GlobalMember::SplitStr(c.text, c.separator), c.pieces)
        << "\"" << c.text << "\" at \"" << c.separator << "\"";
  }
}

TEST(IntToBinStr, LowBitsMostSignificantFirst) {
  struct Case {
    int value, width;
    std::string bits;
  };
  const Case cases[] = {
      {5, 4, "0101"},
      {21, 4, "0101"},  // bit 4 dropped
      {-1, 4, "1111"},
      {5, 0, "00000000"},
      {5, -3, "00000000"},
      {1, 1, "1"},
      {0, 1, "0"},
      {0x55, 7, "1010101"},
      {0xA5, 8, "10100101"},
      {-1, 32, std::string(32, '1')},
      {INT_MIN, 32, "1" + std::string(31, '0')},
      // Beyond 32 bits the higher places repeat the sign bit.
      {1, 34, std::string(33, '0') + "1"},
      {INT_MIN, 34, std::string(3, '1') + std::string(31, '0')},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(GlobalMember::IntToBinStr(c.value, c.width), c.bits)
        << c.value << " width " << c.width;
  }
}

TEST(BinStrToInt, ReadsAsBaseTwoStrtol) {
  struct Case {
    std::string text;
    int value;
  };
  const Case cases[] = {
      {"00110001", 49},
      {"", 0},
      {"12", 1},
      {"abc", 0},
      {"  101", 5},
      {"\t11", 3},
      {"-11", -3},
      {"+11", 3},
      {"11111111", 255},
      // Texts far longer than eight characters are read whole.
      {std::string(32, '0') + "10000001", 129},
      // 2^35 + 3 in forty characters: the long result is cut to its int bits.
      {"0000" "1" + std::string(33, '0') + "11", 3},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(GlobalMember::BinStrToInt(c.text), c.value) << "\"" << c.text << "\"";
  }
}

TEST(BinStrToInt, VeryLongTextIsReadWithoutFixedScratchArea) {
  // 4000 characters: 3990 zeros then "1010101011" (683).
  std::string digits = std::string(3990, '0') + "1010101011";
  EXPECT_EQ(GlobalMember::BinStrToInt(digits), 683);
}

TEST(BinStrToInt2, PlainLeadingDigits) {
  struct Case {
    std::string text;
    int value;
  };
  const Case cases[] = {
      {"101x1", 5},
      {"", 0},
      {"2", 0},
      {" 1", 0},   // no blanks accepted
      {"-1", 0},   // no sign accepted
      {"11111111", 255},
      {"1" + std::string(32, '0'), 0},  // the one bit is shifted out
      {std::string(33, '1'), -1},       // the low 32 bits are all set
  };
  for (const Case& c : cases) {
    EXPECT_EQ(GlobalMember::BinStrToInt2(c.text), c.value) << "\"" << c.text << "\"";
  }
}

TEST(RandNum, InclusiveRange) {
  for (int i = 0; i < 20; ++i) EXPECT_EQ(GlobalMember::randNum(1, 1), 1);
  bool sawLow = false, sawHigh = false;
  for (int i = 0; i < 200; ++i) {
    int v = GlobalMember::randNum(3, 4);
    EXPECT_TRUE(v == 3 || v == 4) << v;
    sawLow |= v == 3;
    sawHigh |= v == 4;
  }
  // 200 draws of a fair coin show both sides (a miss is a 2^-199 chance).
  EXPECT_TRUE(sawLow && sawHigh);
}

TEST(RandNum, DrawsInTheSameSecondDiffer) {
  std::set<int> seen;
  for (int i = 0; i < 50; ++i) seen.insert(GlobalMember::randNum(0, 1000000));
  EXPECT_GT(seen.size(), 40u);
}

TEST(RandNum, LeavesTheApplicationsRandSequenceAlone) {
  std::srand(42);
  const int first = std::rand(), second = std::rand();
  std::srand(42);
  EXPECT_EQ(std::rand(), first);
  // Building a page set draws material and page-set numbers in between.
  char from[] = "00:00", to[] = "23:59", text[] = "A012";
  ASSERT_EQ(AddShowPage(7, from, to, 0), 0);
  ASSERT_EQ(AddArea(7, 0, 0, 64, 16), 0);
  ASSERT_EQ(AddTemplate_CollectData(7, text, 1, 0, 1, 1, 0), 0);
  ASSERT_EQ(AddTemplate_CollectData(7, text, 2, 0, 1, 1, 0), 0);
  (void)GlobalMember::randNum(1, 99999999);  // as the page-set descriptor's number
  EXPECT_EQ(std::rand(), second);
  globalMember.showPages.clear();
}

TEST(RandNum, EmptyOrHugeRangesStayDefined) {
  // An empty range would divide by zero or by a negative count.
  EXPECT_EQ(GlobalMember::randNum(5, 4), 5);
  EXPECT_EQ(GlobalMember::randNum(10, -10), 10);
  // The full int range must not overflow on the way.
  int v = GlobalMember::randNum(INT_MIN, INT_MAX);
  EXPECT_GE(v, INT_MIN);
  EXPECT_LE(v, INT_MAX);
  v = GlobalMember::randNum(-3, -1);
  EXPECT_TRUE(v >= -3 && v <= -1) << v;
}

TEST(IsStrUTF8, Sequences) {
  struct Case {
    const char* name;
    std::string bytes;
    bool utf8;
  };
  const Case cases[] = {
      {"ascii", "abc", true},
      {"empty", "", true},
      {"two-byte e acute", "\xC3\xA9", true},
      {"three-byte", "a\xE4\xB8\xAD" "b", true},
      {"four-byte", "\xF0\x9F\x98\x80", true},
      {"lone latin-1 byte", "\xE9", false},
      {"lead then ascii", "\xC3\x41", false},
      {"cut after two of three", "\xE4\xB8", false},
      {"continuation first", "\x80" "a", false},
      {"continuation after ascii", "a\xBF", false},
      // FE and FF count as five-byte leads, FC and FD as six-byte leads.
      {"FE with four continuations", "\xFE\x80\x80\x80\x80", true},
      {"FC with five continuations", "\xFC\x80\x80\x80\x80\x80", true},
      {"FC with four continuations", "\xFC\x80\x80\x80\x80", false},
      // Overlong forms are not rejected.
      {"overlong slash", "\xC0\xAF", true},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(GlobalMember::IsStrUTF8(c.bytes.c_str()), c.utf8) << c.name;
  }
  EXPECT_FALSE(GlobalMember::IsStrUTF8(nullptr));
}

TEST(ReplaceStr, Replacements) {
  struct Case {
    std::string text, pattern, replacement, result;
  };
  const Case cases[] = {
      {"aaa", "a", "aa", "aaaaaa"},  // the inserted text is not searched again
      {"abc", "", "x", "abc"},       // an empty pattern changes nothing
      {"", "", "x", ""},
      {"abcabc", "bc", "", "aa"},
      {"hello", "x", "y", "hello"},
      {"a.b.c", ".", "::", "a::b::c"},
      {"", "a", "b", ""},
      {"xxxx", "xx", "x", "xx"},
  };
  for (const Case& c : cases) {
    std::string text = c.text;
    GlobalMember::ReplaceStr(text, c.pattern, c.replacement);
    EXPECT_EQ(text, c.result) << "\"" << c.text << "\" " << c.pattern << " -> " << c.replacement;
  }
}

TEST(UTF8ToGBK, ConvertsNothing) { EXPECT_EQ(GlobalMember::UTF8ToGBK("abc"), nullptr); }

// ---------------------------------------------------------------------------
// The settings and the setters that change them.
class Settings : public ::testing::Test {
 protected:
  void SetUp() override {
    sendTimeOut_ = g_send_time_out;
    receiveTimeOut_ = g_receive_time_out;
    sendTimes_ = g_send_times;
    cardIp_ = g_network_card_ip ? g_network_card_ip : "127.0.0.1";
    cardPort_ = g_network_card_port;
    chnCodeMode_ = g_chncode_mode;
  }
  void TearDown() override {
    g_send_time_out = sendTimeOut_;
    g_receive_time_out = receiveTimeOut_;
    g_send_times = sendTimes_;
    BindNetworkCard(&cardIp_[0], cardPort_);
    g_chncode_mode = chnCodeMode_;
  }

 private:
  int sendTimeOut_ = 0, receiveTimeOut_ = 0, sendTimes_ = 0, cardPort_ = 0, chnCodeMode_ = 0;
  std::string cardIp_;
};

TEST_F(Settings, StartValues) {
  EXPECT_EQ(kStartSendTimeOut, 100);
  EXPECT_EQ(kStartReceiveTimeOut, 100);
  EXPECT_EQ(kStartSendTimes, 1);
  EXPECT_EQ(kStartCardIp, "127.0.0.1");
  EXPECT_EQ(kStartCardPort, 8801);
  EXPECT_EQ(kStartChnCodeMode, 0);
  EXPECT_EQ(g_nArrIndex, 0);
  EXPECT_EQ(chArrImageBuffer, nullptr);
  EXPECT_EQ(g_serverPort, 0);
  // The serial port starts closed, named "COM" at 9600 baud.
  EXPECT_EQ(serialPort.portName, "COM");
  EXPECT_EQ(serialPort.baudRate, 9600);
  EXPECT_EQ(serialPort.fd, -1);
  EXPECT_FALSE(serialPort.isOpen);
}

TEST_F(Settings, SetTimeOutRaisesValuesBelowTen) {
  struct Case {
    int send, receive, wantSend, wantReceive;
  };
  const Case cases[] = {
      {0, 5, 10, 10},
      {-100, 9, 10, 10},
      {10, 11, 10, 11},
      {200, 3000, 200, 3000},
  };
  for (const Case& c : cases) {
    SetTimeOut(c.send, c.receive);
    EXPECT_EQ(g_send_time_out, c.wantSend) << c.send;
    EXPECT_EQ(g_receive_time_out, c.wantReceive) << c.receive;
  }
}

TEST_F(Settings, SetReceiveTimeOutSetsBoth) {
  SetTimeOut(300, 400);
  SetReceiveTimeOut(50);
  EXPECT_EQ(g_send_time_out, 50);
  EXPECT_EQ(g_receive_time_out, 50);
  SetReceiveTimeOut(3);
  EXPECT_EQ(g_send_time_out, 10);
  EXPECT_EQ(g_receive_time_out, 10);
}

TEST_F(Settings, SetReSendTimesCountsRepeatsAfterTheFirstAttempt) {
  struct Case {
    int repeats, attempts;
  };
  const Case cases[] = {{-5, 1}, {0, 1}, {1, 2}, {2, 3}, {INT_MIN, 1}, {INT_MAX, INT_MAX}};
  for (const Case& c : cases) {
    SetReSendTimes(c.repeats);
    EXPECT_EQ(g_send_times, c.attempts) << c.repeats;
  }
}

TEST_F(Settings, SetChnCodeModeStoresAnyValue) {
  SetChnCodeMode(-7);
  EXPECT_EQ(g_chncode_mode, -7);
  SetChnCodeMode(3);
  EXPECT_EQ(g_chncode_mode, 3);
}

TEST_F(Settings, BindNetworkCardKeepsItsOwnCopy) {
  char address[] = "10.1.2.3";
  BindNetworkCard(address, 9000);
  std::strcpy(address, "9.9.9.9");  // the caller's buffer changes afterwards
  ASSERT_NE(g_network_card_ip, nullptr);
  EXPECT_STREQ(g_network_card_ip, "10.1.2.3");
  EXPECT_EQ(g_network_card_port, 9000);
}

TEST_F(Settings, BindNetworkCardRepeatedlyKeepsTheLastAddress) {
  // Many calls in a row: the sanitizer build would report a copy per call
  // left behind.
  for (int i = 0; i < 1000; ++i) {
    std::string a = "10.0." + std::to_string(i / 256) + "." + std::to_string(i % 256);
    BindNetworkCard(&a[0], 9000 + i);
  }
  EXPECT_STREQ(g_network_card_ip, "10.0.3.231");
  EXPECT_EQ(g_network_card_port, 9999);
  // Binding the address the library already holds is fine too.
  BindNetworkCard(g_network_card_ip, 8802);
  EXPECT_STREQ(g_network_card_ip, "10.0.3.231");
  EXPECT_EQ(g_network_card_port, 8802);
}

TEST_F(Settings, BindNetworkCardWithNullAddressKeepsTheAddress) {
  char address[] = "10.4.5.6";
  BindNetworkCard(address, 9001);
  BindNetworkCard(nullptr, 9002);
  EXPECT_STREQ(g_network_card_ip, "10.4.5.6");
  EXPECT_EQ(g_network_card_port, 9002);
}

}  // namespace
