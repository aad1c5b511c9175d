// The virtual sign: what the emulator would display for the frames it
// received, checked dot by dot. The frames are made by the library's
// encoders and read back by the emulator's decoders, as on the wire.
//
// Most checks draw in a test font whose glyph for character c lights, in its
// top row, the bits of c itself: reading a sign's top row back cell by cell
// gives the text drawn there, so placement and clipping are checked exactly.
#include <sys/stat.h>
#include <unistd.h>

#include <cstdio>
#include <fstream>

#include <gtest/gtest.h>

#include "Sign.h"
#include "SignService.h"
#include "SimFixture.h"
#include "TestBytes.h"

using namespace vexasim;

namespace {

// Real Unifont glyphs: 'A' (8 x 16) and U+4E2D (16 x 16).
const char kGlyphA[] = "0041:0000000018242442427E424242420000";
const char kGlyphZhong[] = "4E2D:01000100010001003FF8210821082108210821083FF821080100010001000100";
const char kTail[] = "1000000000#01#10;";

// The test font: for every printable ASCII character c, a glyph whose top
// row is the byte c and whose other rows are empty.
GlyphFont markerFont() {
  GlyphFont font;
  for (int c = 0x20; c < 0x7F; ++c) {
    char line[64];
    std::snprintf(line, sizeof line, "%04X:%02X000000000000000000000000000000", c, c);
    font.addLine(line);
  }
  return font;
}

// The text in row y from dot x on, one character per 8 dots, read back
// through the marker font; '.' for a cell with no dot lit.
std::string readRow(const RgbImage& m, int x, int y, int cells) {
  std::string s;
  for (int k = 0; k < cells; ++k) {
    int c = 0;
    for (int b = 0; b < 8; ++b) c = c * 2 + (m.lit(x + 8 * k + b, y) ? 1 : 0);
    s += c ? char(c) : '.';
  }
  return s;
}

// The dots of a window of m as rows of '#' (lit) and '.'.
std::vector<std::string> window(const RgbImage& m, int x, int y, int w, int h) {
  std::vector<std::string> rows;
  for (int j = 0; j < h; ++j) {
    std::string r;
    for (int i = 0; i < w; ++i) r += m.lit(x + i, y + j) ? '#' : '.';
    rows.push_back(r);
  }
  return rows;
}

int litDots(const RgbImage& m) {
  int n = 0;
  for (int y = 0; y < m.height; ++y)
    for (int x = 0; x < m.width; ++x) n += m.lit(x, y);
  return n;
}

Frame decoded(const CBuffObj::tagBufferInfo& frame) {
  Bytes b = BytesOf(frame);
  Frame f = decodeSerialFrame(b.data(), b.size());
  f.channel = "udp";
  return f;
}

Frame net(short code, const CBuffObj::tagBufferInfo& payload) {
  CBuffObj o;
  return decoded(o.CompletePacketBuffer(payload, code, 0));
}

Frame netBytes(short code, const std::string& payload) { return net(code, Record(bytesOfText(payload))); }

Frame internalText(std::string text, int materialId, int attrHigh) {
  CBuffObj o;
  return net(0x31, o.InternalTextBuffer(&text[0], 192, 16, materialId, 0, 0, 0, 0, 0, attrHigh, 0, 1, true, 0, 1,
                                        false));
}

Frame collected(std::string text, int index, int attrHigh) {
  CBuffObj o;
  return net(0x65, o.CollectionBuffer(&text[0], index, false, false, 3, 3, short(attrHigh), 0));
}

// A descriptor of one page whose entries are "id,type,x8,y,w8,h".
std::string pageSet(const std::string& window, const std::vector<std::string>& entries) {
  std::string s = "," + window + ".";
  for (const std::string& e : entries) s += e + kTail;
  return s;
}

const std::string kA = "A";
const uint8_t kRed[3] = {255, 0, 0};
const uint8_t kGreen[3] = {0, 255, 0};

}  // namespace

TEST(SignRaster, PicturesAndAreasTakeTheirColourEveryPixelAndNoMore) {
  // A picture of one colour, then areas filled across its edges: each pixel
  // is the area's colour inside the clipped area and the picture's outside.
  struct Area {
    int x0, y0, x1, y1;
  } areas[] = {{-2, 1, 3, 9}, {4, -1, 7, 1}, {2, 2, 2, 3}, {6, 0, 5, 2}, {0, 0, 7, 3}};
  const uint8_t paint[3] = {9, 8, 7};
  for (const Area& a : areas) {
    vexasim::RgbImage image(7, 3, 1, 2, 3);
    ASSERT_EQ(image.pixels.size(), size_t(7 * 3 * 3));
    image.fill(a.x0, a.y0, a.x1, a.y1, paint);
    for (int y = 0; y < 3; ++y) {
      for (int x = 0; x < 7; ++x) {
        const bool inside = x >= a.x0 && x < a.x1 && y >= a.y0 && y < a.y1;
        const uint8_t* p = image.at(x, y);
        EXPECT_EQ(std::vector<int>({p[0], p[1], p[2]}),
                  inside ? std::vector<int>({9, 8, 7}) : std::vector<int>({1, 2, 3}))
            << "area " << a.x0 << "," << a.y0 << "-" << a.x1 << "," << a.y1 << " pixel " << x << "," << y;
      }
    }
  }
  EXPECT_EQ(vexasim::RgbImage(0, -4, 5, 5, 5).pixels, std::vector<uint8_t>(3, 5));
}

