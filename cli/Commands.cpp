// Each subcommand as the hall's command for one sign (hall/SignCommands.h),
// with the values to pass where the command line says nothing.
#include <algorithm>
#include <map>
#include <memory>
#include <mutex>

#include "Cli.h"
#include "SKYREL.h"
#include "hall/SignCommands.h"

namespace cli {

namespace {

using hall::Hall;
using hall::Sign;

// The values the library's documentation gives to pass when unsure.
constexpr int kLevel = 1;
constexpr bool kPrimary = true;

// A text the library may take as char* (it never writes into it); a copy per
// call, so that signs served at once never share one.
struct Text {
  explicit Text(std::string s) : bytes(std::move(s)) {}
  std::string bytes;
  char* get() { return &bytes[0]; }
};

int ColourCode(const std::string& colour) {
  static const std::map<std::string, int> codes = {{"red", 1}, {"green", 2}, {"yellow", 3}};
  auto it = codes.find(colour);
  return it == codes.end() ? 0 : it->second;
}

int ColourMode(const std::string& colours) {
  static const std::map<std::string, int> modes = {{"red", 0}, {"red-green", 1}, {"full", 2}};
  auto it = modes.find(colours);
  return it == modes.end() ? -1 : it->second;
}

// Image groups gather their pictures in one buffer of the process: one
// group at a time, whatever the number of signs.
std::mutex& ImageGroupLock() {
  static std::mutex* lock = new std::mutex;
  return *lock;
}

}  // namespace

bool Takes(const Command& command, const Sign& sign, std::string* why) {
  // An image group uploaded from files takes the image command's signs.
  return hall::Takes(sign, command.name, why);
}

bool MakeCommand(const Args& a, Command* c, std::string* why, int* status) {
  *status = kUsage;
  c->name = a.subcommand == "ping" ? "clock" : a.subcommand;
  hall::Arguments args;
  args.colour = ColourCode(a.colour);
  if (args.colour == 0) {
    *why = "--colour must be red, green or yellow";
    return false;
  }
  if (!a.colours.empty()) {
    args.colourMode = ColourMode(a.colours);
    if (args.colourMode < 0) {
      *why = "--colours must be red, red-green or full";
      return false;
    }
  }
  // Texts are given in UTF-8 and sent in GBK.
  if (!a.text.empty()) {
    std::string bad;
    std::optional<std::string> converted = hall::ToGbk(a.text, &bad);
    if (!converted) {
      *why = "the text has a character GBK cannot hold: " + bad;
      *status = kDataError;
      return false;
    }
    args.text = *converted;
  }
  args.page = a.page;
  args.value1 = a.bright1;
  args.value2 = a.bright2;
  args.relay = a.relay;
  args.action = a.relayAction;
  args.units = a.pulseUnits;
  args.width = a.width;
  args.height = a.height;
  args.materialId = a.materialId;
  args.field = a.field;
  args.x = a.x;
  args.y = a.y;
  args.slot = a.slot;
  args.lineKind = a.lineKind;
  args.unitAddress = a.unitAddress;
  args.bracketed = a.bracketed;
  args.voiceTag = a.voiceTag;
  args.sound = a.sound;
  args.mTag = a.mTag;
  args.group = a.group;
  if (c->name == "relay") {
    if (a.relayAction == "pulse" && (a.pulseUnits < 1 || a.pulseUnits > 16)) {
      *why = "relay pulse needs a duration of 1 to 16 units";
      return false;
    }
    if (a.relayAction != "pulse" && a.pulseUnits != 0) {
      *why = "only relay pulse takes a duration";
      return false;
    }
  }
  if (c->name == "image") {
    if ((a.group >= 0) == !a.images.empty()) {
      *why = "image takes a group number to play, or --send with the pictures to upload";
      return false;
    }
    if (!a.images.empty()) {
      // Uploading pictures: the image group, one picture a call.
      const std::vector<std::string> images = a.images;
      c->send = [images, args](const Sign& s) {
        std::lock_guard<std::mutex> lock(ImageGroupLock());
        const int w = args.width > 0 ? args.width : s.width > 0 ? s.width : 64;
        const int h = args.height > 0 ? args.height : s.height > 0 ? s.height : 16;
        const int mode = args.colourMode >= 0 ? args.colourMode : s.colourMode;
        const int n = static_cast<int>(images.size());
        int r = 1;
        for (int i = 0; i < n; ++i) {
          Text file(images[i]);
          r = SendImageGroupBuffer(s.networked() ? 1 : 0, s.networkMode(), Hall::Address(s),
                                   s.serialProtocol, s.port, s.baud, Hall::Bus(s), file.get(), w,
                                   h, args.materialId, mode, 0, 0, 0, kLevel, kPrimary, i + 1, n);
          if (r != 0) break;  // a refused picture abandons the group
        }
        return r;
      };
      return true;
    }
  }
  const std::vector<std::string>& known = hall::CommandNames();
  if (std::find(known.begin(), known.end(), c->name) == known.end()) {
    *why = "no command " + c->name;
    return false;
  }
  const std::string name = c->name;
  c->send = [name, args](const Sign& s) { return hall::Execute(s, name, args); };
  return true;
}

}  // namespace cli
