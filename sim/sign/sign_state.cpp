// What each received frame does to the sign it is meant for, read from the
// typed values of the frame's decoded fields.
#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "Sign.h"

namespace vexasim {

namespace {

// A bus device's eight address bytes: "5" for 00 .. 00 05, else the eight
// numbers joined by "_".
std::string busAddress(const std::string& bytes) {
  bool leadingZeros = bytes.size() == 8;
  for (size_t i = 0; i + 1 < bytes.size(); ++i) leadingZeros = leadingZeros && bytes[i] == 0;
  if (leadingZeros) return std::to_string(uint8_t(bytes.back()));
  std::string s;
  for (size_t i = 0; i < bytes.size(); ++i) s += (i ? "_" : "") + std::to_string(uint8_t(bytes[i]));
  return s;
}

// A clock field's YYYYMMDDhhmmss as a broken-down time; false when the field
// stands for no time.
bool clockOf(const Frame& f, const std::string& name, std::tm& t) {
  const long long v = f.number(name, -1);
  if (v < 0) return false;
  t = std::tm{};
  t.tm_year = int(v / 10000000000LL) - 1900;
  t.tm_mon = int(v / 100000000LL % 100) - 1;
  t.tm_mday = int(v / 1000000LL % 100);
  t.tm_hour = int(v / 10000LL % 100);
  t.tm_min = int(v / 100LL % 100);
  t.tm_sec = int(v % 100);
  return true;
}

// A bar page's cell colours: one number for every cell, or one byte each.
std::vector<uint8_t> barColours(const Frame& f, const std::string& name, size_t cells) {
  const Field* c = f.field(name);
  if (!c) return {};
  if (c->type == FieldType::Bytes) return std::vector<uint8_t>(c->data.begin(), c->data.end());
  return std::vector<uint8_t>(cells, uint8_t(c->number.value_or(1)));
}

// One image of a bitmap, and none larger than a sign: a sign shows the
// first image of a group only.
void keepFirstImage(Bitmap& b) {
  if (b.imageCount > 1 && b.bytes.size() % size_t(b.imageCount) == 0) {
    b.bytes.resize(b.bytes.size() / size_t(b.imageCount));
    b.imageCount = 1;
  }
}

bool drawable(const Bitmap& b) {
  return b.bytes.size() <= size_t(kMaxSignWidth) * size_t(kMaxSignHeight) * 3 / 8;
}

}  // namespace

SignBoard::SignBoard() : clock_([] { return std::chrono::system_clock::now(); }) {}

SignState* SignBoard::sign(const std::string& id, const std::string& kind) {
  auto it = signs_.find(id);
  if (it == signs_.end()) {
    if (kind != "controller" && signs_.size() >= kMaxSigns) return nullptr;
    it = signs_.emplace(id, SignState{}).first;
    it->second.id = id;
    it->second.kind = kind;
  }
  return &it->second;
}

SignState& SignBoard::addController(const std::string& address, int width, int height) {
  SignState& s = *sign(address, "controller");
  if (width > 0 && height > 0) {
    s.fixedWidth = std::min(width, kMaxSignWidth);
    s.fixedHeight = std::min(height, kMaxSignHeight);
  }
  return s;
}

SignState& SignBoard::addSign(const std::string& id, const std::string& kind, const std::string& name, int width,
                              int height) {
  // Made here rather than by sign(), whose limit is for signs that frames
  // make: a sign given at start always has its place.
  SignState& s = signs_[id];
  s.id = id;
  s.kind = kind;
  s.name = name;
  if (kind == "bar") {
    // A bar screen is as wide as its pages, 16 dots a character, until a
    // frame gives another page width.
    if (width > 0 && s.barWidth == 0) s.barWidth = std::min(width, kMaxSignWidth) / 16;
  } else if (width > 0 && height > 0) {
    s.fixedWidth = std::min(width, kMaxSignWidth);
    s.fixedHeight = std::min(height, kMaxSignHeight);
  }
  return s;
}

bool parseSignSize(const std::string& text, int& width, int& height) {
  const size_t x = text.find('x');
  if (x == std::string::npos) return false;
  auto dots = [](const std::string& digits, int max, int& out) {
    if (digits.empty() || digits.size() > 5 || digits.find_first_not_of("0123456789") != std::string::npos)
      return false;
    out = std::atoi(digits.c_str());
    return out >= 1 && out <= max;
  };
  int w = 0, h = 0;
  if (!dots(text.substr(0, x), kMaxSignWidth, w) || !dots(text.substr(x + 1), kMaxSignHeight, h)) return false;
  width = w;
  height = h;
  return true;
}

const SignState* SignBoard::find(const std::string& id) const {
  auto it = signs_.find(id);
  return it == signs_.end() ? nullptr : &it->second;
}

std::string SignBoard::signFor(const Frame& f, const std::string& address) {
  if (f.kind == "net") return address;
  const Field* a = f.field("address");
  if (!a) return "";
  if (f.kind == "rs485") return "bus " + busAddress(a->data);
  if (f.kind == "voice485") return "bus " + std::to_string(a->number.value_or(0));
  if (f.kind == "bar") return "bar " + std::to_string(a->number.value_or(0));
  return "";
}

std::string SignBoard::signOnLine(const Frame& f, const std::string& line) {
  const std::string id = signFor(f, line);
  return f.kind == "net" || id.empty() ? id : line + " " + id;
}

std::string SignBoard::idFor(const Frame& f, const std::string& address) const {
  return lines_.count(address) ? signOnLine(f, address) : signFor(f, address);
}

void SignBoard::arrived(SignState& s, const std::string& key) {
  for (const std::string& k : s.arrivals)
    if (k == key) return;
  s.arrivals.push_back(key);
  if (s.arrivals.size() > kMaxArrivals) s.arrivals.erase(s.arrivals.begin());
}

SignMaterial& SignBoard::material(SignState& s, long id) {
  auto it = s.materials.find(id);
  if (it != s.materials.end()) return it->second;
  s.materialOrder.push_back(id);
  if (s.materialOrder.size() > kMaxMaterials) {
    s.materials.erase(s.materialOrder.front());
    s.materialOrder.pop_front();
  }
  return s.materials[id];
}

void SignBoard::setClockTo(SignState& s, const std::tm& t) {
  s.clockSet = true;
  s.clockTo = t;
  s.clockAt = now();
}

std::string SignBoard::apply(const Frame& f, const std::string& address) {
  const std::string id = idFor(f, address);
  if (id.empty() || !f.checksOk) return "";
  const std::string kind = f.kind == "bar" ? "bar" : f.kind == "net" ? "controller" : "bus";
  SignState* target = sign(id, kind);
  if (!target) return "";
  SignState& s = *target;
  bool changed = true;
  if (kind == "bar") applyBar(s, f);
  else changed = applyToController(s, f);
  if (!changed) return "";
  ++s.changes;
  return id;
}

bool SignBoard::applyToController(SignState& s, const Frame& f) {
  const std::string& n = f.name;
  if (n == "PageSet") {
    // The descriptor is read with the decoder's own reader; a new set starts
    // playing by the time windows until a page is chosen again.
    PageSetLayout set = parsePageSet(f.payload.data(), f.payload.size());
    if (set.pages.empty()) return false;
    s.pageSet = std::move(set);
    s.pageNo = 0;
  } else if (n == "PlayShowPage") {
    s.pageNo = int(f.number("page"));
  } else if (n == "StartPlay" || n == "StopPlay") {
    s.playing = n == "StartPlay";
  } else if (n == "SetBright") {
    s.brightness1 = int(f.number("value1"));
    s.brightness2 = int(f.number("value2"));
  } else if (n == "Relay") {
    // On (FC), off (FD) and pulses (B0 to BF) switch a relay; other codes
    // leave it as it is.
    for (int k = 0; k < 8; ++k) {
      const Field* r = f.field("relay" + std::to_string(k + 1));
      const long long code = r && r->number ? *r->number : 0xFF;
      if (code == 0xFC || code == 0xFD || (code >= 0xB0 && code <= 0xBF)) s.relays[k] = r->data;
    }
  } else if (n == "TimeCheck" || n == "LoginGreeting") {
    std::tm t;
    if (!clockOf(f, "dateTime", t)) return false;
    setClockTo(s, t);
  } else if (n == "PlayVoice") {
    SignAnnouncement a;
    a.seq = ++announcementSeq_;
    a.text = f.bytes("text");
    a.spoken = f.bytes("spokenText");
    s.announcements.push_back(a);
    while (s.announcements.size() > kMaxAnnouncements) s.announcements.pop_front();
  } else if (n == "CollectedData") {
    const long long records = f.number("records", 1);
    for (long long k = 1; k <= records; ++k) {
      const std::string p = records > 1 ? "record" + std::to_string(k) + "." : "";
      SignText t;
      t.bytes = f.bytes(p + "text");
      t.attrHigh = int(f.number(p + "attrHigh"));
      t.attrLow = int(f.number(p + "attrLow"));
      t.textStyle = int(f.number(p + "styleHigh"));
      const int index = int(f.number(p + "dataIndex"));
      s.collected[index] = t;
      arrived(s, "c" + std::to_string(index));
    }
  } else if (n == "LineUp") {
    SignLineUp l;
    l.text.bytes = f.bytes("text");
    l.kind = f.bytes("lineKind");
    l.unitAddress = int(f.number("unitAddress"));
    const int slot = int(f.number("slotNo"));
    s.lineUps[slot] = l;
    arrived(s, "l" + std::to_string(slot));
  } else if (n == "CoordinateText") {
    SignPlaced p;
    p.x = int(f.number("x"));
    p.y = int(f.number("y"));
    p.text.bytes = f.bytes("text");
    p.text.attrHigh = int(f.number("attrHigh"));
    p.text.attrLow = int(f.number("attrLow"));
    p.text.textStyle = int(f.number("textStyle"));
    for (auto it = s.coordinateTexts.begin(); it != s.coordinateTexts.end(); ++it) {
      if (it->x == p.x && it->y == p.y) {
        s.coordinateTexts.erase(it);
        break;
      }
    }
    s.coordinateTexts.push_back(p);
    if (s.coordinateTexts.size() > kMaxCoordinateTexts) s.coordinateTexts.erase(s.coordinateTexts.begin());
  } else if (n == "PlayImageGroup") {
    s.imageGroupPlaying = int(f.number("b"));
  } else if (n == "Multimedia") {
    if (f.number("packIndex", -1) == 0 && f.command == 0x78) {
      s.mediaX = int(f.number("horizontal8")) * 8;
      s.mediaY = int(f.number("vertical"));
    } else if (f.number("packIndex", -1) == 0) {
      s.mediaX = s.mediaY = 0;
    }
    std::optional<Bitmap> b = s.collector.add(f);
    if (!b || !drawable(*b)) return false;
    if (b->width == 0 && bitmapW_ > 0) {
      b->width = bitmapW_;
      b->height = bitmapH_;
    }
    s.multimedia = SignPicture{s.mediaX, s.mediaY, std::move(*b)};
  } else if (f.command == 0x31 || n == "InternalText") {
    applyBlocks(s, f);
  } else {
    return false;
  }
  return true;
}

// Template blocks: texts, date-time blocks, the collected-data and line-up
// fields of a page set, and image-group chunks. Blocks of one frame that
// carry the same material number are pieces of one text.
void SignBoard::applyBlocks(SignState& s, const Frame& f) {
  const long long blocks = f.number("blocks", 1);
  std::map<long, std::string> texts;
  for (long long k = 1; k <= blocks; ++k) {
    const std::string p = blocks > 1 ? "block" + std::to_string(k) + "." : "";
    const std::string content = f.bytes(p + "content");
    const long id = long(f.number(p + "materialId", -1));
    if (content == "imageGroup") continue;  // whole chunks go to the collector below
    SignMaterial& m = material(s, id);
    m.displayMode = int(f.number(p + "displayMode"));
    if (content == "text") {
      m.type = '7';
      m.areaWidth = int(f.number(p + "areaWidth8")) * 8;
      m.areaHeight = int(f.number(p + "areaHeight"));
      m.text.attrHigh = int(f.number(p + "attrHigh"));
      m.text.attrLow = int(f.number(p + "attrLow"));
      m.text.textStyle = int(f.number(p + "textStyle"));
      texts[id] += f.bytes(p + "text");
      m.text.bytes = texts[id];
      arrived(s, "m" + std::to_string(id));
    } else if (content == "dateTime") {
      m.type = '1';
      m.text.attrHigh = int(f.number(p + "dtField5High"));
      m.text.attrLow = int(f.number(p + "dtField5Low"));
      arrived(s, "m" + std::to_string(id));
    } else if (content == "collectedData") {
      m.type = '6';
      m.index = int(f.number(p + "dataIndex"));
      m.text.attrHigh = int(f.number(p + "attrHigh"));
      m.text.attrLow = int(f.number(p + "attrLow"));
      m.text.textStyle = int(f.number(p + "textStyle"));
    } else if (content == "lineUp") {
      m.type = '5';
      m.index = int(f.number(p + "lineUpIndex"));
      m.text.attrHigh = int(f.number(p + "attrHigh"));
      m.text.attrLow = int(f.number(p + "attrLow"));
    }
  }
  std::optional<Bitmap> b = s.collector.add(f);
  if (b) keepFirstImage(*b);
  if (b && drawable(*b)) {
    const long id = std::strtol(b->materialId.c_str(), nullptr, 10);
    SignMaterial& m = material(s, id);
    m.type = '8';
    m.displayMode = b->colourMode;
    m.bitmap = std::move(*b);
    arrived(s, "m" + std::to_string(id));
  }
}

void SignBoard::applyBar(SignState& s, const Frame& f) {
  if (f.name == "BarParams") {
    s.barParams.clear();
    for (const Field& x : f.fields)
      if (x.name != "address") s.barParams.push_back(x);
    return;
  }
  if (f.name != "BarContent") return;
  s.barWidth = int(f.number("pageWidth"));
  s.barPages.clear();
  const long long pages = f.number("pages");
  for (long long k = 1; k <= pages; ++k) {
    const std::string p = "page" + std::to_string(k) + ".";
    if (!f.field(p + "text")) break;
    SignBarPage page;
    const std::string prefix = f.bytes(p + "prefix");
    page.text = prefix + f.bytes(p + "text");
    page.colours.assign(prefix.size(), 2);
    std::vector<uint8_t> c = barColours(f, p + "colour", page.text.size() - prefix.size());
    page.colours.insert(page.colours.end(), c.begin(), c.end());
    s.barPages.push_back(page);
  }
}

}  // namespace vexasim
