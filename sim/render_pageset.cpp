// The picture of a page set: per page a heading with its daily window, the
// sign drawn to scale with every area as a labelled rectangle, and a legend
// that lists each area's place, size and materials in full.
#include <algorithm>
#include <string>
#include <vector>

#include "PageSet.h"
#include "Render.h"

namespace vexasim {

namespace {

const uint8_t kPaper[3] = {246, 246, 242};
const uint8_t kInk[3] = {30, 30, 30};
const uint8_t kGrey[3] = {150, 150, 150};
const uint8_t kSign[3] = {16, 16, 16};
const uint8_t kPalette[][3] = {{230, 60, 50},  {60, 190, 80},  {70, 130, 240}, {240, 190, 40},
                               {200, 80, 220}, {40, 200, 210}, {250, 130, 60}, {170, 170, 170}};
constexpr int kPaletteSize = int(sizeof kPalette / sizeof kPalette[0]);

constexpr int kMargin = 16;
constexpr int kFont = 2;             // pixels per font unit for headings and legends
constexpr int kLine = 12 * kFont;    // line height of that text
constexpr int kMaxPanelWidth = 1024; // the sign is scaled up to about this width

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

std::string legendLine(size_t k, const Area& a) {
  std::string s = "A" + std::to_string(k + 1) + "  at " + std::to_string(a.x) + "," + std::to_string(a.y) +
                  "  size " + std::to_string(a.w) + " x " + std::to_string(a.h) + " px :";
  for (size_t i = 0; i < a.entries.size(); ++i) {
    if (i) s += ";";
    s += " " + pageSetTypeName(a.entries[i]->type) + " #" + a.entries[i]->id;
  }
  return s;
}

}  // namespace

bool renderPageSet(const uint8_t* payload, size_t n, RgbImage* out, std::string* error) {
  PageSetLayout set = parsePageSet(payload, n);
  if (set.pages.empty()) {
    if (error) *error = set.error.empty() ? "no page" : set.error;
    return false;
  }

  // One scale for every page, so that pages compare at a glance.
  int signW = 8, signH = 8;
  std::vector<std::vector<Area>> pages;
  for (const PageSetPage& page : set.pages) {
    pages.push_back(areasOf(page));
    for (const Area& a : pages.back()) {
      signW = std::max(signW, a.x + a.w);
      signH = std::max(signH, a.y + a.h);
    }
  }
  int scale = std::max(1, std::min(8, kMaxPanelWidth / signW));
  while (scale > 1 && signH * scale > kMaxPanelWidth) --scale;
  // Numbers beyond what a descriptor can carry would make a picture too large.
  if (signW > 8000 || signH > 1000) {
    if (error) *error = "sign of " + std::to_string(signW) + " x " + std::to_string(signH) + " px is too large to draw";
    return false;
  }

  std::string title = "page set " + set.setNumber + "   (" + std::to_string(set.pages.size()) + " page" +
                      (set.pages.size() == 1 ? "" : "s") + ", x and width sent in units of 8 px)";
  int width = kMargin * 2 + std::max(signW * scale + 2, RgbImage::textWidth(title, kFont));
  int height = kMargin + kLine + 8;
  for (size_t p = 0; p < pages.size(); ++p) {
    height += kLine + signH * scale + 2 + 8 + kLine * int(pages[p].size()) + kMargin;
    for (size_t k = 0; k < pages[p].size(); ++k)
      width = std::max(width, kMargin * 2 + RgbImage::textWidth(legendLine(k, pages[p][k]), kFont));
  }
  if (!set.error.empty()) {
    height += kLine + kMargin;
    width = std::max(width, kMargin * 2 + RgbImage::textWidth("fault: " + set.error, kFont));
  }

  RgbImage img(width, height, kPaper[0], kPaper[1], kPaper[2]);
  int y = kMargin;
  img.text(kMargin, y, title, kFont, kInk);
  y += kLine + 8;
  for (size_t p = 0; p < pages.size(); ++p) {
    const PageSetPage& page = set.pages[p];
    img.text(kMargin, y, "page " + std::to_string(p + 1) + "   " + page.start + " - " + page.end, kFont, kInk);
    y += kLine;
    // The sign, framed one pixel outside its own area.
    int ox = kMargin + 1, oy = y + 1;
    img.frame(ox - 1, oy - 1, ox + signW * scale + 1, oy + signH * scale + 1, 1, kGrey);
    img.fill(ox, oy, ox + signW * scale, oy + signH * scale, kSign);
    for (size_t k = 0; k < pages[p].size(); ++k) {
      const Area& a = pages[p][k];
      const uint8_t* colour = kPalette[k % kPaletteSize];
      uint8_t dim[3] = {uint8_t(colour[0] / 4), uint8_t(colour[1] / 4), uint8_t(colour[2] / 4)};
      int x0 = ox + a.x * scale, y0 = oy + a.y * scale;
      int x1 = x0 + a.w * scale, y1 = y0 + a.h * scale;
      img.fill(x0, y0, x1, y1, dim);
      img.frame(x0, y0, x1, y1, std::max(1, scale / 2), colour);
      // Label inside the area, as large as the area allows, clipped to it.
      std::string label = "A" + std::to_string(k + 1) + " " + pageSetTypeName(a.entries.front()->type);
      int fontScale = std::max(1, std::min(kFont + 1, (a.h * scale - 4) / 10));
      img.text(x0 + 3 + scale / 2, y0 + 2 + scale / 2, label, fontScale, colour, x0, y0, x1, y1);
    }
    y += signH * scale + 2 + 8;
    for (size_t k = 0; k < pages[p].size(); ++k) {
      img.fill(kMargin, y + 2, kMargin + 10, y + 12, kPalette[k % kPaletteSize]);
      img.text(kMargin + 16, y, legendLine(k, pages[p][k]), kFont, kInk);
      y += kLine;
    }
    y += kMargin;
  }
  if (!set.error.empty()) {
    const uint8_t red[3] = {200, 0, 0};
    img.text(kMargin, y, "fault: " + set.error, kFont, red);
  }
  *out = img;
  return true;
}

}  // namespace vexasim