TEST(SignFont, ReadsGlyphLinesOfBothWidths) {
  GlyphFont font;
  ASSERT_TRUE(font.addLine(kGlyphA));
  ASSERT_TRUE(font.addLine(kGlyphZhong));
  const Glyph* a = font.find(0x41);
  const Glyph* zhong = font.find(0x4E2D);
  ASSERT_TRUE(a && zhong);
  EXPECT_EQ(a->width, 8);
  EXPECT_EQ(zhong->width, 16);
  // Row 4 of 'A' is 18: dots 3 and 4. Row 0 of U+4E2D is 01 00: dot 7 only.
  EXPECT_EQ(std::string() + char('0' + a->dot(2, 4)) + char('0' + a->dot(3, 4)) + char('0' + a->dot(4, 4)) +
                char('0' + a->dot(5, 4)),
            "0110");
  EXPECT_TRUE(zhong->dot(7, 0));
  EXPECT_FALSE(zhong->dot(8, 0));
  EXPECT_TRUE(zhong->dot(2, 4));  // 3F F8: dots 2 to 12
  EXPECT_TRUE(zhong->dot(12, 4));
  EXPECT_FALSE(zhong->dot(13, 4));
  EXPECT_EQ(font.find(0x42), nullptr);

  for (const char* bad : {"0041:123", "0041:00000000182424424", "XY41:0000000018242442427E424242420000",
                          ":0000000018242442427E424242420000", "0041 0000000018242442427E424242420000",
                          "0041:0000000018242442427E42424242000G", "123456789:0000000018242442427E424242420000"})
    EXPECT_FALSE(font.addLine(bad)) << bad;
}

TEST(SignFont, LoadsAFileAndCountsLinesThatAreNoGlyphs) {
  const std::string path = "sign-test-font-" + std::to_string(::getpid()) + ".hex";
  std::ofstream(path) << "# a comment\n" << kGlyphA << "\r\n" << "0042:not a glyph\n" << kGlyphZhong << "\n";
  GlyphFont font;
  size_t skipped = 99;
  std::string error;
  EXPECT_TRUE(font.load(path, &error, &skipped)) << error;
  EXPECT_EQ(font.size(), 2u);
  EXPECT_EQ(skipped, 1u);
  std::remove(path.c_str());
  EXPECT_FALSE(font.load(path, &error));
  EXPECT_NE(error.find(path), std::string::npos);
}

TEST(SignText, SingleBytesAndGbkPairs) {
  struct Case {
    std::string bytes;
    std::vector<std::pair<uint32_t, int>> chars;
    std::string utf8;
  } cases[] = {
      {"A1 ", {{0x41, 1}, {0x31, 1}, {0x20, 1}}, "A1 "},
      {"\xD6\xD0", {{0x4E2D, 2}}, "\xE4\xB8\xAD"},
      {"A\xFF", {{0x41, 1}, {kNoChar, 1}}, "A\xEF\xBF\xBD"},
      {"\xD6", {{kNoChar, 1}}, "\xEF\xBF\xBD"},                               // a lead byte at the end
      {std::string("\xD6\x30", 2), {{kNoChar, 1}, {0x30, 1}}, "\xEF\xBF\xBD" "0"},  // lead byte, then a digit
      {std::string("\x01", 1), {{0x01, 1}}, "\xEF\xBF\xBD"},                   // a control byte
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(hex(bytesOfText(c.bytes)));
    std::vector<SignChar> got = decodeSignText(c.bytes);
    ASSERT_EQ(got.size(), c.chars.size());
    for (size_t i = 0; i < got.size(); ++i) {
      EXPECT_EQ(got[i].code, c.chars[i].first) << i;
      EXPECT_EQ(got[i].bytes, c.chars[i].second) << i;
    }
    EXPECT_EQ(signTextUtf8(c.bytes), c.utf8);
  }
}

