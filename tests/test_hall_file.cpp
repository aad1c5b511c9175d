// The hall file: what it describes, and every mistake named at its place.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "hall/HallFile.h"

namespace {

// A hall of one sign, to which each case adds or changes a few lines.
const std::string kSign =
    "[[sign]]\n"                 // 1
    "name = \"main\"\n"          // 2
    "transport = \"udp\"\n"      // 3
    "address = \"192.0.2.10\"\n" // 4
    "width = 192\n"              // 5
    "height = 32\n";             // 6

std::vector<std::string> MistakesOf(const std::string& text) {
  std::vector<hall::Mistake> found;
  std::unique_ptr<hall::HallFile> hall = hall::ParseHallFile(text, "hall.toml", &found);
  EXPECT_EQ(hall == nullptr, !found.empty());
  std::vector<std::string> out;
  for (const hall::Mistake& m : found) out.push_back(m.Text());
  return out;
}

TEST(HallFile, EveryMistakeAtItsPlace) {
  struct Case {
    const char* what;
    std::string text;
    std::vector<std::string> mistakes;
  } cases[] = {
      {"unknown key", kSign + "widht = 3\n", {"hall.toml:7:1: unknown key \"widht\" in a sign"}},
      {"width not a multiple of 8",
       "[[sign]]\nname = \"a\"\ntransport = \"tcp\"\naddress = \"192.0.2.1\"\nwidth = 190\nheight = 32\n",
       {"hall.toml:5:9: the width 190 is not a multiple of 8 dots"}},
      {"height not a multiple of 16",
       "[[sign]]\nname = \"a\"\ntransport = \"tcp\"\naddress = \"192.0.2.1\"\nwidth = 64\nheight = 20\n",
       {"hall.toml:6:10: the height 20 is not a multiple of 16 dots"}},
      {"area outside its sign",
       kSign + "[[sign.page]]\n[[sign.page.area]]\nx = 128\nwidth = 96\nheight = 16\n"
               "[[sign.page.area.material]]\nkind = \"datetime\"\n",
       {"hall.toml:8:1: the area 96x16 at 128,0 lies outside the sign's 192x32 dots"}},
      {"counter on a sign the hall does not have",
       kSign + "[[counter]]\nnumber = 3\nlineup = { sign = \"mian\", field = 1 }\n",
       {"hall.toml:9:19: counter 3 shows on sign \"mian\", which the hall does not have"}},
      {"text GBK cannot hold",
       kSign + "[[sign.page]]\n[[sign.page.area]]\nwidth = 64\nheight = 16\n"
               "[[sign.page.area.material]]\nkind = \"text\"\ntext = \"Hi \xF0\x9F\x98\x80\"\n",
       {"hall.toml:13:8: \"text\" has a character GBK cannot hold: U+1F600 '\xF0\x9F\x98\x80'"}},
      {"two signs on one address",
       kSign + "[[sign]]\nname = \"second\"\ntransport = \"tcp\"\naddress = \"192.0.2.10\"\n"
               "width = 64\nheight = 16\n",
       {"hall.toml:7:1: signs \"main\" and \"second\" are both on address 192.0.2.10"}},
      {"two bar screens on one line and address",
       "[[sign]]\nname = \"b1\"\ntransport = \"serial\"\nport = 1\nbar = true\nbar_address = 3\n"
       "[[sign]]\nname = \"b2\"\ntransport = \"serial\"\nport = 1\nbar = true\nbar_address = 3\n",
       {"hall.toml:7:1: signs \"b1\" and \"b2\" are both on COM1 bar address 3"}},
      {"one bus address written two ways",
       "[[sign]]\nname = \"s1\"\ntransport = \"serial\"\nport = 2\nbus = \"5\"\nwidth = 64\nheight = 16\n"
       "[[sign]]\nname = \"s2\"\ntransport = \"serial\"\nport = 2\nbus = \"0_0_0_0_0_0_0_5\"\n"
       "width = 64\nheight = 16\n",
       {"hall.toml:8:1: signs \"s1\" and \"s2\" are both on COM2 bus address 0_0_0_0_0_0_0_5"}},
      {"not TOML", kSign + "speaks = = 3\n",
       {"hall.toml:7:10: Error while parsing value: could not determine value type"}},
      {"a value out of range and a missing key, both",
       "[hall]\ntimeout_ms = 5\n[[sign]]\nname = \"a\"\ntransport = \"udp\"\nwidth = 64\nheight = 16\n",
       {"hall.toml:2:14: \"timeout_ms\" is 5, not within 10 to 600000",
        "hall.toml:3:1: missing key \"address\""}},
      {"a transport that does not exist",
       "[[sign]]\nname = \"a\"\ntransport = \"smoke\"\naddress = \"192.0.2.1\"\nwidth = 64\nheight = 16\n",
       {"hall.toml:3:13: \"transport\" is \"smoke\", not one of udp, tcp, login, serial"}},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(MistakesOf(c.text), c.mistakes) << c.what;
  }
}

TEST(HallFile, TheExampleHallDescribesItsSignsAndCounters) {
  std::vector<hall::Mistake> mistakes;
  std::unique_ptr<hall::HallFile> h =
      hall::LoadHallFile(VEXA_SOURCE_DIR "/examples/hall.toml", &mistakes);
  ASSERT_NE(h, nullptr) << (mistakes.empty() ? "" : mistakes[0].Text());
  ASSERT_EQ(h->signs.size(), 7u);
  const hall::Sign& main = *h->FindSign("main");
  EXPECT_EQ(main.Where(), "udp 127.0.10.1");
  EXPECT_EQ(main.width * 1000 + main.height, 192032);
  EXPECT_TRUE(main.speaks);
  EXPECT_EQ(main.pages.at(0).areas.size(), 3u);
  EXPECT_EQ(h->FindSign("entrance")->timeoutMs, 800);
  EXPECT_EQ(h->FindSign("office")->networkMode(), 3);
  EXPECT_EQ(h->FindSign("bar3")->Where(), "serial COM1 bar 3");
  const hall::Counter* three = h->FindCounter(3);
  ASSERT_NE(three, nullptr);
  ASSERT_EQ(three->displays.size(), 4u);
  EXPECT_EQ(three->displays[0].sign + std::to_string(three->displays[0].field), "main2");
  EXPECT_EQ(three->displays[3].sign, "bar3");
  EXPECT_EQ(h->FindCounter(5), nullptr);
}

TEST(HallFile, AFileThatCannotBeReadIsToldApart) {
  std::vector<hall::Mistake> mistakes;
  EXPECT_EQ(hall::LoadHallFile("/nonexistent/hall.toml", &mistakes), nullptr);
  ASSERT_EQ(mistakes.size(), 1u);
  EXPECT_TRUE(mistakes[0].unreadable);
  EXPECT_EQ(mistakes[0].Text(), "/nonexistent/hall.toml: cannot read the file: No such file or directory");
  EXPECT_EQ(hall::LoadHallFile("/", &mistakes), nullptr);
  EXPECT_TRUE(mistakes.at(0).unreadable);
}

TEST(HallFile, TheAnnouncementReadsTheTicketAsTold) {
  struct Case {
    bool digits;
    int repeat;
    const char* ticket;
    std::string spoken;
  } cases[] = {
      {true, 1, "A012", "Ticket A 0 1 2, please go to counter 3"},
      {false, 1, "A012", "Ticket A12, please go to counter 3"},
      {false, 1, "B000", "Ticket B0, please go to counter 3"},
      {false, 2, "7", "Ticket 7, please go to counter 3 Ticket 7, please go to counter 3"},
  };
  for (const Case& c : cases) {
    hall::Announcement a;
    a.digits = c.digits;
    a.repeat = c.repeat;
    std::string why;
    EXPECT_EQ(a.For(c.ticket, 3, &why).value_or("<" + why + ">"), c.spoken) << c.ticket;
  }
  hall::Announcement chinese;
  chinese.text = "\xE8\xAF\xB7{ticket}";  // 请 (GBK C7 EB)
  EXPECT_EQ(chinese.For("1", 3, nullptr).value_or(""), "\xC7\xEB" "1");
  std::string why;
  EXPECT_FALSE(chinese.For("\xF0\x9F\x98\x80", 3, &why).has_value());
  EXPECT_EQ(why, "the announcement has a character GBK cannot hold: U+1F600 '\xF0\x9F\x98\x80'");
}

}  // namespace
