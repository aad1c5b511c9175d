// The page-set descriptor that opens a show-page upload: a nine-digit set
// number, then per page ",start-end." and one 39-character entry per
// material (id, type, x/8, y, width/8, height, constant tail).
#include <cstring>

#include "DecodeUtil.h"
#include "PageSet.h"
#include "Frame.h"

namespace vexasim {

using namespace detail;

namespace {

bool isNumberText(const std::string& s) {
  if (s.empty()) return false;
  for (size_t i = 0; i < s.size(); ++i) {
    char c = s[i];
    if (!((c >= '0' && c <= '9') || (c == '-' && i == 0 && s.size() > 1))) return false;
  }
  return true;
}

long numberOf(const std::string& s) { return isNumberText(s) ? std::strtol(s.c_str(), nullptr, 10) : 0; }

// Types a descriptor carries: image groups of every colour mode go as '8'.
bool knownType(char t) { return t == '1' || t == '5' || t == '6' || t == '7' || t == '8'; }

}  // namespace

std::string pageSetTypeName(char type) {
  switch (type) {
    case '1': return "date-time";
    case '5': return "line-up";
    case '6': return "collected data";
    case '7': return "internal text";
    case '8': return "image group";
    default: return std::string("type ") + hexBytes(reinterpret_cast<const uint8_t*>(&type), 1);
  }
}

PageSetLayout parsePageSet(const uint8_t* p, size_t n) {
  PageSetLayout out;
  const char* s = reinterpret_cast<const char*>(p);
  auto stop = [&](size_t at, const std::string& why) {
    out.used = at;
    if (out.error.empty()) out.error = why + " at offset " + std::to_string(at);
    return out;
  };
  if (n < 9) return stop(0, "descriptor shorter than its nine-digit set number");
  out.setNumber.assign(s, 9);
  if (!isNumberText(out.setNumber)) out.error = "set number \"" + out.setNumber + "\" is not a number";
  size_t pos = 9;
  if (pos == n) return stop(pos, "descriptor holds no page");
  while (pos < n) {
    if (s[pos] != ',') return stop(pos, "expected ',' before a page");
    const char* dash = static_cast<const char*>(std::memchr(s + pos + 1, '-', n - pos - 1));
    if (!dash) return stop(pos, "page window without '-'");
    const char* dot = static_cast<const char*>(std::memchr(dash + 1, '.', size_t(s + n - dash - 1)));
    if (!dot) return stop(pos, "page window without '.'");
    PageSetPage page;
    page.start.assign(s + pos + 1, dash);
    page.end.assign(dash + 1, dot);
    pos = size_t(dot - s) + 1;
    while (pos < n && s[pos] != ',') {
      if (n - pos < kPageSetEntryLength) {
        out.pages.push_back(page);
        return stop(pos, "material entry cut short (" + std::to_string(n - pos) + " of 39 characters)");
      }
      PageSetEntry e;
      const char* q = s + pos;
      e.id.assign(q, 9);
      e.type = q[9];
      e.x8.assign(q + 10, 3);
      e.y.assign(q + 13, 3);
      e.w8.assign(q + 16, 3);
      e.h.assign(q + 19, 3);
      e.tail.assign(q + 22, 17);
      e.idValue = numberOf(e.id);
      e.x8Value = int(numberOf(e.x8));
      e.yValue = int(numberOf(e.y));
      e.w8Value = int(numberOf(e.w8));
      e.hValue = int(numberOf(e.h));
      std::string where = " of material " + std::to_string(page.entries.size() + 1) + " on page " +
                          std::to_string(out.pages.size() + 1);
      if (out.error.empty()) {
        if (!isNumberText(e.id)) out.error = "id \"" + e.id + "\"" + where + " is not a number";
        else if (!knownType(e.type)) out.error = "type '" + std::string(1, e.type) + "'" + where + " is no descriptor type";
        else if (!isNumberText(e.x8) || !isNumberText(e.y) || !isNumberText(e.w8) || !isNumberText(e.h))
          out.error = "place or size" + where + " is not a number";
        else if (e.tail != kPageSetTail) out.error = "tail \"" + e.tail + "\"" + where + ", expected \"" + kPageSetTail + "\"";
      }
      page.entries.push_back(e);
      pos += kPageSetEntryLength;
    }
    out.pages.push_back(page);
  }
  out.used = pos;
  return out;
}

void decodePageSet(const uint8_t* p, size_t n, Frame& out) {
  PageSetLayout set = parsePageSet(p, n);
  if (!set.setNumber.empty()) addWord(out, "set", set.setNumber);
  addNumber(out, "pages", long(set.pages.size()));
  for (size_t i = 0; i < set.pages.size(); ++i) {
    const PageSetPage& page = set.pages[i];
    std::string pk = "page" + std::to_string(i + 1);
    addText(out, pk + ".start", reinterpret_cast<const uint8_t*>(page.start.data()), page.start.size());
    addText(out, pk + ".end", reinterpret_cast<const uint8_t*>(page.end.data()), page.end.size());
    addNumber(out, pk + ".materials", long(page.entries.size()));
    for (size_t k = 0; k < page.entries.size(); ++k) {
      const PageSetEntry& e = page.entries[k];
      std::string mk = pk + ".m" + std::to_string(k + 1);
      addText(out, mk + ".id", reinterpret_cast<const uint8_t*>(e.id.data()), e.id.size());
      addText(out, mk + ".type", reinterpret_cast<const uint8_t*>(&e.type), 1);
      addText(out, mk + ".x8", reinterpret_cast<const uint8_t*>(e.x8.data()), 3);
      addText(out, mk + ".y", reinterpret_cast<const uint8_t*>(e.y.data()), 3);
      addText(out, mk + ".w8", reinterpret_cast<const uint8_t*>(e.w8.data()), 3);
      addText(out, mk + ".h", reinterpret_cast<const uint8_t*>(e.h.data()), 3);
      addWord(out, mk + ".tail", e.tail == kPageSetTail ? "ok" : "bad");
    }
  }
  if (!set.error.empty()) {
    fail(out, "page set: " + set.error);
    if (set.used < n) addHex(out, "unread", p + set.used, n - set.used);
  }
}

}  // namespace vexasim