TEST(SignDraw, TextLandsInItsAreaAsTheFontsDotsAndIsCutAtItsEdge) {
  GlyphFont font;
  ASSERT_TRUE(font.addLine(kGlyphA));
  SignBoard board;
  // Area 1: 8 x 20 dots at 16,4 holding text 7. Area 2: a line-up field at
  // 0,0 that widens the sign to 48 dots and shows nothing.
  board.apply(netBytes(0x22, "000000001" + pageSet("00:00-23:59", {"0000000077002004001020",
                                                                    "0000000095000000006016"})),
              "127.0.0.1");
  board.apply(internalText("AA", 7, 2), "127.0.0.1");
  const SignState& s = *board.find("127.0.0.1");
  const SignLayout l = board.layout(s);
  EXPECT_EQ(l.width, 48);
  EXPECT_EQ(l.height, 24);
  const RgbImage m = board.draw(s, l, font);
  const std::vector<std::string> a = {
      "........", "........", "........", "........", "...##...", "..#..#..", "..#..#..", ".#....#.",
      ".#....#.", ".######.", ".#....#.", ".#....#.", ".#....#.", ".#....#.", "........", "........"};
  EXPECT_EQ(window(m, 16, 4, 8, 16), a);
  EXPECT_EQ(litDots(m), 24);  // the first 'A' only: the second lies beyond the area
  EXPECT_EQ(std::vector<uint8_t>(m.at(19, 8), m.at(19, 8) + 3), std::vector<uint8_t>(kGreen, kGreen + 3));
}

TEST(SignDraw, CollectedDataReplacesItsEarlierTextBeforeAndInAPageSet) {
  const GlyphFont font = markerFont();
  SignBoard board;
  const std::string ip = "127.0.0.1";
  board.apply(collected("AB", 1, 1), ip);
  board.apply(collected("xyz", 2, 2), ip);
  board.apply(collected("C", 1, 1), ip);
  const SignState& s = *board.find(ip);
  SignLayout l = board.layout(s);
  // No page set: each field gets a 192 x 16 area, in the order they came.
  ASSERT_EQ(l.areas.size(), 2u);
  EXPECT_EQ(l.width, 192);
  EXPECT_EQ(l.height, 32);
  RgbImage m = board.draw(s, l, font);
  EXPECT_EQ(readRow(m, 0, 0, 4), "C...");
  EXPECT_EQ(readRow(m, 0, 16, 4), "xyz.");
  EXPECT_EQ(std::vector<uint8_t>(m.at(1, 0), m.at(1, 0) + 3), std::vector<uint8_t>(kRed, kRed + 3));
  EXPECT_EQ(std::vector<uint8_t>(m.at(1, 16), m.at(1, 16) + 3), std::vector<uint8_t>(kGreen, kGreen + 3));

  // A page set whose field at 8,0 (material 123) shows data index 2.
  board.apply(netBytes(0x22, "000000001" + pageSet("00:00-23:59", {"0000001236001000004016"})), ip);
  GlobalMember::tagMaterial field;
  field.materialId = 123;
  field.dataIndex = 2;
  field.contentType = '6';
  board.apply(net(0x31, CBuffObj().CollectionBuffer_Template(field, 1, true)), ip);
  board.apply(collected("Q", 2, 1), ip);
  l = board.layout(s);
  ASSERT_EQ(l.areas.size(), 1u);
  EXPECT_EQ(l.width, 40);
  m = board.draw(s, l, font);
  EXPECT_EQ(readRow(m, 0, 0, 5), ".Q...");
}

TEST(SignDraw, DateTimeBlockShowsTheSetClockRunning) {
  const GlyphFont font = markerFont();
  SignBoard board;
  auto now = std::chrono::system_clock::from_time_t(1000000);
  board.setClock([&now] { return now; });
  board.apply(netBytes(0x63, "1#2026120700205455#"), "127.0.0.1");
  CBuffObj o;
  board.apply(net(0x31, o.DateTimeBuffer(2, 0, 1, 1, 1, 1, 0, 1, 3, 1, 0, 0, 0, 0, 1, true)), "127.0.0.1");
  const SignState& s = *board.find("127.0.0.1");
  EXPECT_EQ(readRow(board.draw(s, board.layout(s), font), 0, 0, 20), "2026-12-07 20:54:55.");
  now += std::chrono::seconds(65);
  EXPECT_EQ(readRow(board.draw(s, board.layout(s), font), 0, 0, 20), "2026-12-07 20:56:00.");
  // A clock set over the bus sets that device's clock.
  board.apply(decoded(o.CompletePacketBuffer_485(Record(bytesOf("1A 01 01 00 00 00 07")), 0x34,
                                                 const_cast<char*>("5"), 0, 0, false)),
              "127.0.0.1");
  EXPECT_EQ(board.signTime(*board.find("bus 5")), "2026-01-01 00:00:07");
}

