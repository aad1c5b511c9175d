// Bar screens: the parameter frame, the paged content frame (clamping,
// filler, pages kept whole around double-byte characters, refusals) and both
// entry points on a serial line.
#include <gtest/gtest.h>

#include <climits>
#include <string>
#include <vector>

#include "SKYREL.h"
#include "SerialLine.h"
#include "TestBytes.h"
#include "core/CBuffObj.h"

namespace {


// The content frame's arguments, defaulting to those of the 39-byte example.
struct Content {
  std::string text = "AB";
  int address = 1, colour = 1, width = 2, value16 = 0;
  int move1 = 0, move2 = 0, byte3 = 0, byte5 = 0, byte7 = 0, byte8 = 0, prefix = 0;
  bool flag = false;

  CBuffObj::tagBufferInfo build() const {
    CBuffObj o;
    std::string copy = text;
    return o.BarScreenContentBuffer(&copy[0], address, colour, width, 11, 12, value16, move1,
                                    move2, byte3, byte5, byte7, byte8, prefix, flag);
  }
};

TEST(BarScreenParams, Example) {
  CBuffObj o;
  EXPECT_EQ(hex(BytesOf(o.BarScreenParamBuffer(5, 6, 7, 1, 3, false))),
            "FE 01 00 11 97 48 06 07 02 03 00 00 55 05 55 00 00 00 CA");
}

// byte6 -1 and byte7 256 keep their low bytes; choice 5 counts as 0 (sent 1),
// value 9 counts as 0; true gives 00 in byte 14.
TEST(BarScreenParams, Clamping) {
  CBuffObj o;
  EXPECT_EQ(hex(BytesOf(o.BarScreenParamBuffer(0x34, -1, 256, 5, 9, true))),
            "FE 01 00 11 97 48 FF 00 01 00 00 00 55 34 00 00 00 00 50");
  EXPECT_EQ(BytesOf(o.BarScreenParamBuffer(0, 0, 0, -1, -1, false))[8], 0x01);
  EXPECT_EQ(BytesOf(o.BarScreenParamBuffer(0, 0, 0, 0, 7, false))[9], 0x07);
}

TEST(BarScreenMoveStyles, Table) {
  const int in[] = {-1, 0, 1, 2, 3, 4, 5, 6, 7, 8, 9, INT_MIN};
  const int out[] = {0, 0, 2, 1, 4, 3, 5, 6, 7, 8, 0, 0};
  for (size_t i = 0; i < sizeof in / sizeof in[0]; ++i) EXPECT_EQ(getMoveStyle(in[i]), out[i]) << in[i];
}

// ---------------------------------------------------------------------------
struct ContentCase {
  const char* name;
  Content args;
  const char* frame;
};

Content With(void (*change)(Content&)) {
  Content c;
  change(c);
  return c;
}

class BarScreenContent : public ::testing::TestWithParam<ContentCase> {};

TEST_P(BarScreenContent, Frame) { EXPECT_EQ(hex(BytesOf(GetParam().args.build())), GetParam().frame); }

INSTANTIATE_TEST_SUITE_P(
    BarScreen, BarScreenContent,
    ::testing::Values(
        ContentCase{"Example", Content{},
                    "FE 01 00 25 97 49 FF 55 AA 00 81 02 01 FF FF 00 01 00 "
                    "00 01 00 00 00 00 00 00 00 00 00 00 41 01 42 01 20 01 20 01 7B"},
        ContentCase{"EmptyTextHasNoPage", With([](Content& c) { c.text = ""; }),
                    "FE 01 00 11 97 49 FF 55 AA 00 81 02 01 FF FF 00 00 00 4C"},
        ContentCase{"OnePageExactlyFull", With([](Content& c) { c.text = "ABCD"; }),
                    "FE 01 00 25 97 49 FF 55 AA 00 81 02 01 FF FF 00 01 00 "
                    "00 01 00 00 00 00 00 00 00 00 00 00 41 01 42 01 43 01 44 01 7C"},
        ContentCase{"OneByteMoreThanAPage", With([](Content& c) { c.text = "ABCDE"; }),
                    "FE 01 00 39 97 49 FF 55 AA 00 81 02 01 FF FF 00 02 00 "
                    "00 01 00 00 00 00 00 00 00 00 00 00 41 01 42 01 43 01 44 01 "
                    "00 02 00 00 00 00 00 00 00 00 00 00 45 01 20 01 20 01 20 01 04"},
        // Colour 4 counts as 1; move style 9 as 0 and 3 as 4; flag true 82.
        ContentCase{"Clamping", With([](Content& c) {
                      c.text = "Z"; c.address = 5; c.colour = 4; c.width = 1; c.value16 = 0x1234;
                      c.move1 = 9; c.byte3 = 7; c.move2 = 3; c.byte5 = 8; c.byte7 = 9; c.byte8 = 10;
                      c.flag = true;
                    }),
                    "FE 05 00 21 97 49 FF 55 AA 00 82 01 01 12 34 00 01 00 "
                    "00 01 00 07 04 08 00 09 0A 00 00 00 5A 01 20 01 2C"},
        ContentCase{"ColourThreeAndSwappedMoves", With([](Content& c) {
                      c.text = "Z"; c.colour = 3; c.width = 1; c.move1 = 1; c.move2 = 2;
                    }),
                    "FE 01 00 21 97 49 FF 55 AA 00 81 01 01 FF FF 00 01 00 "
                    "00 01 02 00 01 00 00 00 00 00 00 00 5A 03 20 03 06"},
        // A prefix of 3 bytes shows the screen's circled number (screen 2:
        // E2 91 A1) with attribute 02 in front of W = 2 x 3 - 3 text cells.
        ContentCase{"CircledNumberPrefix", With([](Content& c) {
                      c.address = 2; c.width = 3; c.prefix = 3;
                    }),
                    "FE 02 00 29 97 49 FF 55 AA 00 81 03 01 FF FF 00 01 00 "
                    "00 01 00 00 00 00 03 00 00 00 00 00 E2 02 91 02 A1 02 41 01 42 01 20 01 87"}),
    [](const auto& info) { return std::string(info.param.name); });

// ---------------------------------------------------------------------------
// Text 41 B0A1 C4E3 42 on pages of four cells: the double-byte character C4E3
// would be torn by the page boundary, so page 1 shows a space in its last
// cell and C4 opens page 2.
TEST(BarScreenPages, DoubleByteCharacterMovesToTheNextPage) {
  Content c;
  c.text = "\x41\xB0\xA1\xC4\xE3\x42";
  EXPECT_EQ(hex(BytesOf(c.build())),
            "FE 01 00 39 97 49 FF 55 AA 00 81 02 01 FF FF 00 02 00 "
            "00 01 00 00 00 00 00 00 00 00 00 00 41 01 B0 01 A1 01 20 01 "
            "00 02 00 00 00 00 00 00 00 00 00 00 C4 01 E3 01 42 01 20 01 50");
}

// The same split with eight bytes: the held-back byte pushes 44 past the two
// pages the length asks for, so a third page carries it and the header
// counts three pages (length 77 = 4D).
TEST(BarScreenPages, HeldBackByteAddsAPageAndTheHeaderCountsIt) {
  Content c;
  c.text = "\x41\xB0\xA1\xC4\xE3\x42\x43\x44";
  const Bytes f = BytesOf(c.build());
  EXPECT_EQ(hex(f),
            "FE 01 00 4D 97 49 FF 55 AA 00 81 02 01 FF FF 00 03 00 "
            "00 01 00 00 00 00 00 00 00 00 00 00 41 01 B0 01 A1 01 20 01 "
            "00 02 00 00 00 00 00 00 00 00 00 00 C4 01 E3 01 42 01 43 01 "
            "00 03 00 00 00 00 00 00 00 00 00 00 44 01 20 01 20 01 20 01 21");
}

// Checked cell by cell through the emulator's decoder: every page has W
// text cells and no text byte is lost.
TEST(BarScreenPages, DecodedPagesKeepEveryByte) {
  Content c;
  c.text = "\xB0\xA1\x41\xC4\xE3\xB2\xBB\x42\x43";  // pages: B0A1 41 _ | C4E3 B2BB | 42 43 _ _
  const Bytes f = BytesOf(c.build());
  vexasim::Frame d = vexasim::decodeSerialFrame(f.data(), f.size());
  EXPECT_TRUE(d.checksOk) << d.error;
  EXPECT_EQ(d.get("pages"), "3");
  EXPECT_EQ(d.get("page1.text"), "\"\\xB0\\xA1A \"");
  EXPECT_EQ(d.get("page2.text"), "\"\\xC4\\xE3\\xB2\\xBB\"");
  EXPECT_EQ(d.get("page3.text"), "\"BC  \"");
}

TEST(BarScreenPages, NoSplitWithOnePageOrScrollingText) {
  Content one;
  one.text = "\xB0\xA1\xC4";  // one page: the half character stays in cell 3
  EXPECT_EQ(hex(BytesOf(one.build())).substr(18 * 3 + 12 * 3),
            "B0 01 A1 01 C4 01 20 01 8D");
  // First move style 2 with page byte 3 at 0: the text runs through whole.
  Content scroll;
  scroll.text = "\x41\xB0\xA1\xC4\xE3\x42";
  scroll.move1 = 2;
  EXPECT_EQ(hex(BytesOf(scroll.build())),
            "FE 01 00 39 97 49 FF 55 AA 00 81 02 01 FF FF 00 02 00 "
            "00 01 01 00 00 00 00 00 00 00 00 00 41 01 B0 01 A1 01 C4 01 "
            "00 02 01 00 00 00 00 00 00 00 00 00 E3 01 42 01 20 01 20 01 50");
  // With page byte 3 set the split applies again.
  scroll.byte3 = 1;
  EXPECT_EQ(BytesOf(scroll.build())[18 + 12 + 6], 0x20);  // page 1, cell 4
}

// ---------------------------------------------------------------------------
TEST(BarScreenRefusals, NoRoomForTextOrFrameTooLarge) {
  struct {
    const char* why;
    void (*change)(Content&);
  } cases[] = {
      {"page width 0", [](Content& c) { c.width = 0; }},
      {"negative page width", [](Content& c) { c.width = -3; }},
      {"prefix fills the page", [](Content& c) { c.width = 1; c.prefix = 2; }},
      {"prefix longer than a circled number", [](Content& c) { c.width = 4; c.prefix = 4; }},
      {"negative prefix", [](Content& c) { c.prefix = -1; }},
      {"huge page width", [](Content& c) { c.width = INT_MAX; }},
      {"one page does not fit", [](Content& c) { c.width = 746; }},
      {"pages do not fit", [](Content& c) { c.text.assign(1500, 'x'); }},
  };
  for (const auto& k : cases) {
    Content c;
    k.change(c);
    EXPECT_EQ(c.build().nBufferLen, -1) << k.why;
  }
  // Empty text with a page width of 0 is refused as well.
  Content empty;
  empty.text = "";
  empty.width = 0;
  EXPECT_EQ(empty.build().nBufferLen, -1);
  // The widest page that fits: 18 + 12 + 4 x 742 + 1 = 2999 bytes (743 would need 3003).
  Content wide;
  wide.width = 742;
  EXPECT_EQ(wide.build().nBufferLen, 18 + 12 + 4 * 742 + 1);
}

// ---------------------------------------------------------------------------
class BarScreenLine : public SerialLineTest {};

TEST_F(BarScreenLine, ParamsExampleOnTheLine) {
  EXPECT_EQ(SetParams4BarScreen_Com(1, kPort, 9600, 5, 6, 7, 1, 3, false), 0);
  auto f = frames(1);
  ASSERT_EQ(f.size(), 1u);
  EXPECT_EQ(hex(f[0].raw), "FE 01 00 11 97 48 06 07 02 03 00 00 55 05 55 00 00 00 CA");
  EXPECT_EQ(f[0].kind, "bar");
  EXPECT_TRUE(f[0].checksOk) << f[0].error;
  EXPECT_EQ(f[0].get("byte13"), "5");
}

TEST_F(BarScreenLine, ContentExampleOnTheLine) {
  char text[] = "AB";
  EXPECT_EQ(SendContent2BarScreen_Com(text, 1, kPort, 9600, 1, 1, 2, 0, 0, 0, 0, 0, 0, 0, 0, 0, false), 0);
  auto f = frames(1);
  ASSERT_EQ(f.size(), 1u);
  EXPECT_EQ(hex(f[0].raw),
            "FE 01 00 25 97 49 FF 55 AA 00 81 02 01 FF FF 00 01 00 "
            "00 01 00 00 00 00 00 00 00 00 00 00 41 01 42 01 20 01 20 01 7B");
  EXPECT_TRUE(f[0].checksOk) << f[0].error;
  EXPECT_EQ(f[0].get("page1.text"), "\"AB  \"");
}

// Refused calls write nothing: the next accepted frame is the first on the line.
TEST_F(BarScreenLine, RefusalsWriteNothing) {
  char text[] = "AB";
  EXPECT_EQ(SendContent2BarScreen_Com(text, 1, kPort, 9600, 1, 1, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, false), 1);
  EXPECT_EQ(SendContent2BarScreen_Com(nullptr, 1, kPort, 9600, 1, 1, 2, 0, 0, 0, 0, 0, 0, 0, 0, 0, false), 1);
  EXPECT_EQ(SendContent2BarScreen_Com(text, 2, kPort, 9600, 1, 1, 2, 0, 0, 0, 0, 0, 0, 0, 0, 0, false), 1);
  EXPECT_EQ(SetParams4BarScreen_Com(2, kPort, 9600, 5, 6, 7, 1, 3, false), 1);
  std::string tooLong(1500, 'x');
  EXPECT_EQ(SendContent2BarScreen_Com(&tooLong[0], 1, kPort, 9600, 1, 1, 2, 0, 0, 0, 0, 0, 0, 0, 0, 0, false), 1);
  EXPECT_EQ(serialPort.fd, -1);  // the port was never even opened

  EXPECT_EQ(SetParams4BarScreen_Com(1, kPort, 9600, 5, 6, 7, 1, 3, false), 0);
  auto f = frames(1);
  ASSERT_EQ(f.size(), 1u);
  EXPECT_EQ(f[0].command, 0x48);
  EXPECT_EQ(emu_->serialBytes().size(), 19u);
}

}  // namespace
