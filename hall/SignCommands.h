// The commands one sign of a hall takes, each the library call for the
// sign's transport (network or serial line) with the values to pass where
// the caller gives none. The hall's calls, the `vexa` command line and the
// gateway all send through these, so that one command is written once.
#ifndef LIBVEXA_X86_HALL_SIGNCOMMANDS_H
#define LIBVEXA_X86_HALL_SIGNCOMMANDS_H

#include <string>
#include <vector>

#include "hall/HallFile.h"

namespace hall {

// The arguments of a command, by name; a command reads only its own.
struct Arguments {
  int page = 1;                   // play
  int value1 = 0, value2 = 0;     // bright
  int relay = 1;                  // relay
  std::string action = "on";      // relay: "on", "off" or "pulse"
  int units = 1;                  // relay pulse: 1 to 16
  std::string text;               // text, data, coord, voice, lineup, bar: GBK bytes
  int width = 0, height = 0;      // text: the area; 0 the sign's (64 x 16 without one)
  int materialId = 0;             // text
  int colourMode = -1;            // text: 0 red, 1 red and green, 2 full; -1 the sign's
  int colour = 1;                 // text, data, coord, bar: 1 red, 2 green, 3 yellow
  int field = 0;                  // data
  int x = 0, y = 0;               // coord
  int slot = 1, lineKind = 1, unitAddress = 1;  // lineup
  bool bracketed = false;         // lineup
  int voiceTag = -1, sound = 0, mTag = 0;       // voice
  int group = 0;                  // image: the group to play
};

// The commands, by name: play, start, stop, bright, relay, clock, text,
// data, coord, voice, lineup, image (play a group), bar.
const std::vector<std::string>& CommandNames();

// Whether `sign` takes `command` (bar screens take only bar; coord has no
// serial form); `why` says why not.
bool Takes(const Sign& sign, const std::string& command, std::string* why);

// Sends `command` to `sign` through the library and returns its result
// code; 1 with nothing sent for a command the sign does not take or that
// does not exist. Any thread; the hall's settings are the caller's to put
// in force (Hall::Send).
int Execute(const Sign& sign, const std::string& command, const Arguments& args);

}  // namespace hall

#endif  // LIBVEXA_X86_HALL_SIGNCOMMANDS_H