TEST(SignDraw, ThreePlaneBitmapShowsItsColours) {
  GlyphFont font;
  SignBoard board;
  board.apply(netBytes(0x22, "000000001" + pageSet("00:00-23:59", {"0000000098000000001002"})), "127.0.0.1");
  // 8 x 2 dots, planes red, green, blue. Row 0: red, green, blue, yellow,
  // magenta, cyan, white, dark. Row 1: dark but the last, white.
  CBuffObj o;
  board.apply(net(0x31, o.ImgGroupBuffer(Pack(bytesOf("9A 01 56 01 2E 01"), 0x31, 1, 1), 9, 2, 0, 0, 0, 1, true, 1,
                                         true)),
              "127.0.0.1");
  const SignState& s = *board.find("127.0.0.1");
  const SignLayout l = board.layout(s);
  ASSERT_EQ(l.width, 8);
  ASSERT_EQ(l.height, 2);
  const RgbImage m = board.draw(s, l, font);
  const char* want[2] = {"RGBYMCW.", ".......W"};
  for (int y = 0; y < 2; ++y) {
    std::string got;
    for (int x = 0; x < 8; ++x) {
      const uint8_t* p = m.at(x, y);
      const int code = (p[0] ? 4 : 0) + (p[1] ? 2 : 0) + (p[2] ? 1 : 0);
      got += ".BGCRMYW"[code];
    }
    EXPECT_EQ(got, want[y]) << "row " << y;
  }
}

TEST(SignDraw, GlyphMissingFromTheFontShowsAsABox) {
  GlyphFont font;
  ASSERT_TRUE(font.addLine(kGlyphA));
  SignBoard board;
  board.apply(internalText("AB\xD6\xD0", 3, 1), "127.0.0.1");
  const SignState& s = *board.find("127.0.0.1");
  const RgbImage m = board.draw(s, board.layout(s), font);
  std::vector<std::string> boxes(16);
  for (int y = 0; y < 16; ++y) {
    const bool edge = y == 1 || y == 14, inside = y > 1 && y < 14;
    boxes[size_t(y)] = edge ? ".######..##############." : inside ? ".#....#..#............#." : std::string(24, '.');
  }
  EXPECT_EQ(window(m, 8, 0, 24, 16), boxes);  // 'B' (one byte wide), then U+4E2D (two)
  EXPECT_EQ(window(m, 0, 4, 8, 1)[0], "...##...");  // the 'A' before them is drawn as usual
}

TEST(SignDraw, LampsAreRoundDimmedByBrightnessAndDarkWhenStopped) {
  RgbImage m(2, 1);
  m.set(0, 0, kRed);
  struct Case {
    int brightness;
    std::vector<uint8_t> lit;
  } cases[] = {{-1, {255, 0, 0}}, {15, {255, 0, 0}}, {7, {150, 22, 22}}, {0, {57, 41, 41}}};
  for (const Case& c : cases) {
    SCOPED_TRACE(c.brightness);
    const RgbImage img = drawLeds(m, c.brightness, 6);
    ASSERT_EQ(img.width, 12);
    ASSERT_EQ(img.height, 6);
    auto px = [&](int x, int y) {
      const uint8_t* p = &img.pixels[size_t(y * img.width + x) * 3];
      return std::vector<uint8_t>(p, p + 3);
    };
    EXPECT_EQ(px(2, 2), c.lit);                                // the lit lamp's middle
    EXPECT_EQ(px(8, 3), std::vector<uint8_t>({44, 44, 44}));  // the unlit lamp
    EXPECT_EQ(px(0, 0), std::vector<uint8_t>({12, 12, 12}));  // the corner between lamps
    EXPECT_EQ(px(5, 2), std::vector<uint8_t>({12, 12, 12}));  // the gap to the next cell
  }

  const GlyphFont font = markerFont();
  SignBoard board;
  board.apply(collected("AB", 1, 1), "127.0.0.1");
  board.apply(netBytes(0x52, ""), "127.0.0.1");
  const SignState& s = *board.find("127.0.0.1");
  EXPECT_FALSE(s.playing);
  EXPECT_EQ(litDots(board.draw(s, board.layout(s), font)), 0);
  board.apply(netBytes(0x51, ""), "127.0.0.1");
  EXPECT_EQ(readRow(board.draw(s, board.layout(s), font), 0, 0, 3), "AB.");
}

