// Each subcommand as the library call it makes for one sign, network or
// serial, with the values to pass where the command line says nothing.
#include <map>
#include <memory>
#include <mutex>

#include "Cli.h"
#include "SKYREL.h"

namespace cli {

namespace {

using hall::Hall;
using hall::Sign;

// The values the library's documentation gives to pass when unsure.
constexpr int kLevel = 1;
constexpr bool kPrimary = true;
constexpr int kVoiceSubCode = 0;

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
  if (command.barOnly && !sign.bar) {
    *why = "sign \"" + sign.name + "\" is no bar screen";
    return false;
  }
  if (!command.barOnly && sign.bar) {
    *why = "sign \"" + sign.name + "\" is a bar screen: it takes only bar";
    return false;
  }
  if (command.networkOnly && !sign.networked()) {
    *why = command.name + " has no serial form (sign \"" + sign.name + "\" is on " + sign.Where() + ")";
    return false;
  }
  return true;
}

bool MakeCommand(const Args& a, Command* c, std::string* why, int* status) {
  *status = kUsage;
  c->name = a.subcommand;
  const int colour = ColourCode(a.colour);
  if (colour == 0) {
    *why = "--colour must be red, green or yellow";
    return false;
  }
  int colourMode = -1;  // the sign's
  if (!a.colours.empty()) {
    colourMode = ColourMode(a.colours);
    if (colourMode < 0) {
      *why = "--colours must be red, red-green or full";
      return false;
    }
  }
  // Texts are given in UTF-8 and sent in GBK.
  std::string gbk;
  if (!a.text.empty()) {
    std::string bad;
    std::optional<std::string> converted = hall::ToGbk(a.text, &bad);
    if (!converted) {
      *why = "the text has a character GBK cannot hold: " + bad;
      *status = kDataError;
      return false;
    }
    gbk = *converted;
  }
  const std::string& cmd = a.subcommand;
  if (cmd == "play") {
    const int page = a.page;
    c->send = [page](const Sign& s) {
      return s.networked() ? PlayShowPage_Net(Hall::Address(s), s.networkMode(), page)
                           : PlayShowPage_Com(Hall::Bus(s), s.serialProtocol, s.port, s.baud, page);
    };
  } else if (cmd == "start" || cmd == "stop") {
    const bool start = cmd == "start";
    c->send = [start](const Sign& s) {
      if (s.networked()) {
        return start ? StartPlay_Net(Hall::Address(s), s.networkMode())
                     : StopPlay_Net(Hall::Address(s), s.networkMode());
      }
      return start ? StartPlay_Com(Hall::Bus(s), s.serialProtocol, s.port, s.baud)
                   : StopPlay_Com(Hall::Bus(s), s.serialProtocol, s.port, s.baud);
    };
  } else if (cmd == "bright") {
    const int v1 = a.bright1, v2 = a.bright2;
    c->send = [v1, v2](const Sign& s) {
      return s.networked() ? SetBright_Net(Hall::Address(s), s.networkMode(), v1, v2)
                           : SetBright_Com(Hall::Bus(s), s.serialProtocol, s.port, s.baud, v1, v2);
    };
  } else if (cmd == "relay") {
    const int relay = a.relay;
    if (a.relayAction == "pulse") {
      if (a.pulseUnits < 1 || a.pulseUnits > 16) {
        *why = "relay pulse needs a duration of 1 to 16 units";
        return false;
      }
      const int units = a.pulseUnits;
      c->send = [relay, units](const Sign& s) {
        return s.networked()
                   ? RelayDelay_Net(Hall::Address(s), s.networkMode(), relay, units)
                   : RelayDelay_Com(Hall::Bus(s), s.serialProtocol, s.port, s.baud, relay, units);
      };
    } else {
      if (a.pulseUnits != 0) {
        *why = "only relay pulse takes a duration";
        return false;
      }
      const int action = a.relayAction == "on" ? 1 : 2;
      c->send = [relay, action](const Sign& s) {
        return s.networked()
                   ? RelaySwitch_Net(Hall::Address(s), s.networkMode(), relay, action)
                   : RelaySwitch_Com(Hall::Bus(s), s.serialProtocol, s.port, s.baud, relay, action);
      };
    }
  } else if (cmd == "clock" || cmd == "ping") {
    // Setting the clock from the host's own clock: what ping sends, as it
    // changes nothing a viewer can see on a sign whose clock is right.
    c->name = "clock";
    c->send = [](const Sign& s) {
      return s.networked() ? TimeCheck_Net(Hall::Address(s), s.networkMode())
                           : TimeCheck_Com(Hall::Bus(s), s.serialProtocol, s.port, s.baud);
    };
  } else if (cmd == "text") {
    const int width = a.width, height = a.height, id = a.materialId;
    c->send = [gbk, width, height, id, colourMode, colour](const Sign& s) {
      Text t(gbk);
      const int w = width > 0 ? width : s.width > 0 ? s.width : 64;
      const int h = height > 0 ? height : s.height > 0 ? s.height : 16;
      const int mode = colourMode >= 0 ? colourMode : s.colourMode;
      if (s.networked()) {
        return SendInternalText_Net(t.get(), Hall::Address(s), s.networkMode(), w, h, id, mode, 0,
                                    0, 0, 0, colour, 0, kLevel, kPrimary, 0);
      }
      return SendInternalText_Com(t.get(), Hall::Bus(s), s.serialProtocol, s.port, s.baud, w, h,
                                  id, mode, 0, 0, 0, 0, colour, 0, kLevel, kPrimary, 0);
    };
  } else if (cmd == "data") {
    const int field = a.field;
    c->send = [gbk, field, colour](const Sign& s) {
      Text t(gbk);
      if (s.networked()) {
        return SendCollectionData_Net(t.get(), Hall::Address(s), s.networkMode(), field, 0, colour,
                                      0);
      }
      return SendCollectionData_Com(t.get(), Hall::Bus(s), s.serialProtocol, s.port, s.baud, field,
                                    0, colour, 0);
    };
  } else if (cmd == "coord") {
    const int x = a.x, y = a.y;
    c->networkOnly = true;
    c->send = [gbk, x, y, colour](const Sign& s) {
      Text t(gbk);
      return SendCoordinateText_Net(t.get(), Hall::Address(s), s.networkMode(), x, y, 0, colour, 0);
    };
  } else if (cmd == "voice") {
    const int vTag = a.voiceTag, sound = a.sound, mTag = a.mTag;
    c->send = [gbk, vTag, sound, mTag](const Sign& s) {
      Text t(gbk);
      if (s.networked()) {
        return PlayVoice2_Net(t.get(), Hall::Address(s), nullptr, s.networkMode(), kVoiceSubCode,
                              vTag, sound, mTag);
      }
      return PlayVoice2_Com(t.get(), Hall::Bus(s), s.serialProtocol, s.port, s.baud, vTag, sound,
                            mTag);
    };
  } else if (cmd == "lineup") {
    const int slot = a.slot, kind = a.lineKind, unit = a.unitAddress;
    const bool bracketed = a.bracketed;
    c->send = [gbk, slot, kind, unit, bracketed](const Sign& s) {
      Text t(gbk);
      if (s.networked()) {
        return SendLineUp_Net(t.get(), Hall::Address(s), s.networkMode(), slot, kind, unit,
                              bracketed);
      }
      return SendLineUp_Com(t.get(), Hall::Bus(s), s.serialProtocol, s.port, s.baud, slot, kind,
                            unit, bracketed);
    };
  } else if (cmd == "image") {
    if ((a.group >= 0) == !a.images.empty()) {
      *why = "image takes a group number to play, or --send with the pictures to upload";
      return false;
    }
    if (a.group >= 0) {
      const int group = a.group;
      c->send = [group](const Sign& s) {
        if (s.networked()) {
          return PlayImageGroup_Net(Hall::Address(s), s.networkMode(), 0, group, 0, 0, 0, 0, 0, 0,
                                    true, false);
        }
        return PlayImageGroup_Com(Hall::Bus(s), s.serialProtocol, s.port, s.baud, 0, group, 0, 0, 0,
                                  0, 0, 0, true, false);
      };
    } else {
      const std::vector<std::string> images = a.images;
      const int width = a.width, height = a.height, id = a.materialId;
      c->send = [images, width, height, id, colourMode](const Sign& s) {
        std::lock_guard<std::mutex> lock(ImageGroupLock());
        const int w = width > 0 ? width : s.width > 0 ? s.width : 64;
        const int h = height > 0 ? height : s.height > 0 ? s.height : 16;
        const int mode = colourMode >= 0 ? colourMode : s.colourMode;
        const int n = static_cast<int>(images.size());
        int r = 1;
        for (int i = 0; i < n; ++i) {
          Text file(images[i]);
          r = SendImageGroupBuffer(s.networked() ? 1 : 0, s.networkMode(), Hall::Address(s),
                                   s.serialProtocol, s.port, s.baud, Hall::Bus(s), file.get(), w,
                                   h, id, mode, 0, 0, 0, kLevel, kPrimary, i + 1, n);
          if (r != 0) break;  // a refused picture abandons the group
        }
        return r;
      };
    }
  } else if (cmd == "bar") {
    c->barOnly = true;
    c->send = [gbk, colour](const Sign& s) {
      Text t(gbk);
      // Bar screens speak their own frames: never the RS-485 bus frame.
      return SendContent2BarScreen_Com(t.get(), 1, s.port, s.baud, s.barAddress, colour,
                                       s.pageWidth, 0, 0, 0, 0, 0, 0, 0, 0, 0, false);
    };
  } else {
    *why = "no command " + cmd;
    return false;
  }
  return true;
}

}  // namespace cli
