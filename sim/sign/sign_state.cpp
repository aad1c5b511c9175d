// What each received frame does to the sign it is meant for, read from the
// frame's decoded fields.
#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "Sign.h"

namespace vexasim {

namespace {

// A decoded number field; def when absent or not a number.
long number(const Frame& f, const std::string& name, long def = 0) {
  const std::string v = f.get(name);
  if (v.empty()) return def;
  char* end = nullptr;
  long n = std::strtol(v.c_str(), &end, 10);
  return *end ? def : n;
}

// The bytes of a decoded text field ("..." with \" \\ and \xNN escapes).
std::string unquote(const std::string& v) {
  std::string out;
  if (v.size() < 2 || v.front() != '"' || v.back() != '"') return v;
  for (size_t i = 1; i + 1 < v.size(); ++i) {
    if (v[i] != '\\' || i + 2 >= v.size()) {
      out += v[i];
    } else if (v[i + 1] == 'x' && i + 4 < v.size()) {
      out += char(std::strtol(v.substr(i + 2, 2).c_str(), nullptr, 16));
      i += 3;
    } else {
      out += v[i + 1];
      ++i;
    }
  }
  return out;
}

std::string text(const Frame& f, const std::string& name) { return unquote(f.get(name)); }

// "00 00 00 00 00 00 00 05" -> "5"; eight numbers joined by "_" otherwise.
std::string busAddress(const std::string& hex) {
  std::vector<int> bytes;
  for (size_t i = 0; i < hex.size(); i += 3) bytes.push_back(int(std::strtol(hex.substr(i, 2).c_str(), nullptr, 16)));
  bool leadingZeros = bytes.size() == 8;
  for (size_t i = 0; i + 1 < bytes.size(); ++i) leadingZeros = leadingZeros && bytes[i] == 0;
  if (leadingZeros) return std::to_string(bytes.back());
  std::string s;
  for (size_t i = 0; i < bytes.size(); ++i) s += (i ? "_" : "") + std::to_string(bytes[i]);
  return s;
}

int twoDigits(const std::string& s, size_t at) { return (s[at] - '0') * 10 + (s[at + 1] - '0'); }

// "YYYYMMDD00hhmmss" (network clock record, greeting) or
// "YYYY-MM-DD hh:mm:ss" (bus clock record) to a broken-down time.
bool parseClock(const std::string& s, std::tm& t) {
  t = std::tm{};
  int y, mo, d, h, mi, se;
  if (s.size() == 16) {
    for (char c : s)
      if (c < '0' || c > '9') return false;
    y = twoDigits(s, 0) * 100 + twoDigits(s, 2);
    mo = twoDigits(s, 4);
    d = twoDigits(s, 6);
    h = twoDigits(s, 10);
    mi = twoDigits(s, 12);
    se = twoDigits(s, 14);
  } else if (std::sscanf(s.c_str(), "%d-%d-%d %d:%d:%d", &y, &mo, &d, &h, &mi, &se) != 6) {
    return false;
  }
  t.tm_year = y - 1900;
  t.tm_mon = mo - 1;
  t.tm_mday = d;
  t.tm_hour = h;
  t.tm_min = mi;
  t.tm_sec = se;
  return true;
}

// The attribute list of a bar page: one value for all cells, or hex bytes.
std::vector<uint8_t> barColours(const std::string& v, size_t cells) {
  std::vector<uint8_t> out;
  if (v.find(' ') == std::string::npos) {
    out.assign(cells, uint8_t(std::strtol(v.c_str(), nullptr, 10)));
  } else {
    for (size_t i = 0; i < v.size(); i += 3) out.push_back(uint8_t(std::strtol(v.substr(i, 2).c_str(), nullptr, 16)));
  }
  return out;
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
  if (f.kind == "rs485" && !f.get("address").empty()) return "bus " + busAddress(f.get("address"));
  if (f.kind == "voice485" && !f.get("address").empty()) return "bus " + f.get("address");
  if (f.kind == "bar" && !f.get("address").empty()) return "bar " + f.get("address");
  return "";
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
  const std::string id = signFor(f, address);
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
    s.pageNo = int(number(f, "page"));
  } else if (n == "StartPlay" || n == "StopPlay") {
    s.playing = n == "StartPlay";
  } else if (n == "SetBright") {
    s.brightness1 = int(number(f, "value1"));
    s.brightness2 = int(number(f, "value2"));
  } else if (n == "Relay") {
    for (int k = 0; k < 8; ++k) {
      const std::string v = f.get("relay" + std::to_string(k + 1));
      if (v == "on" || v == "off" || v.rfind("pulse ", 0) == 0) s.relays[k] = v;
    }
  } else if (n == "TimeCheck" || n == "LoginGreeting") {
    std::tm t;
    const std::string v = f.get("dateTime");
    if (!parseClock(v.size() == 18 ? unquote(v) : v, t)) return false;
    setClockTo(s, t);
  } else if (n == "PlayVoice") {
    SignAnnouncement a;
    a.seq = ++announcementSeq_;
    a.text = text(f, "text");
    a.spoken = text(f, "spokenText");
    s.announcements.push_back(a);
    while (s.announcements.size() > kMaxAnnouncements) s.announcements.pop_front();
  } else if (n == "CollectedData") {
    const long records = number(f, "records", 1);
    for (long k = 1; k <= records; ++k) {
      const std::string p = records > 1 ? "record" + std::to_string(k) + "." : "";
      SignText t;
      t.bytes = text(f, p + "text");
      t.attrHigh = int(number(f, p + "attrHigh"));
      t.attrLow = int(number(f, p + "attrLow"));
      t.textStyle = int(number(f, p + "styleHigh"));
      const int index = int(number(f, p + "dataIndex"));
      s.collected[index] = t;
      arrived(s, "c" + std::to_string(index));
    }
  } else if (n == "LineUp") {
    SignLineUp l;
    l.text.bytes = text(f, "text");
    l.kind = f.get("lineKind");
    l.unitAddress = int(number(f, "unitAddress"));
    const int slot = int(number(f, "slotNo"));
    s.lineUps[slot] = l;
    arrived(s, "l" + std::to_string(slot));
  } else if (n == "CoordinateText") {
    SignPlaced p;
    p.x = int(number(f, "x"));
    p.y = int(number(f, "y"));
    p.text.bytes = text(f, "text");
    p.text.attrHigh = int(number(f, "attrHigh"));
    p.text.attrLow = int(number(f, "attrLow"));
    p.text.textStyle = int(number(f, "textStyle"));
    for (auto it = s.coordinateTexts.begin(); it != s.coordinateTexts.end(); ++it) {
      if (it->x == p.x && it->y == p.y) {
        s.coordinateTexts.erase(it);
        break;
      }
    }
    s.coordinateTexts.push_back(p);
    if (s.coordinateTexts.size() > kMaxCoordinateTexts) s.coordinateTexts.erase(s.coordinateTexts.begin());
  } else if (n == "PlayImageGroup") {
    s.imageGroupPlaying = int(number(f, "b"));
  } else if (n == "Multimedia") {
    if (number(f, "packIndex", -1) == 0 && f.command == 0x78) {
      s.mediaX = int(number(f, "horizontal8")) * 8;
      s.mediaY = int(number(f, "vertical"));
    } else if (number(f, "packIndex", -1) == 0) {
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
  const long blocks = number(f, "blocks", 1);
  std::map<long, std::string> texts;
  for (long k = 1; k <= blocks; ++k) {
    const std::string p = blocks > 1 ? "block" + std::to_string(k) + "." : "";
    const std::string content = f.get(p + "content");
    const long id = number(f, p + "materialId", -1);
    if (content == "imageGroup") continue;  // whole chunks go to the collector below
    SignMaterial& m = material(s, id);
    m.displayMode = int(number(f, p + "displayMode"));
    if (content == "text") {
      m.type = '7';
      m.areaWidth = int(number(f, p + "areaWidth8")) * 8;
      m.areaHeight = int(number(f, p + "areaHeight"));
      m.text.attrHigh = int(number(f, p + "attrHigh"));
      m.text.attrLow = int(number(f, p + "attrLow"));
      m.text.textStyle = int(number(f, p + "textStyle"));
      texts[id] += text(f, p + "text");
      m.text.bytes = texts[id];
      arrived(s, "m" + std::to_string(id));
    } else if (content == "dateTime") {
      m.type = '1';
      m.text.attrHigh = int(number(f, p + "dtField5High"));
      m.text.attrLow = int(number(f, p + "dtField5Low"));
      arrived(s, "m" + std::to_string(id));
    } else if (content == "collectedData") {
      m.type = '6';
      m.index = int(number(f, p + "dataIndex"));
      m.text.attrHigh = int(number(f, p + "attrHigh"));
      m.text.attrLow = int(number(f, p + "attrLow"));
      m.text.textStyle = int(number(f, p + "textStyle"));
    } else if (content == "lineUp") {
      m.type = '5';
      m.index = int(number(f, p + "lineUpIndex"));
      m.text.attrHigh = int(number(f, p + "attrHigh"));
      m.text.attrLow = int(number(f, p + "attrLow"));
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
  s.barWidth = int(number(f, "pageWidth"));
  s.barPages.clear();
  const long pages = number(f, "pages");
  for (long k = 1; k <= pages; ++k) {
    const std::string p = "page" + std::to_string(k) + ".";
    if (f.get(p + "text").empty()) break;
    SignBarPage page;
    const std::string prefix = text(f, p + "prefix");
    page.text = prefix + text(f, p + "text");
    page.colours.assign(prefix.size(), 2);
    std::vector<uint8_t> c = barColours(f.get(p + "colour"), page.text.size() - prefix.size());
    page.colours.insert(page.colours.end(), c.begin(), c.end());
    s.barPages.push_back(page);
  }
}

}  // namespace vexasim
