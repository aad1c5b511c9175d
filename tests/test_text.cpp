// Collected data, coordinate text, internal text and the multi-part
// transmission, on the wire and on a serial line.
#include <cstring>
#include <functional>

#include "EmulatorTest.h"
#include "SerialLine.h"

namespace {

// An internal-text block with text t as piece of a multi-part transmission
// (material 5, area 32 x 16, everything else 0 or 1), as the controller
// must receive it.
std::string Piece(const std::string& t, bool last) {
  return Hx("000000005,") + " 00 00 00 " + Hx("010101991231") + " 13 00 00 00 " +
         "55 AA 00 00 37 31 31 31 31 31 00 00 04 00 10 00 00 00 00 0B 00 00 00 " + Hx(t) +
         " FF 00 01 00 01 00 01 00 00 00" + (last ? " 2D 31 2C" : "");
}

int MulText(char* text, char* ip, int index, int count) {
  return SendMulInternalText_Net(text, ip, 1, 32, 16, 5, 0, 0, 0, 0, 0, 0, 0, 1, true, 0, index,
                                 count);
}

int MulData(char* text, char* ip, int index, int count) {
  return SendMulCollectionData_Net(text, ip, 1, 1, 0, 3, 2, 1, index, count);
}

std::vector<int> Gathered() {
  return std::vector<int>(byteArrAllBuffer, byteArrAllBuffer + g_nArrIndex);
}

TEST(CollectedDataRecord, Bytes) {
  struct Case {
    const char* text;
    bool flagHigh, flagLow;
    short style;
    const char* record;
  };
  const Case cases[] = {
      {"12", false, false, 3, "01 00 33 21 02 31 32"},
      {"12", true, false, 0x12, "01 50 32 21 02 31 32"},  // (0x12 x 16) | 0x12, low 8 bits
      {"", false, true, 3, "01 05 33 21 00"},
      {"", true, true, -1, "01 55 FF 21 00"},
  };
  CBuffObj o;
  for (const Case& c : cases) {
    char text[8];
    std::strcpy(text, c.text);
    EXPECT_EQ(hex(BytesOf(o.CollectionBuffer(text, 1, c.flagHigh, c.flagLow, c.style, c.style, 2,
                                             1))),
              c.record);
  }
}

TEST(TextRecords, LengthBytesKeepTheLowBitsAndOversizedTextsCannotBeFramed) {
  CBuffObj o;
  std::string t300(300, 'x');
  const Bytes data = BytesOf(o.CollectionBuffer(&t300[0], 1, false, false, 0, 0, 0, 0));
  ASSERT_EQ(data.size(), 305u);
  EXPECT_EQ(data[4], 0x2C);
  const Bytes coord = BytesOf(o.CoordinateTextBuffer(&t300[0], 0, 0, 0, 0, 0));
  ASSERT_EQ(coord.size(), 309u);
  EXPECT_EQ(coord[8], 0x2C);
  // The largest texts that leave the frame whole, and one byte more.
  struct Case {
    size_t fits;
    CBuffObj::tagBufferInfo (*build)(CBuffObj&, char*);
  };
  const Case cases[] = {
      {2976, [](CBuffObj& b, char* t) { return b.CollectionBuffer(t, 1, 0, 0, 0, 0, 0, 0); }},
      {2972, [](CBuffObj& b, char* t) { return b.CoordinateTextBuffer(t, 0, 0, 0, 0, 0); }},
      {2916, [](CBuffObj& b, char* t) {
         return b.InternalTextBuffer(t, 0, 0, 1, 0, 0, 0, 0, 0, 0, 0, 1, true, 0, 1, true);
       }},
  };
  for (const Case& c : cases) {
    std::string fits(c.fits, 'x'), over(c.fits + 1, 'x');
    EXPECT_EQ(o.CompletePacketBuffer(c.build(o, &fits[0]), 0x31, 0).nBufferLen, 3000);
    EXPECT_FALSE(IsValid(o.CompletePacketBuffer(c.build(o, &over[0]), 0x31, 0)));
  }
}

TEST_F(ContentWire, SingleTextsOnTheWire) {
  char t12[] = "12", ab[] = "AB", hi[] = "Hi", empty[] = "";
  EXPECT_EQ(SendCollectionData_Net(t12, ip(), 1, 1, 3, 2, 1), 0);
  vexasim::Frame f = OnlyFrame();
  EXPECT_EQ(hex(f.raw), "FE 5C 4B 89 1A 00 00 00 65 00 00 00 00 07 00 00 00 "
                        "01 00 33 21 02 31 32 FF FF");
  EXPECT_EQ(f.get("text") + f.get("styleHigh") + f.get("attrLow"), "\"12\"31");

  EXPECT_EQ(SendCoordinateText_Net(ab, ip(), 1, 300, 16, 5, 1, 2), 0);
  f = OnlyFrame();
  EXPECT_EQ(hex(f.payload), "80 2C 01 10 00 00 05 12 02 41 42");
  EXPECT_EQ(f.command, 0x60);
  EXPECT_EQ(f.get("x") + "," + f.get("y"), "300,16");

  EXPECT_EQ(SendInternalText_Net(hi, ip(), 1, 64, 16, 12, 1, 1, 2, 3, 4, 1, 2, 3, true, 7), 0);
  f = OnlyFrame();
  EXPECT_EQ(hex(f.payload), Hx("000000012,") + " 01 02 03 " + Hx("010101991231") +
                                " 13 00 00 00 55 AA 00 07 37 31 33 31 32 31 00 00 " +
                                "08 00 10 00 04 12 00 0C 00 00 00 48 69 " +
                                "FF 00 01 00 01 00 01 00 00 00");
  EXPECT_EQ(f.get("text") + f.get("areaWidth8") + f.get("last"), "\"Hi\"8false");

  for (int code : {1, 2, 0}) {
    EXPECT_EQ(SendInternalText_Net_Custom(empty, ip(), 1, 0, 0, 1, 0, 0, 0, 0, 0, 0, 0, 1, code),
              0);
    f = OnlyFrame();
    ASSERT_EQ(f.payload.size(), 62u);
    EXPECT_EQ(f.payload[34], code == 1 ? '1' : '2') << code;
    EXPECT_EQ(f.payload[32], 0) << code;
  }
}

TEST_F(ContentWire, TextRefusalsSendNothing) {
  std::string tooLong(2977, 'x');
  EXPECT_EQ(SendCollectionData_Net(&tooLong[0], ip(), 1, 1, 0, 0, 0), 1);
  EXPECT_EQ(SendCoordinateText_Net(&tooLong[0], ip(), 1, 0, 0, 0, 0, 0), 1);
  EXPECT_EQ(SendInternalText_Net(&tooLong[0], ip(), 1, 0, 0, 1, 0, 0, 0, 0, 0, 0, 0, 1, true, 0),
            1);
  EXPECT_EQ(SendCollectionData_Net(nullptr, ip(), 1, 1, 0, 0, 0), 1);
  EXPECT_EQ(SendCoordinateText_Net(nullptr, ip(), 1, 0, 0, 0, 0, 0), 1);
  EXPECT_EQ(SendInternalText_Net_Custom(nullptr, ip(), 1, 0, 0, 1, 0, 0, 0, 0, 0, 0, 0, 1, 1), 1);
  char a[] = "A";
  EXPECT_EQ(SendCollectionData_Net(a, nullptr, 1, 1, 0, 0, 0), 1);
  ExpectNothingSent("refused texts");
}

TEST_F(ContentWire, MultiPartTextSendsOneFrameWithTheLastPiece) {
  char a[] = "A", b[] = "B";
  EXPECT_EQ(MulText(a, ip(), 1, 2), 0);
  ExpectNothingSent("piece 1 of 2");
  EXPECT_EQ(MulText(b, ip(), 2, 2), 0);
  const vexasim::Frame f = OnlyFrame();
  EXPECT_EQ(f.command, 0x31);
  EXPECT_EQ(hex(f.payload), Piece("A", false) + " " + Piece("B", true));
  EXPECT_EQ(f.get("blocks") + f.get("block1.last") + f.get("block2.last") + f.get("block2.text"),
            "2falsetrue\"B\"");
}

TEST_F(ContentWire, MultiPartRefusalsLeaveTheGatheredBytes) {
  char a[] = "A", b[] = "B", c[] = "C", badIp[] = "1.2.3";
  std::string tooLong(3000, 'x');
  ASSERT_EQ(MulText(a, ip(), 1, 3), 0);
  const std::vector<int> gathered = Gathered();
  ASSERT_EQ(gathered.size(), 63u);
  char* const here = ip();
  const struct {
    const char* name;
    std::function<int()> call;
  } rows[] = {
      {"index 0", [&] { return MulText(b, here, 0, 3); }},
      {"index above count", [&] { return MulText(b, here, 4, 3); }},
      {"count 0", [&] { return MulText(b, here, 1, 0); }},
      {"negative index", [&] { return MulText(b, here, -1, 3); }},
      {"null text", [&] { return MulText(nullptr, here, 2, 3); }},
      {"null address", [&] { return MulText(b, nullptr, 2, 3); }},
      {"malformed address", [&] { return MulText(b, badIp, 2, 3); }},
      {"piece too long to encode", [&] { return MulText(&tooLong[0], here, 2, 3); }},
  };
  for (const auto& r : rows) {
    EXPECT_EQ(r.call(), 1) << r.name;
    EXPECT_EQ(Gathered(), gathered) << r.name;
  }
  ExpectNothingSent("refused pieces");
  // The transmission still finishes with its own pieces.
  EXPECT_EQ(MulText(b, ip(), 2, 3), 0);
  EXPECT_EQ(MulText(c, ip(), 3, 3), 0);
  EXPECT_EQ(hex(OnlyFrame().payload),
            Piece("A", false) + " " + Piece("B", false) + " " + Piece("C", true));
}

TEST_F(ContentWire, MultiPartCapOf2048Bytes) {
  std::string first(1000, 'a'), over(1039, 'b'), fits(1038, 'c'), huge(2044, 'd');
  ASSERT_EQ(MulData(&first[0], ip(), 1, 2), 0);
  ASSERT_EQ(g_nArrIndex, 1005);
  EXPECT_EQ(MulData(&over[0], ip(), 2, 2), 1);  // 1005 + 1044 = 2049
  EXPECT_EQ(g_nArrIndex, 1005);
  ExpectNothingSent("a piece past 2048 bytes");
  EXPECT_EQ(MulData(&fits[0], ip(), 2, 2), 0);  // 1005 + 1043 = 2048
  // Sent: the counter and the gathered bytes stay as they went out, but the
  // transmission is closed, so a further piece without its piece 1 is refused.
  EXPECT_EQ(g_nArrIndex, 2048);
  EXPECT_EQ(byteArrAllBuffer[1005 + 4], 0x0E);
  const vexasim::Frame f = OnlyFrame();
  EXPECT_EQ(MulData(&fits[0], ip(), 2, 2), 1);
  EXPECT_EQ(g_nArrIndex, 2048);
  ExpectNothingSent("a piece after the transmission was sent");
  ASSERT_EQ(f.payload.size(), 2048u);
  EXPECT_EQ(hex(Bytes(f.payload.begin(), f.payload.begin() + 6)), "01 00 33 21 E8 61");
  EXPECT_EQ(hex(Bytes(f.payload.begin() + 1005, f.payload.begin() + 1011)), "01 00 33 21 0E 63");
  EXPECT_EQ(f.get("records") + f.get("record2.textLength"), "214");
  // A first piece of 2049 bytes: refused, and the counter is reset.
  EXPECT_EQ(MulData(&huge[0], ip(), 1, 1), 1);
  EXPECT_EQ(g_nArrIndex, 0);
  ExpectNothingSent("a first piece past 2048 bytes");
}

class MultiPartSerial : public SerialLineTest {};

TEST_F(MultiPartSerial, SendsTheNetworkFrameToTheNumberedPort) {
  char text[] = "12", noAddress[] = "", device[] = "0";
  EXPECT_EQ(SendMulMaterial(2, 1, noAddress, 2, kPort, 9600, device, text, 0x65, 1, 1, 0, 0, 0, 1,
                            1, 1, 3, 2, 1, 1, false, 0, 1, 1),
            0);
  const std::vector<vexasim::Frame> got = frames(1);
  ASSERT_EQ(got.size(), 1u);
  EXPECT_EQ(got[0].channel, "serial");
  EXPECT_EQ(got[0].kind, "net");
  EXPECT_EQ(hex(emu_->serialBytes()), "FE 5C 4B 89 1A 00 00 00 65 00 00 00 00 07 00 00 00 "
                                      "01 00 33 21 02 31 32 FF FF");
}

}  // namespace
