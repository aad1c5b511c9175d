// The virtual sign: what each controller (and each bus device and bar screen)
// would display, kept from the decoded frames it received, and drawn as an
// LED dot matrix.
//
// A SignBoard holds one SignState per sign. Frames are applied to it one at a
// time (it has no lock: one thread owns it). Laying a sign out gives its
// areas and what each one shows at a moment of the emulator's clock; drawing
// it gives the lit dots (an RgbImage of one pixel per lamp, Raster.h), and
// drawLeds() turns those into a picture of round lamps.
#ifndef VEXA_SIM_SIGN_H
#define VEXA_SIM_SIGN_H

#include <chrono>
#include <cstdint>
#include <ctime>
#include <deque>
#include <functional>
#include <map>
#include <optional>
#include <set>
#include <string>
#include <vector>

#include "Bitmaps.h"
#include "Font.h"
#include "Frame.h"
#include "PageSet.h"
#include "Raster.h"

namespace vexasim {

// ---- the state of a sign ------------------------------------------------------

// A text as it arrived (bytes in the sign's encoding) with its look.
struct SignText {
  std::string bytes;
  int attrHigh = 0;
  int attrLow = 0;
  int textStyle = 0;
};

// What the template blocks said about one material number.
struct SignMaterial {
  char type = 0;        // '1' date-time, '5' line-up, '6' collected data, '7' text, '8' image group
  SignText text;        // '7': its text; '1', '5', '6': the attributes
  int areaWidth = 0;    // '7': the area size its header gives
  int areaHeight = 0;
  int displayMode = 0;
  int index = -1;       // '6': data index; '5': line-up slot
  std::optional<Bitmap> bitmap;  // '8'
};

struct SignLineUp {
  SignText text;
  std::string kind;  // "1", "2" or "other"
  int unitAddress = 0;
};

struct SignPlaced {
  int x = 0;
  int y = 0;
  SignText text;
};

struct SignPicture {
  int x = 0;
  int y = 0;
  Bitmap bitmap;
};

struct SignAnnouncement {
  uint64_t seq = 0;
  std::string text;    // without the voice tags
  std::string spoken;  // as sent, tags included
};

struct SignBarPage {
  std::string text;                // the page's cells, prefix included
  std::vector<uint8_t> colours;    // one attribute per text cell (1 red, 2 green, 3 yellow)
};

struct SignState {
  std::string id;
  std::string kind;  // "controller", "bus" or "bar"
  std::string name;  // the hall's name for the sign (vexa-sim --hall); "" without
  uint64_t changes = 0;  // counts the changes applied
  // The sign's real size in dots (vexa-sim --size); 0: it grows to hold
  // what it shows.
  int fixedWidth = 0, fixedHeight = 0;

  std::optional<PageSetLayout> pageSet;
  int pageNo = 0;        // from the last PlayShowPage; 0 when none came
  bool playing = true;   // StartPlay / StopPlay

  std::map<long, SignMaterial> materials;  // by material number
  std::deque<long> materialOrder;          // material numbers, oldest first
  std::map<int, SignText> collected;       // by data index
  std::map<int, SignLineUp> lineUps;       // by slot
  std::vector<SignPlaced> coordinateTexts; // one per place, latest last
  std::optional<SignPicture> multimedia;
  std::vector<std::string> arrivals;       // keys of contents without a page, first arrival first

  int brightness1 = -1, brightness2 = -1;  // -1: never set
  std::string relays[8];                   // "" (never switched), "on", "off", "pulse N"
  bool clockSet = false;
  std::tm clockTo{};                       // what the clock was set to...
  std::chrono::system_clock::time_point clockAt;  // ...at this moment of the emulator's clock
  std::deque<SignAnnouncement> announcements;     // latest last
  int imageGroupPlaying = -1;

  int barWidth = 0;                        // bar screens: page width in double-byte characters
  std::vector<SignBarPage> barPages;
  std::vector<Field> barParams;

