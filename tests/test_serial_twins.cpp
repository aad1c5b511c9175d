// Serial twins of the command entry points on a pseudo-terminal line: the
// network frame for any serial protocol but 2, the RS-485 bus frames for 2,
// and the commands that have no bus form refusing it without a byte written.
#include <gtest/gtest.h>

#include <ctime>
#include <string>
#include <vector>

#include "SKYREL.h"
#include "SerialLine.h"
#include "SimFixture.h"
#include "TestClock.h"
#include "core/Clock.h"

namespace {

using vexasim::hex;

char kBus5[] = "5";
char kBus3[] = "3";
char kBus8[] = "1_2_3_4_5_6_7_8";


class SerialTwins : public SerialLineTest {
 protected:
  // The one frame on the line after a call returned `result`.
  vexasim::Frame onlyFrame() {
    auto f = frames(1);
    EXPECT_EQ(f.size(), 1u);
    return f.empty() ? vexasim::Frame{} : f[0];
  }
};

TEST_F(SerialTwins, PlayShowPageBusFrame) {
  EXPECT_EQ(PlayShowPage_Com(kBus5, 2, kPort, 9600, 1), 0);
  const auto f = onlyFrame();
  EXPECT_EQ(hex(f.raw), "FE 98 00 10 97 36 00 00 00 00 00 00 00 00 05 01 FE D3");
  EXPECT_EQ(f.kind, "rs485");
  EXPECT_TRUE(f.checksOk) << f.error;
  EXPECT_EQ(f.get("page"), "1");
}

TEST_F(SerialTwins, PlayShowPageNetworkFrame) {
  EXPECT_EQ(PlayShowPage_Com(kBus5, 1, kPort, 9600, 1), 0);
  EXPECT_EQ(hex(onlyFrame().raw), "FE 5C 4B 89 15 00 00 00 66 00 00 00 00 02 00 00 00 01 FE FF FF");
}

// Commands without a bus form send nothing with protocol 2 (the port is not
// even opened) and the network frame with any other protocol.
TEST_F(SerialTwins, CommandsWithoutBusFormRefuseProtocol2) {
  char text[] = "12";
  char noImage[] = "missing.bmp";
  EXPECT_EQ(SetBright_Com(kBus5, 2, kPort, 9600, 10, 1), 1);
  EXPECT_EQ(StartPlay_Com(kBus5, 2, kPort, 9600), 1);
  EXPECT_EQ(StopPlay_Com(kBus5, 2, kPort, 9600), 1);
  EXPECT_EQ(SendDateTime_Com(kBus5, 2, kPort, 9600, 2, 0, 1, 1, 1, 1, 0, 1, 3, 1, 0, 0, 0, 0), 1);
  EXPECT_EQ(SendLineUp_Com(text, kBus5, 2, kPort, 9600, 3, 1, 1, false), 1);
  EXPECT_EQ(SendImageGroup_Com(noImage, kBus5, 2, kPort, 9600, 8, 1, 5, 0, 1, 2, 3, 1, true, 1, 1), 1);
  EXPECT_EQ(serialPort.fd, -1);

  EXPECT_EQ(StartPlay_Com(kBus5, 0, kPort, 9600), 0);
  EXPECT_EQ(SetBright_Com(kBus5, 1, kPort, 9600, 10, 1), 0);
  EXPECT_EQ(StopPlay_Com(kBus5, 1, kPort, 9600), 0);
  EXPECT_EQ(SendDateTime_Com(kBus5, 1, kPort, 9600, 2, 0, 1, 1, 1, 1, 0, 1, 3, 1, 0, 0, 0, 0), 0);
  EXPECT_EQ(SendLineUp_Com(text, kBus5, 1, kPort, 9600, 3, 1, 1, false), 0);
  const auto f = frames(5);
  ASSERT_EQ(f.size(), 5u);
  EXPECT_EQ(hex(f[0].raw), "FE 5C 4B 89 13 00 00 00 51 00 00 00 00 00 00 00 00 FF FF");
  EXPECT_EQ(hex(f[1].raw), "FE 5C 4B 89 17 00 00 00 76 00 00 00 00 04 00 00 00 0A F5 01 FE FF FF");
  EXPECT_EQ(f[2].command, 0x52);
  EXPECT_EQ(f[3].command, 0x31);
  EXPECT_EQ(f[3].raw.size(), 19u + 67u);  // the date-time block ends with "-1,"
  EXPECT_EQ(f[4].command, 0x64);
  // XOR of the record before its check is 46: check bytes 04 06.
  EXPECT_EQ(hex(f[4].payload), "01 00 0B 00 53 00 03 1F 31 32 04 06");
  for (const auto& frame : f) EXPECT_EQ(frame.kind, "net");
}

// Both relay commands use bus code 32; the payload tells them apart.
TEST_F(SerialTwins, RelaysShareBusCode32) {
  EXPECT_EQ(RelaySwitch_Com(kBus5, 2, kPort, 9600, 3, 1), 0);
  EXPECT_EQ(RelayDelay_Com(kBus5, 2, kPort, 9600, 3, 5), 0);
  const auto f = frames(2);
  ASSERT_EQ(f.size(), 2u);
  EXPECT_EQ(hex(f[0].raw),
            "FE 98 00 1E 97 32 00 00 00 00 00 00 00 00 05 FF 00 FF 00 FC 03 FF 00 FF 00 FF 00 FF 00 FF 00 26");
  EXPECT_EQ(hex(f[1].raw),
            "FE 98 00 1E 97 32 00 00 00 00 00 00 00 00 05 FF 00 FF 00 B4 4B FF 00 FF 00 FF 00 FF 00 FF 00 26");
  EXPECT_EQ(f[0].get("relay3"), "on");
  EXPECT_EQ(f[1].get("relay3"), "pulse 5");
}

// The bus frame carries the clock's byte form, the network frame its text.
TEST_F(SerialTwins, TimeCheckByteFormOnTheBusTextFormInTheNetworkFrame) {
  SetLocalTimeSource(Dec6At222505);

  const int onBus = TimeCheck_Com(kBus5, 2, kPort, 9600);
  const int inNetworkFrame = TimeCheck_Com(kBus5, 1, kPort, 9600);
  SetLocalTimeSource(nullptr);
  EXPECT_EQ(onBus, 0);
  EXPECT_EQ(inNetworkFrame, 0);
  const auto f = frames(2);
  ASSERT_EQ(f.size(), 2u);
  EXPECT_EQ(hex(f[0].raw), "FE 98 00 15 97 34 00 00 00 00 00 00 00 00 05 1A 0C 06 00 16 19 05 31");
  EXPECT_EQ(f[0].get("dateTime"), "2026-12-06 22:25:05");
  EXPECT_EQ(hex(f[1].raw),
            "FE 5C 4B 89 26 00 00 00 63 00 00 00 00 13 00 00 00 "
            "31 23 32 30 32 36 31 32 30 36 30 30 32 32 32 35 30 35 23 FF FF");
}

TEST_F(SerialTwins, PlayImageGroupAndCollectionDataOnTheBus) {
  char text[] = "12";
  EXPECT_EQ(PlayImageGroup_Com(kBus5, 2, kPort, 9600, 1, 3, 4, 0x0102, 0x0304, 5, 6, 7, true, false), 0);
  EXPECT_EQ(SendCollectionData_Com(text, kBus5, 2, kPort, 9600, 1, 3, 2, 1), 0);
  const auto f = frames(2);
  ASSERT_EQ(f.size(), 2u);
  EXPECT_EQ(hex(f[0].raw),
            "FE 98 00 1B 97 35 00 00 00 00 00 00 00 00 05 03 FC 00 05 00 04 02 01 04 03 05 06 07 DA");
  EXPECT_EQ(hex(f[1].raw), "FE 98 00 15 97 37 00 00 00 00 00 00 00 00 05 01 00 33 21 02 31 32 3A");
  EXPECT_EQ(f[0].name, "PlayImageGroup");
  EXPECT_EQ(f[1].get("text"), "\"12\"");
  for (const auto& frame : f) EXPECT_TRUE(frame.checksOk) << frame.error;
}

// Internal text is the one bus command with the option block and a CRC.
TEST_F(SerialTwins, InternalTextCarriesOptionBlockAndCrc) {
  char text[] = "AB";
  EXPECT_EQ(SendInternalText_Com(text, kBus8, 2, kPort, 9600, 64, 16, 7, 1, 1, 2, 3, 3, 2, 1, 2,
                                 true, 9),
            0);
  const auto f = onlyFrame();
  EXPECT_EQ(hex(f.raw),
            "FE 98 00 53 97 54 00 01 02 03 04 05 06 07 08 01 01 01 "
            "30 30 30 30 30 30 30 30 37 2C 01 02 03 30 31 30 31 30 31 39 39 31 32 33 31 13 00 00 00 "
            "55 AA 00 09 37 31 32 31 32 31 00 00 08 00 10 00 03 21 00 0C 00 00 00 41 42 "
            "FF 00 01 00 01 00 01 00 00 00 D2 52 B2");
  EXPECT_TRUE(f.checksOk) << f.error;
  EXPECT_EQ(f.get("options"), "01 01 01");
  EXPECT_EQ(f.get("crc"), "ok");
  EXPECT_EQ(f.get("contentType"), "7");
  EXPECT_EQ(f.get("text"), "\"AB\"");
}

// A text that still fits a network frame but not the longer bus frame with
// its option block and CRC: protocol 2 sends nothing and returns 1.
TEST_F(SerialTwins, BusFrameThatWouldNotFitIsRefused) {
  std::string text(2918, 'x');  // block 2980: network frame 2999, bus frame 3001
  EXPECT_EQ(SendInternalText_Com(&text[0], kBus5, 2, kPort, 9600, 64, 16, 7, 1, 1, 2, 3, 3, 2, 1,
                                 2, true, 9),
            1);
  EXPECT_EQ(serialPort.fd, -1);
  EXPECT_EQ(SendInternalText_Com(&text[0], kBus5, 1, kPort, 9600, 64, 16, 7, 1, 1, 2, 3, 3, 2, 1,
                                 2, true, 9),
            0);
  EXPECT_EQ(onlyFrame().raw.size(), 2999u);
}

// With protocol 2 the voice record loses its two trailing zeros and travels
// in the voice frame; otherwise the network frame with sub-code 2 keeps them.
TEST_F(SerialTwins, VoiceTwins) {
  char text[] = "AB";
  EXPECT_EQ(PlayVoice_Com(text, kBus3, 2, kPort, 9600), 0);
  EXPECT_EQ(PlayVoice_Com(text, kBus3, 1, kPort, 9600), 0);
  EXPECT_EQ(PlayVoice2_Com(text, kBus3, 2, kPort, 9600, 5, 1, 2), 0);
  const auto f = frames(3);
  ASSERT_EQ(f.size(), 3u);
  EXPECT_EQ(hex(f[0].raw), "FE 03 00 0C 99 73 FD 00 04 01 00 41 42 1E");
  EXPECT_EQ(f[0].kind, "voice485");
  EXPECT_EQ(hex(f[1].raw), "FE 5C 4B 89 1C 00 00 00 68 02 00 00 00 09 00 00 00 FD 00 04 01 00 41 42 00 00 FF FF");
  EXPECT_EQ(hex(f[2].raw),
            "FE 03 00 1F 99 73 FD 00 17 01 00 5B 76 35 5D 73 6F 75 6E 64 31 30 31 20 5B 6D 35 31 5D 20 41 42 67");
  EXPECT_TRUE(f[2].checksOk) << f[2].error;
  EXPECT_EQ(f[2].get("text"), "\"AB\"");
}

// The multi-part twins send the gathered network frame whatever the protocol.
TEST_F(SerialTwins, MultiPartCollectionDataSendsTheNetworkFrame) {
  char first[] = "12";
  char second[] = "3";
  EXPECT_EQ(SendMulCollectionData_Com(first, kBus5, 2, kPort, 9600, 1, 0, 3, 2, 1, 1, 2), 0);
  EXPECT_EQ(serialPort.fd, -1);  // piece 1 is only gathered
  EXPECT_EQ(SendMulCollectionData_Com(second, kBus5, 2, kPort, 9600, 1, 0, 3, 2, 1, 2, 2), 0);
  EXPECT_EQ(hex(onlyFrame().raw),
            "FE 5C 4B 89 20 00 00 00 65 00 00 00 00 0D 00 00 00 "
            "01 00 33 21 02 31 32 01 00 33 21 01 33 FF FF");
}

TEST_F(SerialTwins, NullArgumentsAreRefused) {
  char text[] = "AB";
  EXPECT_EQ(PlayShowPage_Com(nullptr, 1, kPort, 9600, 1), 1);
  EXPECT_EQ(SendCollectionData_Com(nullptr, kBus5, 2, kPort, 9600, 1, 3, 2, 1), 1);
  EXPECT_EQ(SendCollectionData_Com(text, nullptr, 1, kPort, 9600, 1, 3, 2, 1), 1);
  EXPECT_EQ(SendInternalText_Com(nullptr, kBus5, 2, kPort, 9600, 64, 16, 7, 1, 1, 2, 3, 3, 2, 1, 2, true, 9), 1);
  EXPECT_EQ(SendLineUp_Com(nullptr, kBus5, 1, kPort, 9600, 3, 1, 1, false), 1);
  EXPECT_EQ(PlayVoice_Com(nullptr, kBus3, 2, kPort, 9600), 1);
  EXPECT_EQ(PlayVoice2_Com(text, nullptr, 2, kPort, 9600, 5, 1, 2), 1);
  EXPECT_EQ(SendMulCollectionData_Com(nullptr, kBus5, 1, kPort, 9600, 1, 0, 3, 2, 1, 1, 1), 1);
  EXPECT_EQ(SendMulInternalText_Com(nullptr, kBus5, 1, kPort, 9600, 64, 16, 7, 1, 1, 2, 3, 3, 2, 1, 2, true, 9, 1, 1), 1);
  EXPECT_EQ(SendImageGroup_Com(nullptr, kBus5, 1, kPort, 9600, 8, 1, 5, 0, 1, 2, 3, 1, true, 1, 1), 1);
  EXPECT_EQ(serialPort.fd, -1);
}

}  // namespace
