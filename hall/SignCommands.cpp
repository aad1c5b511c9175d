#include "hall/SignCommands.h"

#include <functional>
#include <map>

#include "SKYREL.h"

namespace hall {

namespace {

// The values the library's documentation gives to pass when unsure.
constexpr int kLevel = 1;
constexpr bool kPrimary = true;
constexpr int kVoiceSubCode = 0;
constexpr int kBarProtocol = 1;  // bar screens speak no RS-485 bus frame
constexpr int kRelayOn = 1, kRelayOff = 2;

// A text the library may take as char* (it never writes into it); a copy per
// call, so that signs served at once never share one.
struct Text {
  explicit Text(const std::string& s) : bytes(s) {}
  std::string bytes;
  char* get() { return &bytes[0]; }
};

using Send = std::function<int(const Sign&, const Arguments&)>;

// Each command: its network form and its serial form.
struct Forms {
  Send net;
  Send serial;  // empty: no serial form
};

// The library reads these texts and never writes into them.
char* Ip(const Sign& s) { return const_cast<char*>(s.address.c_str()); }
char* Bus(const Sign& s) { return const_cast<char*>(s.bus.c_str()); }

const std::map<std::string, Forms>& Table() {
  static const std::map<std::string, Forms> table = {
      {"play",
       {[](const Sign& s, const Arguments& a) { return PlayShowPage_Net(Ip(s), s.networkMode(), a.page); },
        [](const Sign& s, const Arguments& a) {
          return PlayShowPage_Com(Bus(s), s.serialProtocol, s.port, s.baud, a.page);
        }}},
      {"start",
       {[](const Sign& s, const Arguments&) { return StartPlay_Net(Ip(s), s.networkMode()); },
        [](const Sign& s, const Arguments&) {
          return StartPlay_Com(Bus(s), s.serialProtocol, s.port, s.baud);
        }}},
      {"stop",
       {[](const Sign& s, const Arguments&) { return StopPlay_Net(Ip(s), s.networkMode()); },
        [](const Sign& s, const Arguments&) {
          return StopPlay_Com(Bus(s), s.serialProtocol, s.port, s.baud);
        }}},
      {"bright",
       {[](const Sign& s, const Arguments& a) {
          return SetBright_Net(Ip(s), s.networkMode(), a.value1, a.value2);
        },
        [](const Sign& s, const Arguments& a) {
          return SetBright_Com(Bus(s), s.serialProtocol, s.port, s.baud, a.value1, a.value2);
        }}},
      {"relay",
       {[](const Sign& s, const Arguments& a) {
          if (a.action == "pulse") return RelayDelay_Net(Ip(s), s.networkMode(), a.relay, a.units);
          return RelaySwitch_Net(Ip(s), s.networkMode(), a.relay,
                                 a.action == "on" ? kRelayOn : kRelayOff);
        },
        [](const Sign& s, const Arguments& a) {
          if (a.action == "pulse") {
            return RelayDelay_Com(Bus(s), s.serialProtocol, s.port, s.baud, a.relay, a.units);
          }
          return RelaySwitch_Com(Bus(s), s.serialProtocol, s.port, s.baud, a.relay,
                                 a.action == "on" ? kRelayOn : kRelayOff);
        }}},
      {"clock",
       {[](const Sign& s, const Arguments&) { return TimeCheck_Net(Ip(s), s.networkMode()); },
        [](const Sign& s, const Arguments&) {
          return TimeCheck_Com(Bus(s), s.serialProtocol, s.port, s.baud);
        }}},
      {"text",
       {[](const Sign& s, const Arguments& a) {
          Text t(a.text);
          const int w = a.width > 0 ? a.width : s.width > 0 ? s.width : 64;
          const int h = a.height > 0 ? a.height : s.height > 0 ? s.height : 16;
          const int mode = a.colourMode >= 0 ? a.colourMode : s.colourMode;
          return SendInternalText_Net(t.get(), Ip(s), s.networkMode(), w, h, a.materialId, mode, 0,
                                      0, 0, 0, a.colour, 0, kLevel, kPrimary, 0);
        },
        [](const Sign& s, const Arguments& a) {
          Text t(a.text);
          const int w = a.width > 0 ? a.width : s.width > 0 ? s.width : 64;
          const int h = a.height > 0 ? a.height : s.height > 0 ? s.height : 16;
          const int mode = a.colourMode >= 0 ? a.colourMode : s.colourMode;
          return SendInternalText_Com(t.get(), Bus(s), s.serialProtocol, s.port, s.baud, w, h,
                                      a.materialId, mode, 0, 0, 0, 0, a.colour, 0, kLevel,
                                      kPrimary, 0);
        }}},
      {"data",
       {[](const Sign& s, const Arguments& a) {
          Text t(a.text);
          return SendCollectionData_Net(t.get(), Ip(s), s.networkMode(), a.field, 0, a.colour, 0);
        },
        [](const Sign& s, const Arguments& a) {
          Text t(a.text);
          return SendCollectionData_Com(t.get(), Bus(s), s.serialProtocol, s.port, s.baud, a.field,
                                        0, a.colour, 0);
        }}},
      {"coord",
       {[](const Sign& s, const Arguments& a) {
          Text t(a.text);
          return SendCoordinateText_Net(t.get(), Ip(s), s.networkMode(), a.x, a.y, 0, a.colour, 0);
        },
        nullptr}},
      {"voice",
       {[](const Sign& s, const Arguments& a) {
          Text t(a.text);
          return PlayVoice2_Net(t.get(), Ip(s), nullptr, s.networkMode(), kVoiceSubCode,
                                a.voiceTag, a.sound, a.mTag);
        },
        [](const Sign& s, const Arguments& a) {
          Text t(a.text);
          return PlayVoice2_Com(t.get(), Bus(s), s.serialProtocol, s.port, s.baud, a.voiceTag,
                                a.sound, a.mTag);
        }}},
      {"lineup",
       {[](const Sign& s, const Arguments& a) {
          Text t(a.text);
          return SendLineUp_Net(t.get(), Ip(s), s.networkMode(), a.slot, a.lineKind, a.unitAddress,
                                a.bracketed);
        },
        [](const Sign& s, const Arguments& a) {
          Text t(a.text);
          return SendLineUp_Com(t.get(), Bus(s), s.serialProtocol, s.port, s.baud, a.slot,
                                a.lineKind, a.unitAddress, a.bracketed);
        }}},
      {"image",
       {[](const Sign& s, const Arguments& a) {
          return PlayImageGroup_Net(Ip(s), s.networkMode(), 0, a.group, 0, 0, 0, 0, 0, 0, true,
                                    false);
        },
        [](const Sign& s, const Arguments& a) {
          return PlayImageGroup_Com(Bus(s), s.serialProtocol, s.port, s.baud, 0, a.group, 0, 0, 0,
                                    0, 0, 0, true, false);
        }}},
      {"bar",
       {nullptr,
        [](const Sign& s, const Arguments& a) {
          Text t(a.text);
          return SendContent2BarScreen_Com(t.get(), kBarProtocol, s.port, s.baud, s.barAddress,
                                           a.colour, s.pageWidth, 0, 0, 0, 0, 0, 0, 0, 0, 0,
                                           false);
        }}},
  };
  return table;
}

}  // namespace

const std::vector<std::string>& CommandNames() {
  static const std::vector<std::string> names = {"play",  "start", "stop",   "bright", "relay",
                                                 "clock", "text",  "data",   "coord",  "voice",
                                                 "lineup", "image", "bar"};
  return names;
}

bool Takes(const Sign& sign, const std::string& command, std::string* why) {
  auto it = Table().find(command);
  if (it == Table().end()) {
    if (why) *why = "no command " + command;
    return false;
  }
  const bool barCommand = command == "bar";
  if (barCommand && !sign.bar) {
    if (why) *why = "sign \"" + sign.name + "\" is no bar screen";
    return false;
  }
  if (!barCommand && sign.bar) {
    if (why) *why = "sign \"" + sign.name + "\" is a bar screen: it takes only bar";
    return false;
  }
  if (!sign.networked() && !it->second.serial) {
    if (why) *why = command + " has no serial form (sign \"" + sign.name + "\" is on " + sign.Where() + ")";
    return false;
  }
  return true;
}

int Execute(const Sign& sign, const std::string& command, const Arguments& args) {
  if (!Takes(sign, command, nullptr)) return 1;
  const Forms& forms = Table().at(command);
  return sign.networked() ? forms.net(sign, args) : forms.serial(sign, args);
}

}  // namespace hall
