// The network frame around a payload, and the bounded writer every encoder
// fills its record through.
#include <gtest/gtest.h>

#include <cstdint>
#include <string>
#include <vector>

#include "TestBytes.h"
#include "core/BufferWriter.h"
#include "core/CBuffObj.h"

namespace {

// A payload of n bytes counting 0, 1, 2, ... (mod 256).
Bytes Counting(size_t n) {
  Bytes b(n);
  for (size_t i = 0; i < n; ++i) b[i] = static_cast<uint8_t>(i);
  return b;
}

// ---------------------------------------------------------------------------
// The frame's worked examples.
struct FrameExample {
  const char* name;
  Bytes payload;
  short command;
  int subCode;
  Bytes frame;
};

class FrameExamples : public ::testing::TestWithParam<FrameExample> {};

TEST_P(FrameExamples, WrapsThePayloadExactly) {
  const FrameExample& e = GetParam();
  CBuffObj obj;
  CBuffObj::tagBufferInfo f = obj.CompletePacketBuffer(Record(e.payload), e.command, e.subCode);
  EXPECT_EQ(BytesOf(f), e.frame);
  EXPECT_EQ(f.nBufferLen, static_cast<int32_t>(e.frame.size()));
}

INSTANTIATE_TEST_SUITE_P(
    Frame, FrameExamples,
    ::testing::Values(
        FrameExample{"StartPlayEmptyPayload",
                     {},
                     0x51,
                     0,
                     {0xFE, 0x5C, 0x4B, 0x89, 0x13, 0x00, 0x00, 0x00, 0x51, 0x00, 0x00, 0x00,
                      0x00, 0x00, 0x00, 0x00, 0x00, 0xFF, 0xFF}},
        FrameExample{"PlayShowPage3",
                     {0x03, 0xFC},
                     0x66,
                     0,
                     {0xFE, 0x5C, 0x4B, 0x89, 0x15, 0x00, 0x00, 0x00, 0x66, 0x00, 0x00, 0x00,
                      0x00, 0x02, 0x00, 0x00, 0x00, 0x03, 0xFC, 0xFF, 0xFF}},
        // Only the low byte of the command code and of the sub-code is sent.
        FrameExample{"CodesAbove255KeepLowByte",
                     {0xAA},
                     0x0166,
                     0x1268,
                     {0xFE, 0x5C, 0x4B, 0x89, 0x14, 0x00, 0x00, 0x00, 0x66, 0x68, 0x00, 0x00,
                      0x00, 0x01, 0x00, 0x00, 0x00, 0xAA, 0xFF, 0xFF}},
        FrameExample{"NegativeCodesKeepLowByte",
                     {},
                     -1,
                     -2,
                     {0xFE, 0x5C, 0x4B, 0x89, 0x13, 0x00, 0x00, 0x00, 0xFF, 0xFE, 0x00, 0x00,
                      0x00, 0x00, 0x00, 0x00, 0x00, 0xFF, 0xFF}},
        FrameExample{"VoiceSubCode",
                     {0x41, 0x42},
                     0x68,
                     3,
                     {0xFE, 0x5C, 0x4B, 0x89, 0x15, 0x00, 0x00, 0x00, 0x68, 0x03, 0x00, 0x00,
                      0x00, 0x02, 0x00, 0x00, 0x00, 0x41, 0x42, 0xFF, 0xFF}}),
    [](const ::testing::TestParamInfo<FrameExample>& i) { return std::string(i.param.name); });

// ---------------------------------------------------------------------------
// Length fields and the capacity limit.
TEST(FrameLength, FieldsAreLittleEndianAndPayloadIsCopiedUnchanged) {
  CBuffObj obj;
  const Bytes payload = Counting(300);
  CBuffObj::tagBufferInfo f = obj.CompletePacketBuffer(Record(payload), 0x31, 0);
  ASSERT_EQ(f.nBufferLen, 319);
  const Bytes b = BytesOf(f);
  EXPECT_EQ(Bytes(b.begin() + 4, b.begin() + 8), (Bytes{0x3F, 0x01, 0x00, 0x00}));
  EXPECT_EQ(Bytes(b.begin() + 13, b.begin() + 17), (Bytes{0x2C, 0x01, 0x00, 0x00}));
  EXPECT_EQ(Bytes(b.begin() + 17, b.begin() + 317), payload);
  EXPECT_EQ(b[317], 0xFF);
  EXPECT_EQ(b[318], 0xFF);
}

TEST(FrameLength, LargestPayloadFillsTheRecordExactly) {
  CBuffObj obj;
  const Bytes payload = Counting(2981);
  CBuffObj::tagBufferInfo f = obj.CompletePacketBuffer(Record(payload), 0x31, 0);
  ASSERT_EQ(f.nBufferLen, 3000);
  const Bytes b = BytesOf(f);
  // 3000 = 0x0BB8, 2981 = 0x0BA5.
  EXPECT_EQ(Bytes(b.begin() + 4, b.begin() + 8), (Bytes{0xB8, 0x0B, 0x00, 0x00}));
  EXPECT_EQ(Bytes(b.begin() + 13, b.begin() + 17), (Bytes{0xA5, 0x0B, 0x00, 0x00}));
  EXPECT_EQ(Bytes(b.begin() + 17, b.begin() + 2998), payload);
  EXPECT_EQ(b[2998], 0xFF);
  EXPECT_EQ(b[2999], 0xFF);
}

TEST(FrameLength, PayloadTooLargeForOneFrameGivesInvalidFrame) {
  CBuffObj obj;
  for (int n : {2982, 3000}) {
    CBuffObj::tagBufferInfo f = obj.CompletePacketBuffer(Record(Counting(n)), 0x31, 0);
    EXPECT_EQ(f.nBufferLen, -1) << n;
    EXPECT_FALSE(IsValid(f)) << n;
  }
}

TEST(FrameLength, InvalidPayloadGivesInvalidFrame) {
  CBuffObj obj;
  CBuffObj::tagBufferInfo bad = InvalidBuffer();
  EXPECT_EQ(obj.CompletePacketBuffer(bad, 0x31, 0).nBufferLen, -1);
  // A count beyond the record's capacity is just as invalid.
  bad.nBufferLen = 3001;
  EXPECT_EQ(obj.CompletePacketBuffer(bad, 0x31, 0).nBufferLen, -1);
}

TEST(Record, EmptyAndInvalidRecords) {
  EXPECT_EQ(EmptyBuffer().nBufferLen, 0);
  EXPECT_TRUE(IsValid(EmptyBuffer()));
  EXPECT_EQ(InvalidBuffer().nBufferLen, -1);
  EXPECT_FALSE(IsValid(InvalidBuffer()));
  CBuffObj::tagBufferInfo r = EmptyBuffer();
  r.nBufferLen = 3000;
  EXPECT_TRUE(IsValid(r));
  r.nBufferLen = 3001;
  EXPECT_FALSE(IsValid(r));
}

// ---------------------------------------------------------------------------
// The bounded writer.
TEST(BufferWriter, IntegersKeepTheirLowBitsInTheirByteOrder) {
  BufferWriter w;
  w.u8(0x1AB).u8(-1).u16le(0x12345).u16be(0xABCD).u32le(0x01020304UL);
  EXPECT_EQ(BytesOf(w.finish()),
            (Bytes{0xAB, 0xFF, 0x45, 0x23, 0xAB, 0xCD, 0x04, 0x03, 0x02, 0x01}));
}

TEST(BufferWriter, TextRecordAndPatch) {
  CBuffObj::tagBufferInfo inner = Record({0x10, 0x20});
  BufferWriter w;
  w.text("ab").text(std::string("c")).text(static_cast<const char*>(nullptr)).record(inner);
  w.patch(1, 0x142);  // low byte 0x42 replaces 'b'
  w.patch(99, 0x00);  // beyond what was written: ignored
  EXPECT_EQ(BytesOf(w.finish()), (Bytes{'a', 0x42, 'c', 0x10, 0x20}));
}

TEST(BufferWriter, FillsExactlyToCapacity) {
  BufferWriter w;
  const Bytes run = Counting(2999);
  w.bytes(run.data(), run.size()).u8(0x77);
  EXPECT_TRUE(w.ok());
  CBuffObj::tagBufferInfo r = w.finish();
  ASSERT_EQ(r.nBufferLen, 3000);
  EXPECT_EQ(static_cast<uint8_t>(r.chArrBuffer[2999]), 0x77);
}

TEST(BufferWriter, OverflowMakesTheRecordInvalidAndStaysSo) {
  struct Case {
    const char* name;
    void (*write)(BufferWriter&);
  };
  static const Bytes big = Counting(3001);
  static const Case cases[] = {
      {"one byte past the end",
       [](BufferWriter& w) {
         for (int i = 0; i < 3001; ++i) w.u8(i);
       }},
      {"a run longer than the record", [](BufferWriter& w) { w.bytes(big.data(), big.size()); }},
      {"a run that would cross the end",
       [](BufferWriter& w) { w.bytes(big.data(), 2990).bytes(big.data(), 11); }},
      {"a 16-bit value across the end",
       [](BufferWriter& w) { w.bytes(big.data(), 2999).u16le(0x0102); }},
      {"a 32-bit value across the end",
       [](BufferWriter& w) { w.bytes(big.data(), 2997).u32le(0x01020304UL); }},
      {"a decimal across the end",
       [](BufferWriter& w) { w.bytes(big.data(), 2995).decimal(7, 9); }},
      {"an invalid record", [](BufferWriter& w) { w.u8(1).record(InvalidBuffer()); }},
      // Once overflowed, a write that would fit again does not revive it.
      {"a small write after the overflow",
       [](BufferWriter& w) { w.bytes(big.data(), 3001).u8(1); }},
  };
  for (const Case& c : cases) {
    BufferWriter w;
    c.write(w);
    EXPECT_FALSE(w.ok()) << c.name;
    EXPECT_EQ(w.finish().nBufferLen, -1) << c.name;
  }
}

TEST(BufferWriter, OverflowNeverWritesPartOfARun) {
  BufferWriter w;
  const Bytes big = Counting(3001);
  w.u8(0xAA);
  const size_t before = w.pos();
  w.bytes(big.data(), 3000);  // 1 + 3000 would not fit
  EXPECT_EQ(w.pos(), before) << "nothing of the refused run may be written";
}

TEST(BufferWriter, DecimalIsTheZeroPaddedTextCutToItsWidth) {
  struct Case {
    long value;
    int width;
    std::string text;
  };
  const Case cases[] = {
      {5, 3, "005"},
      {49, 2, "49"},
      {0, 1, "0"},
      {123, 2, "12"},                // longer than the width: cut
      {1234567890, 9, "123456789"},  // ten digits into nine
      {-5, 4, "-005"},               // the sign counts toward the width
      {-5, 1, "-"},
      {-123, 3, "-12"},
      {7, 0, ""},
      {7, -3, ""},
      {42, 40, std::string(38, '0') + "42"},  // wide fields are padded, not overrun
      {-42, 40, "-" + std::string(37, '0') + "42"},
  };
  for (const Case& c : cases) {
    BufferWriter w;
    w.u8('[').decimal(c.value, c.width).u8(']');
    EXPECT_EQ(TextOf(w.finish()), "[" + c.text + "]") << c.value << " width " << c.width;
  }
}

}  // namespace