  // Chunks of image groups and multimedia pictures being put together, and
  // the place of the multimedia picture that is arriving.
  BitmapCollector collector;
  int mediaX = 0, mediaY = 0;
};

// One area of a laid-out sign and what it shows.
struct SignArea {
  int x = 0, y = 0, width = 0, height = 0;
  std::string what;         // "text", "date-time", "collected data", "line-up", "image group"
  std::string label;        // e.g. "material 12", "data field 1", "slot 3"
  std::string text;         // bytes shown (texts and the clock)
  int colour = 1;           // 1 red, 2 green, 3 yellow
  const Bitmap* bitmap = nullptr;
  std::string note;         // why nothing is drawn, when so
};

struct SignLayout {
  int width = 0, height = 0;      // dots
  int pageIndex = -1;             // index into the page set, -1 without one
  std::string pageChosenBy;       // "command", "time window", "first page" or ""
  std::string time;               // the sign's clock, "YYYY-MM-DD hh:mm:ss"
  std::vector<SignArea> areas;
  std::vector<SignArea> placed;   // coordinate texts and the multimedia picture
};

// Signs are at most this many dots; content beyond is cut off.
constexpr int kMaxSignWidth = 2048;
constexpr int kMaxSignHeight = 1024;
// "WxH" in dots, W from 1 to kMaxSignWidth, H from 1 to kMaxSignHeight.
bool parseSignSize(const std::string& text, int& width, int& height);
// The area a content gets when no page set places it.
constexpr int kDefaultAreaWidth = 192;
constexpr int kDefaultAreaHeight = 16;
// What a sign keeps is bounded whatever arrives: the oldest goes first.
constexpr size_t kMaxAnnouncements = 5;
constexpr size_t kMaxCoordinateTexts = 64;
constexpr size_t kMaxMaterials = 256;
constexpr size_t kMaxArrivals = 64;  // contents stacked without a page set
// Signs that frames create (bus devices, bar screens); frames for more are
// not shown. Controllers given at start always have theirs.
constexpr size_t kMaxSigns = 64;

class SignBoard {
 public:
  using Clock = std::function<std::chrono::system_clock::time_point()>;

  SignBoard();
  // The emulator's clock (the system clock unless a test sets another).
  void setClock(Clock clock) { clock_ = std::move(clock); }
  std::chrono::system_clock::time_point now() const { return clock_(); }
  // Size of image-group pictures when no area gives one (0: none).
  void setBitmapSize(int w, int h) {
    bitmapW_ = w;
    bitmapH_ = h;
  }

  // The sign of a controller address, before any frame arrives; with a
  // width and height (parseSignSize's range) the sign has that size, and
  // what lies beyond its edge is cut off instead of making it larger.
  SignState& addController(const std::string& address, int width = 0, int height = 0);
  // A sign known before any frame arrives, of any kind, with its name and
  // size (0 x 0: it grows; a bar screen's width sets its page width, 16
  // dots a character, until a frame gives one); like a controller's, it
  // always has its place.
  SignState& addSign(const std::string& id, const std::string& kind, const std::string& name, int width = 0,
                     int height = 0);
  // Frames received at `address` come over a line of its own (a serial
  // line such as "COM1"): its bus devices and bar screens are told from
  // those of other lines by the line's name in front ("COM1 bar 3").
  void addLine(const std::string& address) { lines_.insert(address); }
  // Which sign a frame received by the controller at address is meant for:
  // the controller itself, or the bus device or bar screen it names. Empty
  // for frames that belong to no sign.
  static std::string signFor(const Frame& f, const std::string& address);
  // The sign a frame received over `line` is meant for: the bus device or
  // bar screen it names with the line's name in front ("COM1 bar 3"), or
  // the line itself for a network frame.
  static std::string signOnLine(const Frame& f, const std::string& line);
  // signOnLine where address is a line (addLine), else signFor.
  std::string idFor(const Frame& f, const std::string& address) const;
  // Applies one decoded frame; returns the sign it changed, "" when none (a
  // frame that fails its checks changes nothing, as a controller drops it).
  std::string apply(const Frame& f, const std::string& address);

  const std::map<std::string, SignState>& signs() const { return signs_; }
  const SignState* find(const std::string& id) const;

  SignLayout layout(const SignState& s) const;
  // The lit dots: one pixel per lamp in its colour, black where it is dark.
  RgbImage draw(const SignState& s, const SignLayout& l, const GlyphFont& font) const;
  // The sign's clock as "YYYY-MM-DD hh:mm:ss".
  std::string signTime(const SignState& s) const;

 private:
  // The sign id, made when new; null when no more signs may be made.
  SignState* sign(const std::string& id, const std::string& kind);
  bool applyToController(SignState& s, const Frame& f);
  void applyBlocks(SignState& s, const Frame& f);
  void applyBar(SignState& s, const Frame& f);
  void setClockTo(SignState& s, const std::tm& t);
  void arrived(SignState& s, const std::string& key);
  SignMaterial& material(SignState& s, long id);

  std::map<std::string, SignState> signs_;
  std::set<std::string> lines_;
  Clock clock_;
  uint64_t announcementSeq_ = 0;
  int bitmapW_ = 0, bitmapH_ = 0;
};

// "YYYY-MM-DD hh:mm:ss"
std::string formatSignTime(const std::tm& t);

// Colour code (1 red, 2 green, 3 yellow) of a text's attribute nibble.
int signColour(int attrHigh);

// The picture of the dots: each dot a round lamp in a square cell of `pitch`
// pixels, unlit dots dim, lit ones in their colour dimmed by the brightness
// level (0 to 15; -1 or above 15: full).
RgbImage drawLeds(const RgbImage& dots, int brightness, int pitch);
// Cell size for a sign of w x h dots, so that pictures stay a sensible size.
int ledPitch(int w, int h);

}  // namespace vexasim

#endif  // VEXA_SIM_SIGN_H
