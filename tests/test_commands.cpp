// The command table: every row names one command, no two rows share a
// network or serial code unless they are the template blocks of code 0x31,
// and the trace's names of frames come from it.
#include <gtest/gtest.h>

#include <cstring>
#include <map>
#include <string>

#include "SimFixture.h"
#include "core/Commands.h"

namespace {

using vexasim::bytesOf;

TEST(Commands, CodesAreUniqueButTheTemplateBlocks) {
  std::map<int, std::string> network, serial;
  for (const commands::Command* row : commands::kAll) {
    const commands::Command& c = *row;
    SCOPED_TRACE(c.name);
    if (c.networkCode != 0 && c.networkCode != commands::kMaterialCode) {
      EXPECT_TRUE(network.emplace(c.networkCode, c.name).second) << "and " << network[c.networkCode];
    }
    if (c.busCode != 0) {
      EXPECT_TRUE(serial.emplace(c.busCode, c.name).second) << "and " << serial[c.busCode];
      EXPECT_NE(c.bus, commands::BusForm::kNone) << "a serial code without a bus form";
    }
  }
}

TEST(Commands, TheTraceNamesFramesFromTheTable) {
  struct Row {
    const char* frame;
    const char* name;  // nullptr: no name
  } rows[] = {
      {"FE 5C 4B 89 15 00 00 00 66 00 00 00 00 02 00 00 00 01 FE FF FF", "PlayShowPage"},
      {"FE 5C 4B 89 13 00 00 00 51 00 00 00 00 00 00 00 00 FF FF", "StartPlay"},
      {"FE 5C 4B 89 13 00 00 00 68 02 00 00 00 00 00 00 00 FF FF", "PlayVoice"},
      {"FE 5C 4B 89 13 00 00 00 31 00 00 00 00 00 00 00 00 FF FF", "Material"},
      {"FE 5C 4B 89 13 00 00 00 99 00 00 00 00 00 00 00 00 FF FF", nullptr},
      {"FE 98 00 10 97 36 00 00 00 00 00 00 00 00 05 01 FE D3", "PlayShowPage"},
      {"FE 98 00 10 99 73 00 00", "PlayVoice"},
      {"FE 01 00 11 97 48 00", nullptr},  // a bar-screen frame names no command
      {"FE 5C 4B", nullptr},
  };
  for (const Row& r : rows) {
    const std::vector<uint8_t> f = bytesOf(r.frame);
    const char* name = commands::NameOfFrame(f.data(), static_cast<long>(f.size()));
    EXPECT_STREQ(name, r.name) << r.frame;
  }
}

}  // namespace
