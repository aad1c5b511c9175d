// The voice record with each tag combination, its length field and closing
// zeros, and both entry points on the wire with their sub-code.
#include "EmulatorTest.h"

namespace {

TEST(VoiceRecord, TagsInFrontOfTheText) {
  struct Case {
    int vTag, soundNo, mTag;
    const char* spoken;
  };
  const Case cases[] = {
      {-1, -1, -1, "A"},
      {5, 1, 2, "[v5]sound101 [m51] A"},
      {0, 0, 0, "[v0]A"},
      {12, 2, 1, "[v12]sound201 [m3] A"},
      {-1, 3, -1, "sound301 A"},
      {-1, 4, 3, "A"},
      {-7, -1, 1, "[m3] A"},
  };
  CBuffObj o;
  char text[] = "A";
  for (const Case& c : cases) {
    const std::string spoken = c.spoken;
    const uint8_t len = static_cast<uint8_t>(spoken.size() + 2);
    EXPECT_EQ(hex(BytesOf(o.VoiceBuffer(text, 0, c.vTag, c.soundNo, c.mTag))),
              "FD 00 " + hex(Bytes{len}) + " 01 00 " + Hx(spoken) + " 00 00")
        << spoken;
  }
  EXPECT_EQ(hex(BytesOf(o.VoiceBuffer(text, 0, 5, 1, 2))).substr(0, 14), "FD 00 16 01 00");
  EXPECT_EQ(hex(BytesOf(o.VoiceBuffer(text, 2, -1, -1, -1))), "FD 00 03 01 00 41");
}

TEST(VoiceRecord, LengthFieldAndLimit) {
  CBuffObj o;
  std::string t300(300, 'x'), fits(2974, 'x'), over(2975, 'x');
  const Bytes b = BytesOf(o.VoiceBuffer(&t300[0], 0, -1, -1, -1));
  ASSERT_EQ(b.size(), 307u);
  EXPECT_EQ(hex(Bytes(b.begin(), b.begin() + 3)), "FD 01 2E");
  EXPECT_EQ(o.CompletePacketBuffer(o.VoiceBuffer(&fits[0], 0, -1, -1, -1), 0x68, 0).nBufferLen,
            3000);
  EXPECT_FALSE(IsValid(o.CompletePacketBuffer(o.VoiceBuffer(&over[0], 0, -1, -1, -1), 0x68, 0)));
}

TEST_F(ContentWire, VoiceOnTheWire) {
  char a[] = "A", spare[] = "unused";
  EXPECT_EQ(PlayVoice_Net(a, ip(), spare, 1, 7), 0);
  vexasim::Frame f = OnlyFrame();
  EXPECT_EQ(hex(f.raw), "FE 5C 4B 89 1B 00 00 00 68 07 00 00 00 08 00 00 00 "
                        "FD 00 03 01 00 41 00 00 FF FF");
  EXPECT_EQ(f.get("text"), "\"A\"");

  EXPECT_EQ(PlayVoice2_Net(a, ip(), nullptr, 1, 0, 5, 1, 2), 0);
  f = OnlyFrame();
  EXPECT_EQ(f.subCode, 0);
  EXPECT_EQ(hex(f.payload), "FD 00 16 01 00 " + Hx("[v5]sound101 [m51] A") + " 00 00");
  EXPECT_EQ(f.get("vTag") + f.get("soundTag") + f.get("mTag") + f.get("text"),
            "\"[v5]\"\"sound101 \"\"[m51] \"\"A\"");

  std::string tooLong(2975, 'x');
  EXPECT_EQ(PlayVoice_Net(nullptr, ip(), spare, 1, 2), 1);
  EXPECT_EQ(PlayVoice2_Net(nullptr, ip(), spare, 1, 2, 0, 0, 0), 1);
  EXPECT_EQ(PlayVoice_Net(a, nullptr, spare, 1, 2), 1);
  EXPECT_EQ(PlayVoice_Net(&tooLong[0], ip(), spare, 1, 2), 1);
  ExpectNothingSent("refused voice");
}

}  // namespace
