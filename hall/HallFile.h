// A hall described in one file: its signs with their transport, size and
// layout, its counters and what shows each counter's calls, and how a call
// is announced. Reading the file sends nothing: it only describes; a file
// with mistakes is refused with every mistake named at its place
// (FILE:LINE:COLUMN).
#ifndef LIBVEXA_X86_HALL_HALLFILE_H
#define LIBVEXA_X86_HALL_HALLFILE_H

#include <memory>
#include <optional>
#include <string>
#include <vector>

namespace hall {

// One mistake of a hall file, at its place.
struct Mistake {
  std::string file;
  int line = 0;    // 1-based; 0 when the mistake has no place (the file itself)
  int column = 0;  // 1-based
  std::string what;
  bool unreadable = false;  // the file itself could not be read
  // "hall.toml:12:3: unknown key "widht""
  std::string Text() const;
};

enum class Transport { kUdp, kTcp, kLogin, kSerial };

// What a material shows in its area.
enum class MaterialKind { kText, kDateTime, kData, kLineUp, kImage };

struct Material {
  MaterialKind kind = MaterialKind::kText;
  std::string text;    // kText: the text, GBK bytes
  int colour = 1;      // 1 red, 2 green, 3 yellow
  int field = 0;       // kData: the data field; kLineUp: the line-up field
  std::vector<std::string> files;  // kImage: the pictures, in order
  int materialId = 0;  // kText, kDateTime, kImage: the material's number
};

struct Area {
  int x = 0, y = 0, width = 0, height = 0;
  std::vector<Material> materials;
};

struct Page {
  int number = 1;
  std::string from = "00:00", to = "23:59";
  std::vector<Area> areas;
};

struct Sign {
  std::string name;
  Transport transport = Transport::kUdp;
  std::string address;  // network signs: the controller's IPv4 address
  int port = 0;         // serial signs: n of the device COMn
  int baud = 9600;      // serial signs
  std::string bus;      // serial signs: the RS-485 bus address ("5" or eight numbers)
  int serialProtocol = 2;  // serial signs: 2 the RS-485 bus frame, else the network frame
  bool bar = false;     // a one-line bar screen on the serial line
  int barAddress = 0;   // bar screens: the screen's address on the line, 1 to 255
  int pageWidth = 4;    // bar screens: characters a page (two-byte characters)
  int width = 0, height = 0;  // in dots
  int colourMode = 0;   // 0 red, 1 red and green, 2 full colour
  bool speaks = false;  // has a voice module
  int timeoutMs = 0;    // receive time-out; 0: the hall's
  int retries = -1;     // repeats after the first attempt; -1: the hall's
  std::vector<Page> pages;
  // Where the sign was named in the file, for later mistakes (a call).
  int line = 0, column = 0;

  bool networked() const { return transport != Transport::kSerial; }
  // The network mode of the library: 1 datagrams, 2 stream, 3 login link.
  int networkMode() const;
  // "udp 192.0.2.10", "serial COM1 bus 5", "serial COM1 bar 3".
  std::string Where() const;
};

// What shows a counter's calls: a line-up field of a sign, a collected data
// field of a sign, a bar screen.
struct Display {
  enum class Kind { kLineUp, kData, kBar } kind = Kind::kLineUp;
  std::string sign;
  int field = 0;  // line-up: the slot; data: the data field
};

struct Counter {
  int number = 0;
  std::vector<Display> displays;  // in the order of the file
};

// How a call is spoken on the signs that speak.
struct Announcement {
  // "{ticket}" and "{counter}" are replaced; UTF-8 as written in the file.
  std::string text = "Ticket {ticket}, please go to counter {counter}";
  int voiceTag = -1;  // [vN] in front, -1 none
  int sound = 0;      // 1 to 3: a sound before the words, 0 none
  int mTag = 0;       // 1 or 2: [m3] or [m51], 0 none
  bool digits = true; // read the ticket's number digit by digit; false: as a number
  int repeat = 1;     // times the words are said in one announcement
  // The spoken text for a call, in GBK, or nullopt with the character that
  // GBK cannot hold named in `why`.
  std::optional<std::string> For(const std::string& ticket, int counter, std::string* why) const;
};

struct HallFile {
  std::string path;
  std::string name;
  int timeoutMs = 500;  // receive time-out of every sign unless its own
  int retries = 1;      // repeats after the first attempt, unless the sign's own
  int loginPort = 0;    // the login server's port for login signs; 0: none
  std::vector<Sign> signs;
  std::vector<Counter> counters;
  Announcement announcement;

  const Sign* FindSign(const std::string& name) const;
  const Counter* FindCounter(int number) const;
};

// Reads and checks the hall file at `path`. On mistakes returns nothing and
// lists every one in `mistakes`.
std::unique_ptr<HallFile> LoadHallFile(const std::string& path, std::vector<Mistake>* mistakes);
// The same for a text, named `path` in the mistakes.
std::unique_ptr<HallFile> ParseHallFile(const std::string& text, const std::string& path,
                                        std::vector<Mistake>* mistakes);

// UTF-8 to GBK. nullopt when a character has no GBK form; `bad` then names
// it ("U+20AC '€'").
std::optional<std::string> ToGbk(const std::string& utf8, std::string* bad = nullptr);

}  // namespace hall

#endif  // LIBVEXA_X86_HALL_HALLFILE_H