TEST(SignState, PlayControlRelaysBrightnessAndAnnouncements) {
  SignBoard board;
  CBuffObj o;
  const std::string ip = "127.0.0.1";
  board.apply(net(0x66, o.PlayShowPageBuffer(2)), ip);
  board.apply(net(0x61, o.RelayBuffer(3, 1, 0)), ip);
  board.apply(net(0x61, o.RelayBuffer(1, 0, 5)), ip);
  board.apply(net(0x61, o.RelayBuffer(3, 2, 0)), ip);
  board.apply(net(0x76, o.SetBrightBuffer(10, 1)), ip);
  for (int k = 1; k <= 6; ++k) {
    std::string text = "call " + std::to_string(k);
    board.apply(net(0x68, o.VoiceBuffer(&text[0], 0, 5, 1, 2)), ip);
  }
  const SignState& s = *board.find(ip);
  EXPECT_EQ(s.pageNo, 2);
  EXPECT_EQ(s.relays[0], "pulse 5");
  EXPECT_EQ(s.relays[1], "");
  EXPECT_EQ(s.relays[2], "off");
  EXPECT_EQ(s.brightness1, 10);
  EXPECT_EQ(s.brightness2, 1);
  ASSERT_EQ(s.announcements.size(), kMaxAnnouncements);
  EXPECT_EQ(s.announcements.front().text, "call 2");
  EXPECT_EQ(s.announcements.back().text, "call 6");
  EXPECT_EQ(s.announcements.back().spoken, "[v5]sound101 [m51] call 6");

  // A frame that fails its checks changes nothing.
  Frame bad = net(0x66, o.PlayShowPageBuffer(4));
  bad.checksOk = false;
  EXPECT_EQ(board.apply(bad, ip), "");
  EXPECT_EQ(s.pageNo, 2);
}

TEST(SignState, PageChosenByCommandOrByItsTimeWindow) {
  SignBoard board;
  auto now = std::chrono::system_clock::from_time_t(1000000);
  board.setClock([&now] { return now; });
  const std::string ip = "127.0.0.1";
  board.apply(netBytes(0x63, "1#2026120700130000#"), ip);  // 13:00
  board.apply(netBytes(0x22, "000000001" + pageSet("06:00-11:59", {"0000000017000000024016"}) +
                                 pageSet("12:00-21:59", {"0000000027000000024016"}) +
                                 pageSet("22:00-02:00", {"0000000037000000024016"})),
              ip);
  const SignState& s = *board.find(ip);
  struct Case {
    int page;      // PlayShowPage sent first; 0: none
    int clockAdd;  // seconds after 13:00
    int shown;     // index of the page shown
    const char* by;
  } cases[] = {{0, 0, 1, "time window"},
               {0, 37800, 2, "time window"},  // 23:30, in the window that runs over midnight
               {0, 43200, 2, "time window"},  // 01:00, the same window
               {0, 50400, 0, "first page"},   // 03:00, in no window
               {3, 0, 2, "command"},
               {9, 0, 1, "time window"}};     // there is no page 9
  for (const Case& c : cases) {
    SCOPED_TRACE(std::to_string(c.page) + " +" + std::to_string(c.clockAdd));
    now = std::chrono::system_clock::from_time_t(1000000 + c.clockAdd);
    if (c.page) board.apply(net(0x66, CBuffObj().PlayShowPageBuffer(c.page)), ip);
    const SignLayout l = board.layout(s);
    EXPECT_EQ(l.pageIndex, c.shown);
    EXPECT_EQ(l.pageChosenBy, c.by);
  }
}

TEST(SignState, BusDevicesAndBarScreensAreSignsOfTheirOwn) {
  const GlyphFont font = markerFont();
  SignBoard board;
  CBuffObj o;
  char bus5[] = "5", bus123[] = "1_2_3_4_5_6_7_8", bus3[] = "3";
  EXPECT_EQ(board.apply(decoded(o.CompletePacketBuffer_485(o.PlayShowPageBuffer(4), 0x36, bus5, 0, 0, false)), "x"),
            "bus 5");
  EXPECT_EQ(board.apply(decoded(o.CompletePacketBuffer_485(o.RelayBuffer(2, 1, 0), 0x32, bus123, 0, 0, false)), "x"),
            "bus 1_2_3_4_5_6_7_8");
  char hello[] = "hello";
  EXPECT_EQ(board.apply(decoded(o.CompletePacketBuffer_PlayVoice_485(o.VoiceBuffer(hello, 2, -1, -1, -1), 0x73, bus3)),
                        "x"),
            "bus 3");
  char ticket[] = "A012";
  EXPECT_EQ(board.apply(decoded(o.BarScreenContentBuffer(ticket, 1, 2, 3, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, false)), "x"),
            "bar 1");
  EXPECT_EQ(board.find("bus 5")->pageNo, 4);
  EXPECT_EQ(board.find("bus 1_2_3_4_5_6_7_8")->relays[1], "on");
  EXPECT_EQ(board.find("bus 3")->announcements.back().text, "hello");
  const SignState& bar = *board.find("bar 1");
  const SignLayout l = board.layout(bar);
  EXPECT_EQ(l.width, 48);  // three double-byte characters of 16 dots
  EXPECT_EQ(l.height, 16);
  const RgbImage m = board.draw(bar, l, font);
  EXPECT_EQ(readRow(m, 0, 0, 6), "A012  ");
  EXPECT_EQ(std::vector<uint8_t>(m.at(1, 0), m.at(1, 0) + 3), std::vector<uint8_t>(kGreen, kGreen + 3));
  EXPECT_EQ(board.find("x"), nullptr);  // the controller itself received nothing
}

