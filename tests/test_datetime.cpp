// Date-time display content and payload, the date-time text and the clock
// record at a fixed moment, and both entry points on the wire.
#include "EmulatorTest.h"
#include "TestClock.h"
#include "core/Clock.h"

namespace {

// A year whose text needs five digits: the date-time text cannot be built.
std::tm FarFuture() {
  std::tm t = Dec6At222505();
  t.tm_year = 12000 - 1900;
  return t;
}

class FixedClock : public ContentWire {
 protected:
  void SetUp() override {
    ContentWire::SetUp();
    SetLocalTimeSource(Dec6At222505);

  }
  void TearDown() override {
    SetLocalTimeSource(nullptr);
    ContentWire::TearDown();
  }
};

TEST(DateTimeContent, BitFields) {
  struct Case {
    int f4h, f4l, f5h, f5l, f6, f0, f1, top, f2, f3;
    const char* content;
  };
  const Case cases[] = {
      {1, 1, 1, 1, 0, 1, 3, 1, 0, 0, "01 03 80 80 11 11 00"},
      {0, 0, 0, 0, 0, 0, 0, 1, 0, 5, "00 00 80 85 00 00 00"},
      {0, 0, 0, 0, 0, 0, 0, 2, 0, 5, "00 00 00 05 00 00 00"},   // only bit 0 of the top bit
      {17, 1, 0, 0, 0, 0, 0, 0, 0, 0, "00 00 00 00 11 00 00"},  // 17 keeps its low nibble
      {0, 0, 2, 0xAB, 0x1F, 0x1FF, -1, 0, 0xFF, 0x80, "FF FF 7F 00 00 2B 0F"},
  };
  CBuffObj o;
  for (const Case& c : cases) {
    const Bytes b = BytesOf(o.DateTimeBuffer(1, 0, c.f4h, c.f4l, c.f5h, c.f5l, c.f6, c.f0, c.f1,
                                             c.top, c.f2, c.f3, 0, 0, 1, false));
    ASSERT_EQ(b.size(), 64u) << c.content;
    EXPECT_EQ(hex(Bytes(b.begin() + 47, b.begin() + 54)), c.content);
  }
}

TEST(DateTimeContent, ColourModeCharacter) {
  const std::pair<int, uint8_t> cases[] = {{0, '1'}, {1, '2'}, {2, '3'}, {3, '1'}, {-1, '1'}};
  CBuffObj o;
  for (const auto& c : cases) {
    const Bytes b = BytesOf(o.DateTimeBuffer(1, c.first, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 1,
                                             true));
    ASSERT_EQ(b.size(), 67u);
    EXPECT_EQ(b[37], c.second) << c.first;
  }
}

TEST_F(FixedClock, DateTimeTextAndClockRecord) {
  CBuffObj o;
  char* full = o.GetSysDateTime(1);
  char* shortText = o.GetSysDateTime(2);
  EXPECT_STREQ(full, "2026120600222505");
  EXPECT_STREQ(shortText, "26120600222505");
  delete[] full;
  delete[] shortText;
  EXPECT_EQ(hex(BytesOf(o.CheckTimeBuffer(1))), Hx("1#2026120600222505#"));
  EXPECT_EQ(hex(BytesOf(o.CheckTimeBuffer(2))), "1A 0C 06 00 16 19 05");
  EXPECT_EQ(hex(BytesOf(o.CheckTimeBuffer(0))), "1A 0C 06 00 16 19 05");

  SetLocalTimeSource(FarFuture);
  full = o.GetSysDateTime(0);
  shortText = o.GetSysDateTime(2);
  EXPECT_STREQ(full, "2001010101010101");
  EXPECT_STREQ(shortText, "01010101010101");
  delete[] full;
  delete[] shortText;
}

TEST_F(FixedClock, TimeCheckOnTheWire) {
  EXPECT_EQ(TimeCheck_Net(ip(), 1), 0);
  const vexasim::Frame f = OnlyFrame();
  EXPECT_EQ(hex(f.raw), "FE 5C 4B 89 26 00 00 00 63 00 00 00 00 13 00 00 00 " +
                            Hx("1#2026120600222505#") + " FF FF");
  EXPECT_EQ(f.name, "TimeCheck");
  EXPECT_EQ(f.get("dateTime"), "\"2026120600222505\"");
}

TEST_F(ContentWire, SendDateTimeOnTheWire) {
  EXPECT_EQ(SendDateTime_Net(ip(), 1, 2, 0, 1, 1, 1, 1, 0, 1, 3, 1, 0, 0, 4, 9), 0);
  const vexasim::Frame f = OnlyFrame();
  EXPECT_EQ(hex(Bytes(f.raw.begin(), f.raw.begin() + 17)),
            "FE 5C 4B 89 56 00 00 00 31 00 00 00 00 43 00 00 00");
  // style3 at offset 12, extraByte at 32, sequence 1 and the closing mark.
  EXPECT_EQ(hex(f.payload), Hx("000000002,") + " 00 00 04 " + Hx("010101991231") +
                                " 0E 00 00 00 55 AA 00 09 31 32 31 31 31 31 01 00 00 00 " +
                                "11 00 00 00 01 03 80 80 11 11 00 " +
                                "FF 00 01 00 01 00 01 00 00 00 2D 31 2C");
  EXPECT_EQ(f.name, "DateTime");
  EXPECT_EQ(f.get("dtField1") + f.get("dtTopBit") + f.get("last"), "31true");

  EXPECT_EQ(SendDateTime_Net(ip(), 1, 2, 2, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0), 0);
  const vexasim::Frame mode2 = OnlyFrame();
  ASSERT_EQ(mode2.payload.size(), 67u);
  EXPECT_EQ(mode2.payload[37], '3');
  EXPECT_EQ(mode2.get("displayMode"), "2");

  EXPECT_EQ(SendDateTime_Net(nullptr, 1, 2, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0), 1);
  EXPECT_EQ(TimeCheck_Net(nullptr, 1), 1);
  ExpectNothingSent("null address");
}

}  // namespace
