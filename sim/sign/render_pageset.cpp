// The picture of a page set: per page a heading with its daily window, the
// sign drawn to scale with every area as a labelled rectangle, and a legend
// that lists each area's place, size and materials in full.
//
// The picture stays small whatever arrives (it is drawn while the sender
// waits for the reply): the sign is scaled to at most about 1024 pixels,
// and only the first pages, legend lines and characters of long texts are
// drawn, with a note of what was left out.
#include <algorithm>
#include <string>
#include <vector>

#include "Font.h"
#include "PageSet.h"
#include "Render.h"

namespace vexasim {

namespace {

const uint8_t kPaper[3] = {246, 246, 242};
const uint8_t kInk[3] = {30, 30, 30};
const uint8_t kGrey[3] = {150, 150, 150};
const uint8_t kSign[3] = {16, 16, 16};
const uint8_t kFault[3] = {200, 0, 0};
const uint8_t kPalette[][3] = {{230, 60, 50},  {60, 190, 80},  {70, 130, 240}, {240, 190, 40},
                               {200, 80, 220}, {40, 200, 210}, {250, 130, 60}, {170, 170, 170}};
constexpr size_t kPaletteSize = sizeof kPalette / sizeof kPalette[0];

constexpr int kMargin = 16;
constexpr int kFont = 1;               // pixels per glyph dot for headings and legends
constexpr int kLine = 16 * kFont + 4;  // line height of that text
constexpr double kMaxSignWidth = 1024; // the sign is scaled to at most this width...
constexpr double kMaxSignHeight = 512; // ...and this height per page...
constexpr double kMaxAllSigns = 4096;  // ...and all pages' signs to this height together
constexpr size_t kMaxPages = 40;
constexpr size_t kMaxLegendLines = 40;
constexpr size_t kMaxTextChars = 40;

// Consecutive entries with the same rectangle belong to one area.
struct Area {
  int x = 0, y = 0, w = 0, h = 0;  // pixels
  std::vector<const PageSetEntry*> entries;
};

std::vector<Area> areasOf(const PageSetPage& page) {
  std::vector<Area> areas;
  for (const PageSetEntry& e : page.entries) {
    Area a;
    a.x = e.x8Value * 8;
    a.y = e.yValue;
    a.w = e.w8Value * 8;
    a.h = e.hValue;
    if (areas.empty() || areas.back().x != a.x || areas.back().y != a.y || areas.back().w != a.w ||
        areas.back().h != a.h)
      areas.push_back(a);
    areas.back().entries.push_back(&e);
  }
  return areas;
}

// A text cut to a drawable length, with control bytes shown as '?'.
std::string shown(const std::string& s, size_t limit = kMaxTextChars) {
  std::string out;
  for (size_t i = 0; i < s.size() && i < limit; ++i) {
    unsigned char c = static_cast<unsigned char>(s[i]);
    out += (c >= 0x20 && c < 0x7F) ? char(c) : '?';
  }
  if (s.size() > limit) out += "...";
  return out;
}

std::string legendLine(size_t k, const Area& a) {
  std::string s = "A" + std::to_string(k + 1) + "  at " + std::to_string(a.x) + "," + std::to_string(a.y) +
                  "  size " + std::to_string(a.w) + " x " + std::to_string(a.h) + " px :";
  for (size_t i = 0; i < a.entries.size() && i < 4; ++i) {
    if (i) s += ";";
    s += " " + pageSetTypeName(a.entries[i]->type) + " #" + shown(a.entries[i]->id);
  }
  if (a.entries.size() > 4) s += "; and " + std::to_string(a.entries.size() - 4) + " more";
  return s;
}

// What one page contributes to the picture.
struct PagePlan {
  std::string heading;
  std::vector<Area> areas;
  std::vector<std::string> legend;
};

}  // namespace

bool renderPageSet(const uint8_t* payload, size_t n, const GlyphFont& font, RgbImage* out, std::string* error) {
  PageSetLayout set = parsePageSet(payload, n);
  if (set.pages.empty()) {
    if (error) *error = set.error.empty() ? "no page" : set.error;
    return false;
  }

  // The sign's extent over every page drawn, so that pages compare at a glance.
  std::vector<PagePlan> plans;
  int signW = 8, signH = 8;
  for (size_t p = 0; p < set.pages.size() && p < kMaxPages; ++p) {
    PagePlan plan;
    plan.heading = "page " + std::to_string(p + 1) + "   " + shown(set.pages[p].start) + " - " +
                   shown(set.pages[p].end);
    plan.areas = areasOf(set.pages[p]);
    for (size_t k = 0; k < plan.areas.size(); ++k) {
      const Area& a = plan.areas[k];
      signW = std::max(signW, a.x + a.w);
      signH = std::max(signH, a.y + a.h);
      if (k < kMaxLegendLines) plan.legend.push_back(legendLine(k, a));
    }
    if (plan.areas.size() > kMaxLegendLines)
      plan.legend.push_back("... and " + std::to_string(plan.areas.size() - kMaxLegendLines) + " more areas");
    plans.push_back(plan);
  }
  double scale = std::min(8.0, kMaxSignWidth / signW);
  scale = std::min(scale, kMaxSignHeight / signH);
  scale = std::min(scale, kMaxAllSigns / (double(signH) * double(plans.size())));
  const int panelW = std::max(1, int(signW * scale));
  const int panelH = std::max(1, int(signH * scale));
  auto at = [scale](int v) { return int(v * scale); };

  std::vector<std::string> notes;
  if (set.pages.size() > kMaxPages)
    notes.push_back("... and " + std::to_string(set.pages.size() - kMaxPages) + " more pages not drawn");
  if (!set.error.empty()) notes.push_back("fault: " + shown(set.error, 160));

  const std::string title = "page set " + shown(set.setNumber) + "   (" + std::to_string(set.pages.size()) +
                            " page" + (set.pages.size() == 1 ? "" : "s") +
                            ", x and width sent in units of 8 px)";
  auto widthOf = [&](const std::string& s) { return textWidth(font, s) * kFont; };
  // Text in the picture, top-left at (x, y), clipped to the rectangle given.
  auto text = [&](RgbImage& img, int x, int y, const std::string& s, int scale, const uint8_t rgb[3], int cx0 = 0,
                  int cy0 = 0, int cx1 = 1 << 30, int cy1 = 1 << 30) {
    drawText(img, font, x, y, s, rgb, scale, cx0, cy0, cx1, cy1);
  };
  int width = std::max(panelW + 2, widthOf(title));
  int height = kMargin + kLine + 8;
  for (const PagePlan& plan : plans) {
    width = std::max(width, widthOf(plan.heading));
    for (const std::string& line : plan.legend) width = std::max(width, 16 + widthOf(line));
    height += kLine + panelH + 2 + 8 + kLine * int(plan.legend.size()) + kMargin;
  }
  for (const std::string& note : notes) {
    width = std::max(width, widthOf(note));
    height += kLine;
  }
  width += 2 * kMargin;
  height += kMargin;

  RgbImage img(width, height, kPaper[0], kPaper[1], kPaper[2]);
  int y = kMargin;
  text(img, kMargin, y, title, kFont, kInk);
  y += kLine + 8;
  for (const PagePlan& plan : plans) {
    text(img, kMargin, y, plan.heading, kFont, kInk);
    y += kLine;
    // The sign, framed one pixel outside its own area.
    const int ox = kMargin + 1, oy = y + 1;
    img.frame(ox - 1, oy - 1, ox + panelW + 1, oy + panelH + 1, 1, kGrey);
    img.fill(ox, oy, ox + panelW, oy + panelH, kSign);
    for (size_t k = 0; k < plan.areas.size(); ++k) {
      const Area& a = plan.areas[k];
      const uint8_t* colour = kPalette[k % kPaletteSize];
      const uint8_t dim[3] = {uint8_t(colour[0] / 4), uint8_t(colour[1] / 4), uint8_t(colour[2] / 4)};
      // Clipped to the sign: areas may reach beyond it only with negative places.
      const int x0 = std::max(ox, ox + at(a.x)), y0 = std::max(oy, oy + at(a.y));
      const int x1 = std::min(ox + panelW, ox + at(a.x + a.w)), y1 = std::min(oy + panelH, oy + at(a.y + a.h));
      if (x1 <= x0 || y1 <= y0) continue;
      img.fill(x0, y0, x1, y1, dim);
      const int border = std::max(1, std::min(4, int(scale / 2)));
      img.frame(x0, y0, x1, y1, border, colour);
      // Label inside the area, as large as the area allows, clipped to it.
      const std::string label = "A" + std::to_string(k + 1) + " " + pageSetTypeName(a.entries.front()->type);
      const int fontScale = std::max(1, std::min(2, (y1 - y0 - 4) / 16));
      text(img, x0 + 2 + border, y0 + 1 + border, label, fontScale, colour, x0, y0, x1, y1);
    }
    y += panelH + 2 + 8;
    for (size_t k = 0; k < plan.legend.size(); ++k) {
      if (k < plan.areas.size() && k < kMaxLegendLines)
        img.fill(kMargin, y + 4, kMargin + 10, y + 14, kPalette[k % kPaletteSize]);
      text(img, kMargin + 16, y, plan.legend[k], kFont, kInk);
      y += kLine;
    }
    y += kMargin;
  }
  for (const std::string& note : notes) {
    text(img, kMargin, y, note, kFont, kFault);
    y += kLine;
  }
  *out = img;
  return true;
}

}  // namespace vexasim