TEST(SignState, EachLineHasItsOwnBarsAndBusDevicesAndNamedSignsTheirSize) {
  SignBoard board;
  CBuffObj o;
  board.addLine("COM1");
  board.addLine("COM2");
  board.addSign("COM2 bar 1", "bar", "upstairs", 96, 16);
  char ticket[] = "A012", bus5[] = "5";
  const Frame bar1 = decoded(o.BarScreenContentBuffer(ticket, 1, 2, 3, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, false));
  const Frame bus = decoded(o.CompletePacketBuffer_485(o.PlayShowPageBuffer(4), 0x36, bus5, 0, 0, false));
  const struct {
    const Frame& frame;
    const char* address;
    const char* id;
  } cases[] = {
      {bar1, "COM1", "COM1 bar 1"},  // the same bar address on two lines: two signs
      {bar1, "COM2", "COM2 bar 1"},
      {bar1, "192.0.2.10", "bar 1"},  // a controller's own serial line, as before
      {bus, "COM1", "COM1 bus 5"},
      {collected("A012", 1, 1), "COM2", "COM2"},  // the network frame on a line: the line itself
  };
  for (const auto& c : cases) EXPECT_EQ(board.apply(c.frame, c.address), c.id);
  EXPECT_EQ(board.find("COM1 bus 5")->pageNo, 4);
  EXPECT_EQ(board.find("COM2 bar 1")->name, "upstairs");
  // A bar screen named before any frame is as wide as its pages, 16 dots a
  // character, until a frame gives its own page width (3 here).
  board.addSign("COM3 bar 7", "bar", "bar7", 96, 16);
  EXPECT_EQ(board.layout(*board.find("COM3 bar 7")).width, 96);
  EXPECT_EQ(board.layout(*board.find("COM2 bar 1")).width, 48);
}

TEST(SignService, PublishesEachChangeAndWritesTheSignsFile) {
  char dir[] = "/tmp/vexa-sign-XXXXXX";
  ASSERT_NE(::mkdtemp(dir), nullptr);
  auto font = std::make_shared<GlyphFont>(markerFont());
  SignService::Settings settings;
  settings.outDir = dir;
  {
    SignService service(font, settings);
    service.addController("127.0.0.1");
    ASSERT_TRUE(service.flush(10000));
    const uint64_t before = service.version();
    EXPECT_NE(service.stateJson().find("\"id\":\"127.0.0.1\""), std::string::npos);
    service.post(collected("A012", 1, 2), "127.0.0.1");
    service.post(internalText("Welcome", 12, 1), "127.0.0.1");
    ASSERT_TRUE(service.flush(10000));
    EXPECT_GT(service.version(), before);
    const std::string state = service.stateJson();
    EXPECT_NE(state.find("\"text\":\"A012\""), std::string::npos) << state;
    EXPECT_NE(state.find("\"text\":\"Welcome\""), std::string::npos) << state;
    uint64_t last = 0;
    std::vector<std::string> log = service.logSince(0, &last);
    ASSERT_EQ(log.size(), 2u);
    EXPECT_EQ(last, 2u);
    EXPECT_NE(log[0].find("CollectedData(0x65)"), std::string::npos) << log[0];
    EXPECT_EQ(service.logSince(1, &last).size(), 1u);
    std::string png;
    ASSERT_TRUE(service.png("127.0.0.1", &png));
    EXPECT_EQ(png.substr(1, 3), "PNG");
    EXPECT_FALSE(service.png("127.0.0.2", &png));
  }
  const std::string file = std::string(dir) + "/sign-127.0.0.1.png";
  std::ifstream in(file, std::ios::binary);
  std::string head(8, '\0');
  in.read(&head[0], 8);
  EXPECT_EQ(head, std::string("\x89PNG\r\n\x1a\n", 8));
  std::remove(file.c_str());
  ::rmdir(dir);

  struct Name {
    const char* id;
    const char* file;
  } names[] = {{"127.0.0.1", "sign-127.0.0.1.png"}, {"bus 1_2_3", "sign-bus-1_2_3.png"}, {"bar 1", "sign-bar-1.png"},
               {"a/../b", "sign-a-..-b.png"}};
  for (const Name& n : names) EXPECT_EQ(SignService::fileName(n.id), n.file);
}

