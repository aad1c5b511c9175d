// The vexa command line: what was asked, the command made of it, and how
// results are reported. The program sends through the hall (hall/Hall.h),
// and so through the library's exported functions only.
#ifndef LIBVEXA_X86_CLI_CLI_H
#define LIBVEXA_X86_CLI_CLI_H

#include <functional>
#include <iosfwd>
#include <string>
#include <vector>

#include "hall/Hall.h"

namespace cli {

// Exit statuses besides the result codes 0 to 4 (those of sysexits.h).
constexpr int kUsage = 64;       // the command line is wrong
constexpr int kDataError = 65;   // a hall file with mistakes, a text GBK cannot hold, no such counter
constexpr int kNoInput = 66;     // the hall file cannot be read

// Everything the command line can say.
struct Args {
  std::string subcommand;

  // The target.
  std::string address;
  bool tcp = false;
  int loginPort = 0;
  std::string serial;  // "COM3" or "3"
  std::string bus;     // RS-485 bus address; without it the network frame goes on the line
  int baud = 9600;
  std::string sign;
  bool all = false;
  std::string hallPath;  // empty: $VEXA_HALL, then ./hall.toml

  int timeoutMs = -1;  // -1: the hall's (500 ms without a hall file)
  int retries = -1;    // -1: the hall's (1 without a hall file)
  int count = -1;      // -1: 4 for ping, else 1
  double interval = 1.0;
  bool trace = false;
  bool json = false;

  // The commands' own arguments.
  int page = 0;
  int bright1 = 0, bright2 = 0;
  int relay = 0;
  std::string relayAction;  // on, off, pulse
  int pulseUnits = 0;
  std::string text;  // UTF-8 as given
  int field = 0;
  int x = 0, y = 0;
  int width = 0, height = 0;  // 0: the sign's size (64 x 16 without a hall file)
  int materialId = 1;
  std::string colour = "red";
  std::string colours;  // empty: the sign's colour mode (red without a hall file)
  int voiceTag = -1, sound = 0, mTag = 0;
  int slot = 0, lineKind = 1, unitAddress = 1;
  bool bracketed = false;
  int group = -1;
  std::vector<std::string> images;
  int screen = 1;  // bar screen address on a direct serial target
  int pageWidth = 4;
  std::string ticket;
  int counter = 0;
  std::string font = "/usr/share/unifont/unifont.hex";  // check-text
};

// One command as it goes to a sign.
struct Command {
  std::string name;  // the hall's command (hall/SignCommands.h)
  // The library call for one sign; returns the result code.
  std::function<int(const hall::Sign&)> send;
};

// The command that `args` asks for, or false with `why` when an argument
// cannot be sent (`status` then says which exit status that is).
bool MakeCommand(const Args& args, Command* command, std::string* why, int* status);

// Whether `sign` can take `command`; `why` says why not.
bool Takes(const Command& command, const hall::Sign& sign, std::string* why);

// One line per result: human words, or one JSON object (--json).
void Print(std::ostream& out, const hall::SignResult& r, double ms, bool json);

// ping's closing statistics over the results of one sign.
struct PingStats {
  int transmitted = 0, accepted = 0, refused = 0, noReply = 0;
  double minMs = 0, maxMs = 0, sumMs = 0;
  int answered = 0;
  void Add(int result, double ms);
  void Print(std::ostream& out, const std::string& sign) const;
  // The same as one JSON object (command "ping").
  void PrintJson(std::ostream& out, const std::string& sign) const;
};

// check-text: the text's GBK bytes, the characters GBK cannot hold and the
// characters the font (a .hex font file) has no glyph for. Returns 0 when
// every character can be sent and shown, else kDataError.
int CheckText(std::ostream& out, const std::string& utf8, const std::string& fontPath);

// A JSON string literal of `s` (UTF-8 kept, control characters escaped).
std::string JsonString(const std::string& s);

}  // namespace cli

#endif  // LIBVEXA_X86_CLI_CLI_H
