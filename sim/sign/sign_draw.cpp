// Laying a sign out (which area shows what, at the emulator's clock) and
// drawing it: the lit dots, then the picture of round lamps.
//
// Where the protocol leaves the look open the drawing is plain: every text
// is one line in the font's 16-dot glyphs from the area's top-left corner,
// cut at the area's edge, without effects or scrolling; an area that holds
// several materials shows the first one that has something to show.
#include <algorithm>
#include <cctype>
#include <cmath>
#include <cstdio>
#include <cstdlib>

#include "Sign.h"

namespace vexasim {

namespace {

const uint8_t kColours[4][3] = {{255, 0, 0}, {255, 0, 0}, {0, 255, 0}, {255, 255, 0}};
const uint8_t kBackground[3] = {12, 12, 12};
const uint8_t kUnlit[3] = {44, 44, 44};

struct Rect {
  int x0, y0, x1, y1;
  bool overlaps(const Rect& o) const { return x0 < o.x1 && o.x0 < x1 && y0 < o.y1 && o.y0 < y1; }
};

Rect rectOf(const SignArea& a) { return Rect{a.x, a.y, a.x + a.width, a.y + a.height}; }

int textWidth(const std::string& bytes) {
  int w = 0;
  for (const SignChar& c : decodeSignText(bytes)) w += 8 * c.bytes;
  return w;
}

// "hh:mm" of the sign's clock inside a daily window "HH:MM"-"HH:MM" (one
// that ends before it starts runs over midnight). Windows in another form
// never match.
bool inWindow(const std::string& hm, const std::string& start, const std::string& end) {
  auto form = [](const std::string& s) {
    return s.size() == 5 && s[2] == ':' && std::isdigit(static_cast<unsigned char>(s[0])) &&
           std::isdigit(static_cast<unsigned char>(s[1])) && std::isdigit(static_cast<unsigned char>(s[3])) &&
           std::isdigit(static_cast<unsigned char>(s[4]));
  };
  if (!form(start) || !form(end)) return false;
  return start <= end ? (start <= hm && hm <= end) : (hm >= start || hm <= end);
}

std::string typeName(char type) {
  switch (type) {
    case '1': return "date-time";
    case '5': return "line-up";
    case '6': return "collected data";
    case '7': return "text";
    case '8': return "image group";
    default: return "unknown";
  }
}

// Whether the first image of b fills its own size (when its frames carry
// one) or else w x h dots, in its colour mode or, when that is unknown, in
// one, two or three planes.
bool pictureFits(const Bitmap& b, int w, int h) {
  if (b.width > 0 && b.height > 0) {
    w = b.width;
    h = b.height;
  }
  if (w <= 0 || h <= 0) return false;
  const size_t images = b.imageCount > 0 && b.bytes.size() % size_t(b.imageCount) == 0 ? size_t(b.imageCount) : 1;
  for (int mode = 0; mode <= 2; ++mode)
    if ((b.colourMode < 0 || b.colourMode == mode) &&
        size_t(w) * size_t(h) * size_t(mode + 1) / 8 == b.bytes.size() / images)
      return true;
  return false;
}

// The bitmap's own size when its frames carry one, else the area's.
void fillPicture(SignArea& a, const Bitmap& b) {
  a.bitmap = &b;
  if (b.width > 0 && b.height > 0) {
    a.width = b.width;
    a.height = b.height;
  }
}

}  // namespace

std::string formatSignTime(const std::tm& t) {
  char b[96];
  std::snprintf(b, sizeof b, "%04d-%02d-%02d %02d:%02d:%02d", t.tm_year + 1900, t.tm_mon + 1, t.tm_mday,
                t.tm_hour, t.tm_min, t.tm_sec);
  return b;
}

int signColour(int attrHigh) { return (attrHigh & 3) == 0 ? 1 : attrHigh & 3; }

std::string SignBoard::signTime(const SignState& s) const {
  const auto nowPoint = now();
  std::tm t{};
  if (!s.clockSet) {
    const std::time_t secs = std::chrono::system_clock::to_time_t(nowPoint);
    localtime_r(&secs, &t);
    return formatSignTime(t);
  }
  // The clock runs on from what it was set to, counted in whole seconds.
  std::tm set = s.clockTo;
  const long long since =
      std::chrono::duration_cast<std::chrono::seconds>(nowPoint - s.clockAt).count();
  const std::time_t secs = timegm(&set) + std::time_t(since);
  gmtime_r(&secs, &t);
  return formatSignTime(t);
}

SignLayout SignBoard::layout(const SignState& s) const {
  SignLayout l;
  l.time = signTime(s);
  if (s.kind == "bar") {
    SignArea a;
    a.width = std::min(kMaxSignWidth, std::max(1, 2 * s.barWidth) * 8);
    a.height = 16;
    a.what = "bar page";
    if (!s.barPages.empty()) {
      a.label = "page 1 of " + std::to_string(s.barPages.size());
      a.text = s.barPages[0].text;
    } else {
      a.note = "nothing received yet";
    }
    l.width = a.width;
    l.height = a.height;
    l.areas.push_back(a);
    return l;
  }

  // Texts at their own place, and the multimedia picture.
  for (const SignPlaced& p : s.coordinateTexts) {
    SignArea a;
    a.x = p.x;
    a.y = p.y;
    a.width = textWidth(p.text.bytes);
    a.height = 16;
    a.what = "coordinate text";
    a.label = "at " + std::to_string(p.x) + "," + std::to_string(p.y);
    a.text = p.text.bytes;
    a.colour = signColour(p.text.attrHigh);
    l.placed.push_back(a);
  }
  if (s.multimedia) {
    SignArea a;
    a.x = s.multimedia->x;
    a.y = s.multimedia->y;
    a.width = bitmapW_ > 0 ? bitmapW_ : kDefaultAreaWidth;
    a.height = bitmapH_ > 0 ? bitmapH_ : kDefaultAreaHeight;
    a.what = "multimedia";
    a.label = "at " + std::to_string(a.x) + "," + std::to_string(a.y);
    fillPicture(a, s.multimedia->bitmap);
    if (!pictureFits(s.multimedia->bitmap, a.width, a.height))
      a.note = "picture size unknown (vexa-sim --bitmap-size gives it)";
    l.placed.push_back(a);
  }

  // What a material shows in area a; false when nothing has arrived for it.
  auto show = [&](SignArea& a, char type, long id) {
    auto m = s.materials.find(id);
    const SignMaterial* mat = m == s.materials.end() ? nullptr : &m->second;
    a.what = typeName(type);
    a.label = "material " + std::to_string(id);
    if (mat) a.colour = signColour(mat->text.attrHigh);
    switch (type) {
      case '7':
        if (!mat || mat->type != '7') return false;
        a.text = mat->text.bytes;
        return true;
      case '1':
        a.text = l.time;
        return true;
      case '6': {
        if (!mat || mat->index < 0) return false;
        a.label = "data field " + std::to_string(mat->index);
        auto d = s.collected.find(mat->index);
        if (d == s.collected.end()) return false;
        a.text = d->second.bytes;
        a.colour = signColour(d->second.attrHigh);
        return true;
      }
      case '5': {
        if (!mat || mat->index < 0) return false;
        a.label = "slot " + std::to_string(mat->index);
        auto u = s.lineUps.find(mat->index);
        if (u == s.lineUps.end()) return false;
        a.text = u->second.text.bytes;
        return true;
      }
      case '8':
        if (!mat || !mat->bitmap) return false;
        a.bitmap = &*mat->bitmap;
        return true;
      default:
        return false;
    }
  };

  if (s.pageSet && !s.pageSet->pages.empty()) {
    const std::vector<PageSetPage>& pages = s.pageSet->pages;
    const std::string hm = l.time.substr(11, 5);
    if (s.pageNo >= 1 && size_t(s.pageNo) <= pages.size()) {
      l.pageIndex = s.pageNo - 1;
      l.pageChosenBy = "command";
    } else {
      for (size_t i = 0; i < pages.size() && l.pageIndex < 0; ++i) {
        if (inWindow(hm, pages[i].start, pages[i].end)) {
          l.pageIndex = int(i);
          l.pageChosenBy = "time window";
        }
      }
      if (l.pageIndex < 0) {
        l.pageIndex = 0;
        l.pageChosenBy = "first page";
      }
    }
    // Consecutive entries with the same rectangle make one area.
    const std::vector<PageSetEntry>& entries = pages[size_t(l.pageIndex)].entries;
    for (size_t i = 0; i < entries.size();) {
      const PageSetEntry& e = entries[i];
      size_t j = i;
      while (j < entries.size() && entries[j].x8Value == e.x8Value && entries[j].yValue == e.yValue &&
             entries[j].w8Value == e.w8Value && entries[j].hValue == e.hValue)
        ++j;
      SignArea base;
      base.x = e.x8Value * 8;
      base.y = e.yValue;
      base.width = e.w8Value * 8;
      base.height = e.hValue;
      SignArea a = base;
      bool shown = false;
      for (size_t k = i; k < j && !shown; ++k) {
        SignArea candidate = base;
        shown = show(candidate, entries[k].type, entries[k].idValue);
        if (shown || k == i) a = candidate;
      }
      if (!shown) a.note = "nothing received yet";
      else if (a.bitmap && !pictureFits(*a.bitmap, a.width, a.height)) a.note = "the picture does not fill the area";
      l.areas.push_back(a);
      i = j;
    }
  } else {
    // No page set: every content gets an area of its own, stacked from the
    // top in the order they first arrived, each in the first free band of
    // 16 rows that nothing placed on the sign already takes.
    std::vector<Rect> taken;
    for (const SignArea& p : l.placed) taken.push_back(rectOf(p));
    for (const std::string& key : s.arrivals) {
      SignArea a;
      a.width = kDefaultAreaWidth;
      a.height = kDefaultAreaHeight;
      const int n = std::atoi(key.c_str() + 1);
      if (key[0] == 'm') {
        auto m = s.materials.find(n);
        if (m == s.materials.end()) continue;
        const SignMaterial& mat = m->second;
        show(a, mat.type, n);
        if (mat.type == '7' && mat.areaWidth > 0 && mat.areaHeight > 0) {
          a.width = mat.areaWidth;
          a.height = mat.areaHeight;
        }
        if (mat.type == '8' && mat.bitmap) {
          if (bitmapW_ > 0) {
            a.width = bitmapW_;
            a.height = bitmapH_;
          }
          fillPicture(a, *mat.bitmap);
          if (!pictureFits(*mat.bitmap, a.width, a.height))
            a.note = "picture size unknown (vexa-sim --bitmap-size gives it)";
        }
      } else if (key[0] == 'c') {
        auto d = s.collected.find(n);
        if (d == s.collected.end()) continue;
        a.what = "collected data";
        a.label = "data field " + std::to_string(n);
        a.text = d->second.bytes;
        a.colour = signColour(d->second.attrHigh);
      } else if (key[0] == 'l') {
        auto u = s.lineUps.find(n);
        if (u == s.lineUps.end()) continue;
        a.what = "line-up";
        a.label = "slot " + std::to_string(n);
        a.text = u->second.text.bytes;
      }
      a.width = std::min(a.width, kMaxSignWidth);
      a.height = std::min(a.height, kMaxSignHeight);
      for (a.y = 0; a.y < kMaxSignHeight; a.y += 16) {
        Rect r = rectOf(a);
        if (std::none_of(taken.begin(), taken.end(), [&](const Rect& t) { return t.overlaps(r); })) break;
      }
      taken.push_back(rectOf(a));
      l.areas.push_back(a);
    }
  }

  if (s.fixedWidth > 0 && s.fixedHeight > 0) {
    // A sign of a given size: what lies beyond its edge is cut off there.
    l.width = s.fixedWidth;
    l.height = s.fixedHeight;
    for (std::vector<SignArea>* list : {&l.areas, &l.placed}) {
      for (SignArea& a : *list) {
        if (a.x < l.width && a.y < l.height && a.x + a.width > 0 && a.y + a.height > 0) continue;
        const std::string outside = "outside the sign's " + std::to_string(l.width) + " x " +
                                    std::to_string(l.height) + " dots";
        a.note = a.note.empty() ? outside : a.note + "; " + outside;
      }
    }
    return l;
  }
  int w = 0, h = 0;
  for (const std::vector<SignArea>* list : {&l.areas, &l.placed}) {
    for (const SignArea& a : *list) {
      w = std::max(w, a.x + a.width);
      h = std::max(h, a.y + a.height);
    }
  }
  if (w <= 0 || h <= 0) {
    w = std::max(w, kDefaultAreaWidth);
    h = std::max(h, kDefaultAreaHeight);
  }
  l.width = std::min(w, kMaxSignWidth);
  l.height = std::min(h, kMaxSignHeight);
  return l;
}

RgbImage SignBoard::draw(const SignState& s, const SignLayout& l, const GlyphFont& font) const {
  RgbImage m(l.width, l.height);
  if (!s.playing) return m;  // stopped: every lamp dark
  if (s.kind == "bar") {
    if (s.barPages.empty()) return m;
    // Each character in the colour of its first cell.
    const SignBarPage& page = s.barPages[0];
    int x = 0;
    size_t cell = 0;
    for (const SignChar& c : decodeSignText(page.text)) {
      const uint8_t code = cell < page.colours.size() ? page.colours[cell] : 1;
      const uint8_t* colour = kColours[code <= 3 ? code : 1];
      std::string one = page.text.substr(cell, size_t(c.bytes));
      drawText(m, font, x, 0, one, colour, 1, x, 0, l.width, 16);
      x += 8 * c.bytes;
      cell += size_t(c.bytes);
    }
    return m;
  }
  auto paint = [&](const SignArea& a) {
    const int x1 = a.x + a.width, y1 = a.y + a.height;
    if (a.bitmap) {
      if (!pictureFits(*a.bitmap, a.width, a.height)) return;  // the bytes make no picture of this size
      std::string note;
      RgbImage pic = drawBitmap(*a.bitmap, 0, a.width, a.height, &note);
      if (!note.empty()) return;
      for (int y = 0; y < pic.height; ++y) {
        for (int x = 0; x < pic.width; ++x) {
          const uint8_t* p = pic.at(x, y);
          const uint8_t c[3] = {uint8_t(p[0] >= 128 ? 255 : 0), uint8_t(p[1] >= 128 ? 255 : 0),
                                uint8_t(p[2] >= 128 ? 255 : 0)};
          if ((c[0] || c[1] || c[2]) && a.x + x < x1 && a.y + y < y1) m.set(a.x + x, a.y + y, c);
        }
      }
      return;
    }
    if (!a.text.empty())
      drawText(m, font, a.x, a.y, a.text, kColours[a.colour & 3], 1, a.x, a.y, x1, y1);
  };
  for (const SignArea& a : l.areas) paint(a);
  for (const SignArea& a : l.placed) paint(a);
  return m;
}

int ledPitch(int w, int h) {
  if (w < 1) w = 1;
  if (h < 1) h = 1;
  return std::max(1, std::min({6, 1200 / w, 600 / h}));
}

RgbImage drawLeds(const RgbImage& m, int brightness, int pitch) {
  if (pitch < 1) pitch = 1;
  RgbImage img(m.width * pitch, m.height * pitch, kBackground[0], kBackground[1], kBackground[2]);
  // Lit lamps shine between their unlit look and full colour by the level.
  const double level = brightness < 0 || brightness > 15 ? 1.0 : (brightness + 1) / 16.0;
  // Which pixels of a cell the round lamp covers: a disc one pixel narrower
  // than the cell, leaving a dark line between neighbours.
  std::vector<char> lamp(size_t(pitch) * size_t(pitch), 1);
  if (pitch >= 3) {
    const double c = (pitch - 2) / 2.0, r = (pitch - 1) / 2.0;
    for (int j = 0; j < pitch; ++j)
      for (int i = 0; i < pitch; ++i) lamp[size_t(j * pitch + i)] = (i - c) * (i - c) + (j - c) * (j - c) <= r * r;
  }
  for (int y = 0; y < m.height; ++y) {
    for (int x = 0; x < m.width; ++x) {
      uint8_t colour[3] = {kUnlit[0], kUnlit[1], kUnlit[2]};
      if (m.lit(x, y)) {
        const uint8_t* p = m.at(x, y);
        for (int k = 0; k < 3; ++k) colour[k] = uint8_t(std::lround(kUnlit[k] + (p[k] - kUnlit[k]) * level));
      }
      for (int j = 0; j < pitch; ++j)
        for (int i = 0; i < pitch; ++i)
          if (lamp[size_t(j * pitch + i)]) img.set(x * pitch + i, y * pitch + j, colour);
    }
  }
  return img;
}

}  // namespace vexasim