TEST(SignState, KeepsWhatItHoldsBoundedDroppingTheOldest) {
  SignBoard board;
  CBuffObj o;
  const std::string ip = "127.0.0.1";
  for (int id = 1; id <= 300; ++id) board.apply(internalText("t" + std::to_string(id), id, 1), ip);
  for (int x = 0; x < 70; ++x) {
    std::string text = "c";
    board.apply(net(0x60, o.CoordinateTextBuffer(&text[0], x, 0, 0, 1, 0)), ip);
  }
  for (int bus = 1; bus <= 70; ++bus) {
    std::string address = std::to_string(bus);
    board.apply(decoded(o.CompletePacketBuffer_485(o.PlayShowPageBuffer(1), 0x36, &address[0], 0, 0, false)), ip);
  }
  const SignState& s = *board.find(ip);
  EXPECT_EQ(s.materials.size(), kMaxMaterials);
  EXPECT_EQ(s.materials.count(300 - int(kMaxMaterials)), 0u);
  EXPECT_EQ(s.materials.at(300 - int(kMaxMaterials) + 1).text.bytes, "t45");
  EXPECT_EQ(s.arrivals.size(), kMaxArrivals);
  EXPECT_EQ(s.arrivals.front(), "m" + std::to_string(300 - int(kMaxArrivals) + 1));
  ASSERT_EQ(s.coordinateTexts.size(), kMaxCoordinateTexts);
  EXPECT_EQ(s.coordinateTexts.front().x, 70 - int(kMaxCoordinateTexts));
  EXPECT_EQ(board.signs().size(), kMaxSigns);  // the controller and 63 bus devices
  EXPECT_NE(board.find("bus 63"), nullptr);
  EXPECT_EQ(board.find("bus 64"), nullptr);
  // The controllers given at start always get a sign.
  board.addController("127.0.0.2");
  EXPECT_NE(board.find("127.0.0.2"), nullptr);
}

TEST(SignSize, ASignOfAGivenSizeCutsWhatLiesBeyondItsEdge) {
  const GlyphFont font = markerFont();
  const std::string text = "ABCDEFGHIJKL";  // 96 dots
  SignBoard board;
  board.addController("127.0.0.1", 64, 16);
  board.addController("127.0.0.2");
  for (const char* ip : {"127.0.0.1", "127.0.0.2"}) {
    board.apply(internalText(text, 1, 1), ip);
    board.apply(collected("Q", 1, 1), ip);  // stacked below the text
  }
  struct Case {
    const char* ip;
    int width, height;
    std::string row0, row16, note;
  } cases[] = {{"127.0.0.1", 64, 16, "ABCDEFGH", "", "outside the sign's 64 x 16 dots"},
               {"127.0.0.2", 192, 32, "ABCDEFGHIJKL", "Q", ""}};
  for (const Case& c : cases) {
    SCOPED_TRACE(c.ip);
    const SignState& s = *board.find(c.ip);
    const SignLayout l = board.layout(s);
    const RgbImage m = board.draw(s, l, font);
    EXPECT_EQ(l.width, c.width);
    EXPECT_EQ(m.width, c.width);
    EXPECT_EQ(m.height, c.height);
    std::string row0 = readRow(m, 0, 0, c.width / 8), row16 = c.height > 16 ? readRow(m, 0, 16, 1) : "";
    EXPECT_EQ(row0.substr(0, row0.find('.')), c.row0);
    EXPECT_EQ(row16.substr(0, row16.find('.')), c.row16);
    ASSERT_EQ(l.areas.size(), 2u);
    EXPECT_EQ(l.areas[1].note, c.note);
  }

  struct Parse {
    const char* text;
    int width, height;  // 0: refused
  } parses[] = {{"64x16", 64, 16}, {"2048x1024", 2048, 1024}, {"1x1", 1, 1},    {"0x16", 0, 0},
                {"64x0", 0, 0},    {"2049x16", 0, 0},       {"64x1025", 0, 0}, {"-1x16", 0, 0},
                {"64", 0, 0},      {"64x16x2", 0, 0},       {" 64x16", 0, 0},  {"99999999999x16", 0, 0}};
  for (const Parse& p : parses) {
    int w = 0, h = 0;
    EXPECT_EQ(parseSignSize(p.text, w, h), p.width > 0) << p.text;
    EXPECT_EQ(w * 10000 + h, p.width * 10000 + p.height) << p.text;
  }
}

// ---- the drawing of each content, dot by dot ----------------------------------

