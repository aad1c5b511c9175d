// RS-485 bus frames: the frame with its eight-byte device address, option
// block and CRC, the short voice frame, the check bytes, and the refusal of
// frames that would not fit a record.
#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

#include "TestBytes.h"
#include "core/CBuffObj.h"
#include "core/Crc16Tables.h"

namespace {


CBuffObj::tagBufferInfo Filled(size_t n) {
  CBuffObj::tagBufferInfo r = EmptyBuffer();
  for (size_t i = 0; i < n; ++i) r.chArrBuffer[i] = static_cast<char>(i);
  r.nBufferLen = static_cast<int32_t>(n);
  return r;
}

std::string Frame485(const Bytes& payload, short code, const char* address, int option1 = 0,
                     int option2 = 0, bool withCrc = false) {
  CBuffObj o;
  return hex(BytesOf(o.CompletePacketBuffer_485(Record(payload), code, const_cast<char*>(address),
                                                option1, option2, withCrc)));
}

// ---------------------------------------------------------------------------
TEST(Rs485Frame, PlayShowPageExample) {
  EXPECT_EQ(Frame485(bytesOf("01 FE"), 0x36, "5"),
            "FE 98 00 10 97 36 00 00 00 00 00 00 00 00 05 01 FE D3");
}

TEST(Rs485Frame, EmptyPayloadIsSixteenBytes) {
  EXPECT_EQ(Frame485({}, 0x36, "5"), "FE 98 00 0E 97 36 00 00 00 00 00 00 00 00 05 32");
}

// Option block and CRC: the block counts 2 in the length field and the CRC
// counts 3, so only "both" and "neither" give total length - 2.
TEST(Rs485Frame, OptionBlockAndCrcLengths) {
  // both: 21 bytes, length field 19 (0x13); the CRC of bytes 1..17 is 4D01.
  EXPECT_EQ(Frame485({}, 0x54, "5", 1, 1, true),
            "FE 98 00 13 97 54 00 00 00 00 00 00 00 00 05 01 01 01 01 4D 00");
  // options only: 20 bytes, length field 17.
  EXPECT_EQ(Frame485(bytesOf("AA"), 0x37, "5", 2, 3, false),
            "FE 98 00 11 97 37 00 00 00 00 00 00 00 00 05 01 02 03 AA 86");
  // CRC only: 19 bytes, length field 18; the XOR byte 22 covers the CRC
  // bytes B1 16 (without them it would be 85).
  EXPECT_EQ(Frame485(bytesOf("AA"), 0x37, "5", 0, 0, true),
            "FE 98 00 12 97 37 00 00 00 00 00 00 00 00 05 AA B1 16 22");
}

TEST(Rs485Frame, OptionBlockOnlyForPositiveOption1) {
  const std::string plain = Frame485(bytesOf("AA"), 0x37, "5");
  EXPECT_EQ(Frame485(bytesOf("AA"), 0x37, "5", 0, 9), plain);
  EXPECT_EQ(Frame485(bytesOf("AA"), 0x37, "5", -1, 9), plain);
  // 0x102 and 0x103 keep their low bytes.
  EXPECT_EQ(Frame485(bytesOf("AA"), 0x37, "5", 0x102, 0x103),
            "FE 98 00 11 97 37 00 00 00 00 00 00 00 00 05 01 02 03 AA 86");
}

// 300 payload bytes 00 01 .. 2B with options and CRC: 321 bytes, length
// field 319 (01 3F); the CRC B60B follows the last payload byte.
TEST(Rs485Frame, LongFrameWithCrcKeepsEveryByte) {
  CBuffObj o;
  char address[] = "1_2_3_4_5_6_7_8";
  const Bytes f = BytesOf(o.CompletePacketBuffer_485(Filled(300), 0x54, address, 1, 1, true));
  ASSERT_EQ(f.size(), 321u);
  EXPECT_EQ(hex(Bytes(f.begin(), f.begin() + 20)),
            "FE 98 01 3F 97 54 00 01 02 03 04 05 06 07 08 01 01 01 00 01");
  for (size_t i = 0; i < 300; ++i) ASSERT_EQ(f[18 + i], static_cast<uint8_t>(i)) << i;
  EXPECT_EQ(hex(Bytes(f.end() - 6, f.end())), "29 2A 2B 0B B6 D1");
}

// ---------------------------------------------------------------------------
struct AddressCase {
  const char* name;
  const char* address;  // nullptr: no address string at all
  const char* bytes;    // frame bytes 7..14
};

class DeviceAddress : public ::testing::TestWithParam<AddressCase> {};

TEST_P(DeviceAddress, EightBytes) {
  CBuffObj o;
  const Bytes f = BytesOf(
      o.CompletePacketBuffer_485(EmptyBuffer(), 0x36, const_cast<char*>(GetParam().address), 0, 0, false));
  ASSERT_EQ(f.size(), 16u);
  EXPECT_EQ(hex(Bytes(f.begin() + 7, f.begin() + 15)), GetParam().bytes);
}

INSTANTIATE_TEST_SUITE_P(
    Rs485Frame, DeviceAddress,
    ::testing::Values(
        AddressCase{"OneNumber", "5", "00 00 00 00 00 00 00 05"},
        AddressCase{"EightPieces", "1_2_3_4_5_6_7_8", "01 02 03 04 05 06 07 08"},
        AddressCase{"EightPiecesTrailingSeparator", "1_2_3_4_5_6_7_8_", "01 02 03 04 05 06 07 08"},
        AddressCase{"SevenPiecesUseTheFirstNumber", "9_2_3_4_5_6_7", "00 00 00 00 00 00 00 09"},
        AddressCase{"TwoPieces", "12_3", "00 00 00 00 00 00 00 0C"},
        AddressCase{"Empty", "", "00 00 00 00 00 00 00 00"},
        AddressCase{"Null", nullptr, "00 00 00 00 00 00 00 00"},
        AddressCase{"PiecesReadLikeAtoi", " 7_+8_-1_x_256_3z_ 0_300",
                    "07 08 FF 00 00 03 00 2C"},
        AddressCase{"HugeNumberDoesNotCrash", "99999999999999999999999", "00 00 00 00 00 00 00 FF"}),
    [](const auto& info) { return std::string(info.param.name); });

// ---------------------------------------------------------------------------
TEST(Rs485VoiceFrame, Example) {
  CBuffObj o;
  char address[] = "3";
  EXPECT_EQ(hex(BytesOf(o.CompletePacketBuffer_PlayVoice_485(Record(bytesOf("41 42")), 0x73, address))),
            "FE 03 00 07 99 73 41 42 ED");
}

TEST(Rs485VoiceFrame, EmptyPayloadIsSevenBytes) {
  CBuffObj o;
  char address[] = "3";
  EXPECT_EQ(hex(BytesOf(o.CompletePacketBuffer_PlayVoice_485(EmptyBuffer(), 0x73, address))),
            "FE 03 00 05 99 73 EC");
}

TEST(Rs485VoiceFrame, AddressIsTheWholeStringsNumber) {
  CBuffObj o;
  char pieces[] = "1_2_3_4_5_6_7_8";
  char big[] = "259";
  EXPECT_EQ(BytesOf(o.CompletePacketBuffer_PlayVoice_485(EmptyBuffer(), 0x73, pieces))[1], 0x01);
  EXPECT_EQ(BytesOf(o.CompletePacketBuffer_PlayVoice_485(EmptyBuffer(), 0x73, big))[1], 0x03);
  EXPECT_EQ(BytesOf(o.CompletePacketBuffer_PlayVoice_485(EmptyBuffer(), 0x73, nullptr))[1], 0x00);
}

// ---------------------------------------------------------------------------
TEST(Crc16, CheckValueOfTheNineDigits) {
  const char* digits = "123456789";
  EXPECT_EQ(Crc16Modbus(reinterpret_cast<const uint8_t*>(digits), 9), 0x4B37);
  // The frame check leaves out the leading byte and appends low byte first.
  CBuffObj o;
  EXPECT_EQ(hex(BytesOf(o.CRC16Check(Record(bytesOf("FE 31 32 33 34 35 36 37 38 39"))))),
            "FE 31 32 33 34 35 36 37 38 39 37 4B");
}

// First entries of the published Modbus tables.
TEST(Crc16, TablesMatchThePublishedOnes) {
  EXPECT_EQ(hex(Bytes(unchArrCRCHigh.begin(), unchArrCRCHigh.begin() + 8)), "00 C1 81 40 01 C0 80 41");
  EXPECT_EQ(hex(Bytes(unchArrCRCLow.begin(), unchArrCRCLow.begin() + 8)), "00 C0 C1 01 C3 03 02 C2");
  EXPECT_EQ(hex(Bytes(unchArrCRCLow.end() - 4, unchArrCRCLow.end())), "41 81 80 40");
}

TEST(XorCheck, CoversEverythingButTheFirstByte) {
  CBuffObj o;
  EXPECT_EQ(hex(BytesOf(o.XORCheck(Record(bytesOf("FE 01 02 04"))))), "FE 01 02 04 07");
  EXPECT_EQ(hex(BytesOf(o.XORCheck(Record(bytesOf("FE"))))), "FE 00");
}

// ---------------------------------------------------------------------------
// A frame that would not fit the 3000-byte record is invalid, never cut.
TEST(Rs485Limits, FramesThatDoNotFitAreInvalid) {
  CBuffObj o;
  char address[] = "5";
  struct {
    size_t payload;
    bool options;
    int32_t length;  // -1: invalid
  } cases[] = {{2984, false, 3000}, {2985, false, -1}, {2979, true, 3000}, {2980, true, -1}};
  for (const auto& c : cases) {
    const auto f = o.CompletePacketBuffer_485(Filled(c.payload), 0x54, address, c.options ? 1 : 0,
                                              1, c.options);
    EXPECT_EQ(f.nBufferLen, c.length) << c.payload;
  }
  EXPECT_EQ(o.CompletePacketBuffer_PlayVoice_485(Filled(2993), 0x73, address).nBufferLen, 3000);
  EXPECT_EQ(o.CompletePacketBuffer_PlayVoice_485(Filled(2994), 0x73, address).nBufferLen, -1);
  EXPECT_EQ(o.CRC16Check(Filled(2998)).nBufferLen, 3000);
  EXPECT_EQ(o.CRC16Check(Filled(2999)).nBufferLen, -1);
  EXPECT_EQ(o.XORCheck(Filled(3000)).nBufferLen, -1);
}

TEST(Rs485Limits, InvalidInputStaysInvalid) {
  CBuffObj o;
  char address[] = "5";
  EXPECT_EQ(o.CompletePacketBuffer_485(InvalidBuffer(), 0x36, address, 0, 0, false).nBufferLen, -1);
  EXPECT_EQ(o.CompletePacketBuffer_PlayVoice_485(InvalidBuffer(), 0x73, address).nBufferLen, -1);
  EXPECT_EQ(o.CRC16Check(InvalidBuffer()).nBufferLen, -1);
  EXPECT_EQ(o.XORCheck(InvalidBuffer()).nBufferLen, -1);
}

}  // namespace
