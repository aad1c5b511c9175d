// The line-up record with its nibble check, and the last-page cut of
// SendLineUp2_Net as the controller receives it.
#include "EmulatorTest.h"

namespace {

TEST(LineUpRecord, Examples) {
  struct Case {
    const char* text;
    int slot, kind, unit;
    bool bracketed;
    const char* record;
  };
  const Case cases[] = {
      {"A1", 3, 1, 1, false, "01 00 0B 00 53 00 03 1F 41 31 03 05"},
      {"A1", 3, 1, 1, true, "01 00 0D 00 53 00 03 1D 1F 41 31 1C 03 02"},
      // X = C2: read as a signed byte and shifted, the high check byte is FC.
      {"\xB0\xA1", 1, 0, 0x80, false, "80 00 0B 00 53 00 01 0A B0 A1 FC 02"},
      {"", 0x102, 2, 0x1FF, false, "FF 00 09 00 53 00 02 1E FB 09"},
  };
  CBuffObj o;
  for (const Case& c : cases) {
    std::string text = c.text;
    EXPECT_EQ(hex(BytesOf(o.LineUpBuffer(&text[0], c.slot, c.kind, c.unit, c.bracketed))),
              c.record);
  }
  std::string t300(300, 'x');
  const Bytes b = BytesOf(o.LineUpBuffer(&t300[0], 1, 1, 1, false));
  ASSERT_EQ(b.size(), 310u);
  EXPECT_EQ(b[2], 0x35);  // 309, low 8 bits
}

TEST_F(ContentWire, LineUpOnTheWire) {
  char text[] = "A1";
  EXPECT_EQ(SendLineUp_Net(text, ip(), 1, 3, 1, 1, true), 0);
  const vexasim::Frame f = OnlyFrame();
  EXPECT_EQ(hex(f.raw), "FE 5C 4B 89 21 00 00 00 64 00 00 00 00 0E 00 00 00 "
                        "01 00 0D 00 53 00 03 1D 1F 41 31 1C 03 02 FF FF");
  EXPECT_EQ(f.get("check") + f.get("bracketed") + f.get("text"), "oktrue\"A1\"");
  EXPECT_EQ(SendLineUpContent(nullptr, ip(), 1, 3, 1, 1, true), 1);
  EXPECT_EQ(SendLineUp_Net(text, nullptr, 1, 3, 1, 1, true), 1);
  ExpectNothingSent("null text or address");
}

TEST_F(ContentWire, LastPageCut) {
  struct Case {
    const char* name;
    const char* text;
    int pageChars;
    const char* sent;  // nullptr: nothing sent, result 1
  };
  const Case cases[] = {
      {"even singles before the cut", "ABCDEFGHIJ", 2, "IJ"},
      {"odd singles: keep the split character", "ABCDEFG\xB0\xA1J", 2, "\xB0\xA1J"},
      {"exact pages", "ABCDEFGH", 2, "EFGH"},
      {"shorter than a page", "ABC", 4, "ABC"},
      {"two-byte characters", "\xB0\xA1\xB0\xA1X", 1, "X"},
      {"empty text", "", 2, nullptr},
      {"page of 0", "ABCDEFGH", 0, nullptr},
      {"negative page", "ABCDEFGH", -1, nullptr},
  };
  for (const Case& c : cases) {
    std::string text = c.text;
    const int result = SendLineUp2_Net(&text[0], ip(), 1, 1, 1, 1, false, c.pageChars);
    if (c.sent == nullptr) {
      EXPECT_EQ(result, 1) << c.name;
      ExpectNothingSent(c.name);
      continue;
    }
    EXPECT_EQ(result, 0) << c.name;
    const vexasim::Frame f = OnlyFrame();
    const std::string payload = hex(f.payload);
    EXPECT_EQ(payload.substr(24, payload.size() - 30), Hx(c.sent)) << c.name;
    EXPECT_EQ(f.get("check"), "ok") << c.name;
  }
  EXPECT_EQ(SendLineUp2_Net(nullptr, ip(), 1, 1, 1, 1, false, 2), 1);
}

TEST(LineUpDecoder, WrongCheckIsReported) {
  Bytes frame = bytesOf("FE 5C 4B 89 1F 00 00 00 64 00 00 00 00 0C 00 00 00 "
                        "80 00 0B 00 53 00 01 0A B0 A1 0C 02 FF FF");
  const vexasim::Frame f = vexasim::decodeNetworkFrame(frame.data(), frame.size());
  EXPECT_EQ(f.get("check"), "bad");
  EXPECT_FALSE(f.checksOk);
}

}  // namespace