namespace {

// A test glyph for '1' (16 rows of 8 dots): 08 18 28, then 08 down to a foot 3E.
const char kGlyphOne[] = "0031:00000000081828080808080808083E00";

// Rows y0 .. y0 + rows - 1 of m from dot x0 on, w dots wide: '.' dark, 'R'
// red, 'G' green, 'Y' yellow, '?' any other colour.
std::vector<std::string> colourRows(const RgbImage& m, int x0, int y0, int w, int rows) {
  std::vector<std::string> out;
  for (int y = y0; y < y0 + rows; ++y) {
    std::string r;
    for (int x = x0; x < x0 + w; ++x) {
      const uint8_t* p = m.at(x, y);
      const bool red = p[0] == 255, green = p[1] == 255, other = p[2] != 0 || (p[0] && !red) || (p[1] && !green);
      r += other ? '?' : red && green ? 'Y' : red ? 'R' : green ? 'G' : '.';
    }
    out.push_back(r);
  }
  return out;
}

// "A1" in 'A' and the test '1', rows 4 to 9 and 14 of the glyphs, each dot
// in colour c: 'A' is 18 24 24 42 42 7E in rows 4 to 9, '1' is 08 18 28 08
// 08 08 there and 3E in row 14.
std::vector<std::string> a1Rows(char c) {
  std::vector<std::string> rows = {"...##.......#...", "..#..#.....##...", "..#..#....#.#...",
                                   ".#....#.....#...", ".#....#.....#...", ".######.....#...",
                                   "..........#####."};
  for (std::string& r : rows)
    for (char& d : r)
      if (d == '#') d = c;
  return rows;
}

}  // namespace

TEST(SignDraw, LineUpCollectedDataAndBarScreenDotByDot) {
  GlyphFont font;
  ASSERT_TRUE(font.addLine(kGlyphA));
  ASSERT_TRUE(font.addLine(kGlyphOne));
  CBuffObj o;
  std::string a1 = "A1";
  // Line-up slot 3 in yellow (attribute 3) in a 32 x 16 area at 8,2;
  // collected data 5 in green (attribute 2) in a 16 x 16 area at 24,20;
  // a bar screen's one page of two cells in red (colour 1).
  GlobalMember::tagMaterial slot;
  slot.materialId = 9;
  slot.contentType = '5';
  slot.lineUpIndex = 3;
  slot.attrHigh = 3;
  GlobalMember::tagMaterial field;
  field.materialId = 10;
  field.contentType = '6';
  field.dataIndex = 5;
  field.attrHigh = 1;  // the record's own attribute wins over the block's
  SignBoard board;
  const std::string ip = "127.0.0.1";
  board.apply(netBytes(0x22, "000000001" + pageSet("00:00-23:59", {"0000000095001002004016",
                                                                    "0000000106003020002016"})),
              ip);
  board.apply(net(0x31, o.LineUpBuffer_Template(slot, 1, false)), ip);
  board.apply(net(0x31, o.CollectionBuffer_Template(field, 2, true)), ip);
  board.apply(net(0x64, o.LineUpBuffer(&a1[0], 3, 1, 1, false)), ip);
  board.apply(collected(a1, 5, 2), ip);
  board.apply(decoded(o.BarScreenContentBuffer(&a1[0], 1, 1, 1, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, false)), ip);

  struct Case {
    const char* what;
    const char* sign;
    int x, y;  // top-left dot of the text
    char colour;
  } cases[] = {{"line-up", "127.0.0.1", 8, 2, 'Y'}, {"collected data", "127.0.0.1", 24, 20, 'G'},
               {"bar screen", "bar 1", 0, 0, 'R'}};
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    const SignState& s = *board.find(c.sign);
    const SignLayout l = board.layout(s);
    const RgbImage m = board.draw(s, l, font);
    std::vector<std::string> got = colourRows(m, c.x, c.y + 4, 16, 6);
    got.push_back(colourRows(m, c.x, c.y + 14, 16, 1)[0]);
    EXPECT_EQ(got, a1Rows(c.colour));
    // Nothing lit above the text or left of it.
    EXPECT_EQ(colourRows(m, c.x, c.y, 16, 4), std::vector<std::string>(4, std::string(16, '.')));
    if (c.x > 0) {
      EXPECT_EQ(colourRows(m, c.x - 1, c.y, 1, 16), std::vector<std::string>(16, "."));
    }
  }
}

TEST(SignDraw, PageSetPictureIsLabelledInTheSignFont) {
  // A font whose 'p' lights its top-left dot only: the title "page set ..."
  // starts at 16,16 with that one dot; 'a', which the font lacks, follows as
  // a box one dot inside its cell (from 25,17).
  GlyphFont font;
  ASSERT_TRUE(font.addLine("0070:80000000000000000000000000000000"));
  const std::string descriptor = "000000001" + pageSet("00:00-23:59", {"0000000017000000024016"});
  RgbImage picture(1, 1);
  std::string error;
  ASSERT_TRUE(renderPageSet(reinterpret_cast<const uint8_t*>(descriptor.data()), descriptor.size(), font, &picture,
                            &error))
      << error;
  std::vector<std::string> rows;
  for (int y = 16; y < 19; ++y) {
    std::string r;
    for (int x = 16; x < 28; ++x) r += picture.at(x, y)[0] == 30 ? '#' : '.';  // ink is 30 30 30
    rows.push_back(r);
  }
  EXPECT_EQ(rows, (std::vector<std::string>{"#...........", ".........###", ".........#.."}));
}
