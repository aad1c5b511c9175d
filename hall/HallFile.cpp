// Reading a hall file: TOML, every key checked against what a hall file may
// hold, every value against what the signs can take, and every mistake kept
// with its place, so that one reading shows them all.
#include "hall/HallFile.h"

#include <arpa/inet.h>
#include <iconv.h>

#include <algorithm>
#include <cctype>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <map>
#include <set>

#include <toml++/toml.h>

namespace hall {

std::string Mistake::Text() const {
  if (line <= 0) return file + ": " + what;
  return file + ":" + std::to_string(line) + ":" + std::to_string(column) + ": " + what;
}

int Sign::networkMode() const {
  switch (transport) {
    case Transport::kTcp:
      return 2;
    case Transport::kLogin:
      return 3;
    default:
      return 1;
  }
}

std::string Sign::Where() const {
  switch (transport) {
    case Transport::kUdp:
      return "udp " + address;
    case Transport::kTcp:
      return "tcp " + address;
    case Transport::kLogin:
      return "login " + address;
    case Transport::kSerial:
      break;
  }
  const std::string line = "serial COM" + std::to_string(port);
  return bar ? line + " bar " + std::to_string(barAddress) : line + " bus " + bus;
}

const Sign* HallFile::FindSign(const std::string& name) const {
  for (const Sign& s : signs) {
    if (s.name == name) return &s;
  }
  return nullptr;
}

const Counter* HallFile::FindCounter(int number) const {
  for (const Counter& c : counters) {
    if (c.number == number) return &c;
  }
  return nullptr;
}

// ---------------------------------------------------------------------------
// GBK.

namespace {

// The code point of the UTF-8 character at `p` (at most `n` bytes), and its
// length; a byte that starts no character counts as one.
char32_t CodePoint(const unsigned char* p, size_t n, size_t* length) {
  *length = 1;
  if (p[0] < 0x80) return p[0];
  int more = p[0] >= 0xF0 ? 3 : p[0] >= 0xE0 ? 2 : p[0] >= 0xC0 ? 1 : 0;
  if (more == 0 || static_cast<size_t>(more) >= n) return p[0];
  char32_t c = p[0] & (0x3F >> more);
  for (int i = 1; i <= more; ++i) c = (c << 6) | (p[i] & 0x3F);
  *length = static_cast<size_t>(more) + 1;
  return c;
}

std::string Named(const unsigned char* p, size_t n) {
  size_t length = 0;
  const char32_t c = CodePoint(p, n, &length);
  char code[16];
  std::snprintf(code, sizeof code, "U+%04X", static_cast<unsigned>(c));
  return std::string(code) + " '" + std::string(reinterpret_cast<const char*>(p), length) + "'";
}

}  // namespace

std::optional<std::string> ToGbk(const std::string& utf8, std::string* bad) {
  iconv_t cd = iconv_open("GBK", "UTF-8");
  if (cd == reinterpret_cast<iconv_t>(-1)) {
    if (bad) *bad = "no GBK conversion on this system";
    return std::nullopt;
  }
  std::string out(utf8.size() * 2 + 4, '\0');
  char* in = const_cast<char*>(utf8.data());
  size_t inLeft = utf8.size();
  char* to = &out[0];
  size_t outLeft = out.size();
  const size_t done = iconv(cd, &in, &inLeft, &to, &outLeft);
  iconv_close(cd);
  if (done == static_cast<size_t>(-1)) {
    if (bad) {
      const auto* at = reinterpret_cast<const unsigned char*>(in);
      *bad = errno == EILSEQ || errno == EINVAL ? Named(at, inLeft) : "a character";
    }
    return std::nullopt;
  }
  out.resize(out.size() - outLeft);
  return out;
}

std::optional<std::string> Announcement::For(const std::string& ticket, int counter,
                                             std::string* why) const {
  // How the ticket is read: "A012" digit by digit is "A 0 1 2"; as a
  // number it is "A12".
  std::string spoken;
  bool leading = true;
  for (size_t i = 0; i < ticket.size(); ++i) {
    const char c = ticket[i];
    const bool digit = c >= '0' && c <= '9';
    if (!digit) {
      leading = true;
      spoken += c;
      continue;
    }
    if (digits) {
      if (!spoken.empty() && spoken.back() != ' ') spoken += ' ';
      spoken += c;
      continue;
    }
    const bool lastDigit = i + 1 == ticket.size() || ticket[i + 1] < '0' || ticket[i + 1] > '9';
    if (leading && c == '0' && !lastDigit) continue;
    leading = false;
    spoken += c;
  }
  std::string once;
  for (size_t i = 0; i < text.size();) {
    if (text.compare(i, 8, "{ticket}") == 0) {
      once += spoken;
      i += 8;
    } else if (text.compare(i, 9, "{counter}") == 0) {
      once += std::to_string(counter);
      i += 9;
    } else {
      once += text[i++];
    }
  }
  std::string all;
  for (int k = 0; k < std::max(1, repeat); ++k) all += (k ? " " : "") + once;
  std::string bad;
  std::optional<std::string> gbk = ToGbk(all, &bad);
  if (!gbk && why) *why = "the announcement has a character GBK cannot hold: " + bad;
  return gbk;
}

// ---------------------------------------------------------------------------
// Reading.

namespace {

using Keys = std::set<std::string>;

class Reader {
 public:
  Reader(std::string path, std::vector<Mistake>* mistakes)
      : path_(std::move(path)), mistakes_(mistakes) {}

  void Fail(const toml::source_region& at, const std::string& what) {
    mistakes_->push_back({path_, static_cast<int>(at.begin.line),
                          static_cast<int>(at.begin.column), what});
  }

  // Every key of `table` must be one of `allowed`.
  void OnlyKeys(const toml::table& table, const Keys& allowed, const std::string& where) {
    for (auto&& [key, value] : table) {
      (void)value;
      if (!allowed.count(std::string(key.str()))) {
        Fail(key.source(), "unknown key \"" + std::string(key.str()) + "\" in " + where);
      }
    }
  }

  // The integer at `key` within [low, high]; `fallback` when absent.
  int Int(const toml::table& t, const char* key, long long low, long long high, int fallback,
          bool required = false, const toml::source_region* owner = nullptr) {
    const toml::node* n = t.get(key);
    if (n == nullptr) {
      if (required && owner) Fail(*owner, std::string("missing key \"") + key + "\"");
      return fallback;
    }
    const auto* v = n->as_integer();
    if (v == nullptr) {
      Fail(n->source(), std::string("\"") + key + "\" must be a whole number");
      return fallback;
    }
    if (v->get() < low || v->get() > high) {
      Fail(n->source(), std::string("\"") + key + "\" is " + std::to_string(v->get()) +
                            ", not within " + std::to_string(low) + " to " + std::to_string(high));
      return fallback;
    }
    return static_cast<int>(v->get());
  }

  std::string Str(const toml::table& t, const char* key, const std::string& fallback,
                  bool required = false, const toml::source_region* owner = nullptr) {
    const toml::node* n = t.get(key);
    if (n == nullptr) {
      if (required && owner) Fail(*owner, std::string("missing key \"") + key + "\"");
      return fallback;
    }
    const auto* v = n->as_string();
    if (v == nullptr) {
      Fail(n->source(), std::string("\"") + key + "\" must be a text");
      return fallback;
    }
    return v->get();
  }

  bool Bool(const toml::table& t, const char* key, bool fallback) {
    const toml::node* n = t.get(key);
    if (n == nullptr) return fallback;
    const auto* v = n->as_boolean();
    if (v == nullptr) {
      Fail(n->source(), std::string("\"") + key + "\" must be true or false");
      return fallback;
    }
    return v->get();
  }

  // One of `choices` (the index), or `fallback`.
  int Choice(const toml::table& t, const char* key, const std::vector<std::string>& choices,
             int fallback, bool required = false, const toml::source_region* owner = nullptr) {
    const std::string text = Str(t, key, "", required, owner);
    if (text.empty()) return fallback;
    for (size_t i = 0; i < choices.size(); ++i) {
      if (choices[i] == text) return static_cast<int>(i);
    }
    std::string list;
    for (size_t i = 0; i < choices.size(); ++i) list += (i ? ", " : "") + choices[i];
    Fail(t.get(key)->source(), std::string("\"") + key + "\" is \"" + text + "\", not one of " + list);
    return fallback;
  }

  // A text as the signs take it: GBK bytes; a character GBK cannot hold is
  // a mistake that names it.
  std::string Gbk(const toml::table& t, const char* key, bool required,
                  const toml::source_region& owner) {
    const std::string text = Str(t, key, "", required, &owner);
    std::string bad;
    std::optional<std::string> gbk = ToGbk(text, &bad);
    if (!gbk) {
      Fail(t.get(key)->source(), std::string("\"") + key + "\" has a character GBK cannot hold: " + bad);
      return std::string();
    }
    return *gbk;
  }

  // The tables of an array of tables at `key` (or of the one table there).
  std::vector<const toml::table*> Tables(const toml::table& t, const char* key) {
    std::vector<const toml::table*> out;
    const toml::node* n = t.get(key);
    if (n == nullptr) return out;
    if (const auto* one = n->as_table()) {
      out.push_back(one);
      return out;
    }
    const auto* list = n->as_array();
    if (list == nullptr) {
      Fail(n->source(), std::string("\"") + key + "\" must be a table or a list of tables");
      return out;
    }
    for (const toml::node& item : *list) {
      if (const auto* table = item.as_table()) {
        out.push_back(table);
      } else {
        Fail(item.source(), std::string("each \"") + key + "\" must be a table");
      }
    }
    return out;
  }

  const std::string& path() const { return path_; }

 private:
  std::string path_;
  std::vector<Mistake>* mistakes_;
};

bool IsTime(const std::string& s) {
  return s.size() == 5 && s[2] == ':' && std::isdigit(static_cast<unsigned char>(s[0])) &&
         std::isdigit(static_cast<unsigned char>(s[1])) &&
         std::isdigit(static_cast<unsigned char>(s[3])) &&
         std::isdigit(static_cast<unsigned char>(s[4])) && (s[0] - '0') * 10 + (s[1] - '0') < 24 &&
         (s[3] - '0') * 10 + (s[4] - '0') < 60;
}

bool IsDottedIPv4(const std::string& s) {
  in_addr a;
  return inet_pton(AF_INET, s.c_str(), &a) == 1;
}

// A bus address as eight numbers joined by "_": "5" is the address whose
// last number is 5, so that two ways of writing one address are one place.
std::string BusAddress(const std::string& bus) {
  if (bus.find('_') != std::string::npos) return bus;
  return "0_0_0_0_0_0_0_" + bus;
}

const std::vector<std::string> kTransports = {"udp", "tcp", "login", "serial"};
const std::vector<std::string> kColourModes = {"red", "red-green", "full"};
const std::vector<std::string> kColours = {"", "red", "green", "yellow"};
const std::vector<std::string> kKinds = {"text", "datetime", "data", "lineup", "image"};
const std::vector<std::string> kFrames = {"network", "rs485"};

void ReadMaterial(Reader& r, const toml::table& t, Material& m) {
  r.OnlyKeys(t, {"kind", "text", "colour", "field", "files", "id"}, "a material");
  const toml::source_region& at = t.source();
  m.kind = static_cast<MaterialKind>(r.Choice(t, "kind", kKinds, 0, true, &at));
  m.colour = std::max(1, r.Choice(t, "colour", kColours, 1));
  m.materialId = r.Int(t, "id", 0, 999999999, 0);
  switch (m.kind) {
    case MaterialKind::kText:
      m.text = r.Gbk(t, "text", true, at);
      if (t.get("text") && t.get("text")->as_string() && t.get("text")->as_string()->get().empty()) {
        r.Fail(t.get("text")->source(), "a text material must not be empty");
      }
      break;
    case MaterialKind::kData:
    case MaterialKind::kLineUp:
      m.field = r.Int(t, "field", 0, 255, 0, true, &at);
      break;
    case MaterialKind::kImage:
      if (const toml::node* files = t.get("files")) {
        const auto* list = files->as_array();
        if (list == nullptr || list->empty()) {
          r.Fail(files->source(), "\"files\" must be a list of picture files");
        } else {
          for (const toml::node& f : *list) {
            if (const auto* s = f.as_string()) {
              m.files.push_back(s->get());
            } else {
              r.Fail(f.source(), "each file must be a text");
            }
          }
        }
      } else {
        r.Fail(at, "missing key \"files\"");
      }
      break;
    case MaterialKind::kDateTime:
      break;
  }
}

void ReadPages(Reader& r, const toml::table& signTable, Sign& s) {
  std::set<int> numbers;
  for (const toml::table* pt : r.Tables(signTable, "page")) {
    r.OnlyKeys(*pt, {"number", "from", "to", "area"}, "a page");
    Page page;
    const toml::source_region& at = pt->source();
    page.number = r.Int(*pt, "number", 0, 255, 1);
    if (!numbers.insert(page.number).second && pt->get("number")) {
      r.Fail(pt->get("number")->source(), "page " + std::to_string(page.number) + " is there twice");
    }
    page.from = r.Str(*pt, "from", "00:00");
    page.to = r.Str(*pt, "to", "23:59");
    for (const char* key : {"from", "to"}) {
      const toml::node* n = pt->get(key);
      if (n && n->as_string() && !IsTime(n->as_string()->get())) {
        r.Fail(n->source(), std::string("\"") + key + "\" must be a time of day as HH:MM");
      }
    }
    for (const toml::table* at2 : r.Tables(*pt, "area")) {
      r.OnlyKeys(*at2, {"x", "y", "width", "height", "material"}, "an area");
      Area area;
      const toml::source_region& where = at2->source();
      area.x = r.Int(*at2, "x", 0, 7999, 0);
      area.y = r.Int(*at2, "y", 0, 999, 0);
      area.width = r.Int(*at2, "width", 8, 7999, 8, true, &where);
      area.height = r.Int(*at2, "height", 1, 999, 16, true, &where);
      if (area.x % 8 != 0 && at2->get("x")) {
        r.Fail(at2->get("x")->source(), "an area's \"x\" must be a multiple of 8");
      }
      if (area.width % 8 != 0 && at2->get("width")) {
        r.Fail(at2->get("width")->source(), "an area's \"width\" must be a multiple of 8");
      }
      if (!s.bar && s.width > 0 && s.height > 0 &&
          (area.x + area.width > s.width || area.y + area.height > s.height)) {
        r.Fail(where, "the area " + std::to_string(area.width) + "x" + std::to_string(area.height) +
                          " at " + std::to_string(area.x) + "," + std::to_string(area.y) +
                          " lies outside the sign's " + std::to_string(s.width) + "x" +
                          std::to_string(s.height) + " dots");
      }
      for (const toml::table* mt : r.Tables(*at2, "material")) {
        Material m;
        ReadMaterial(r, *mt, m);
        area.materials.push_back(std::move(m));
      }
      if (area.materials.empty()) r.Fail(where, "an area needs at least one material");
      page.areas.push_back(std::move(area));
    }
    if (page.areas.empty()) r.Fail(at, "a page needs at least one area");
    s.pages.push_back(std::move(page));
  }
}

void ReadSign(Reader& r, const toml::table& t, Sign& s) {
  r.OnlyKeys(t,
             {"name", "transport", "address", "port", "baud", "bus", "frame", "bar", "bar_address",
              "page_width", "width", "height", "colours", "speaks", "timeout_ms", "retries",
              "page"},
             "a sign");
  const toml::source_region& at = t.source();
  s.line = static_cast<int>(at.begin.line);
  s.column = static_cast<int>(at.begin.column);
  s.name = r.Str(t, "name", "", true, &at);
  s.transport = static_cast<Transport>(r.Choice(t, "transport", kTransports, 0, true, &at));
  s.bar = r.Bool(t, "bar", false);
  if (s.networked()) {
    s.address = r.Str(t, "address", "", true, &at);
    const toml::node* a = t.get("address");
    if (a && a->as_string() && !IsDottedIPv4(s.address)) {
      r.Fail(a->source(), "\"address\" must be a dotted IPv4 address");
    }
    if (s.bar) r.Fail(t.get("bar")->source(), "bar screens hang on a serial line");
    for (const char* key : {"port", "baud", "bus", "frame", "bar_address", "page_width"}) {
      if (const toml::node* n = t.get(key)) {
        r.Fail(n->source(), std::string("\"") + key + "\" is for signs on a serial line");
      }
    }
  } else {
    s.port = r.Int(t, "port", 0, 255, 1, true, &at);
    s.baud = r.Int(t, "baud", 1, 4000000, 9600);
    if (t.get("address")) r.Fail(t.get("address")->source(), "\"address\" is for networked signs");
    if (s.bar) {
      s.barAddress = r.Int(t, "bar_address", 1, 255, 1, true, &at);
      s.pageWidth = r.Int(t, "page_width", 1, 255, 4);
      for (const char* key : {"bus", "frame", "page"}) {
        if (const toml::node* n = t.get(key)) {
          r.Fail(n->source(), std::string("\"") + key + "\" is not for bar screens");
        }
      }
    } else {
      s.bus = r.Str(t, "bus", "", true, &at);
      s.serialProtocol = r.Choice(t, "frame", kFrames, 1) == 1 ? 2 : 1;
    }
  }
  if (!s.bar) {
    s.width = r.Int(t, "width", 8, 8192, 0, true, &at);
    s.height = r.Int(t, "height", 16, 4096, 0, true, &at);
    if (s.width % 8 != 0 && t.get("width")) {
      r.Fail(t.get("width")->source(),
             "the width " + std::to_string(s.width) + " is not a multiple of 8 dots");
    }
    if (s.height % 16 != 0 && t.get("height")) {
      r.Fail(t.get("height")->source(),
             "the height " + std::to_string(s.height) + " is not a multiple of 16 dots");
    }
  }
  s.colourMode = r.Choice(t, "colours", kColourModes, 0);
  s.speaks = r.Bool(t, "speaks", false);
  s.timeoutMs = r.Int(t, "timeout_ms", 10, 600000, 0);
  s.retries = r.Int(t, "retries", 0, 100, -1);
  if (s.networked() || !s.bar) ReadPages(r, t, s);
  if (!s.networked() && !s.pages.empty()) {
    r.Fail(t.get("page")->source(), "a page set is uploaded over the network only");
  }
}

void ReadDisplays(Reader& r, const HallFile& hall, const toml::table& t, const char* key,
                  Display::Kind kind, Counter& c) {
  for (const toml::table* dt : r.Tables(t, key)) {
    const bool bar = kind == Display::Kind::kBar;
    r.OnlyKeys(*dt, bar ? Keys{"sign"} : Keys{"sign", "field"}, std::string("a counter's ") + key);
    const toml::source_region& at = dt->source();
    Display d;
    d.kind = kind;
    d.sign = r.Str(*dt, "sign", "", true, &at);
    if (!bar) d.field = r.Int(*dt, "field", 0, 255, 0, true, &at);
    const toml::node* named = dt->get("sign");
    if (named && named->as_string()) {
      const Sign* s = hall.FindSign(d.sign);
      if (s == nullptr) {
        r.Fail(named->source(), "counter " + std::to_string(c.number) + " shows on sign \"" +
                                    d.sign + "\", which the hall does not have");
      } else if (bar != s->bar) {
        r.Fail(named->source(), bar ? "sign \"" + d.sign + "\" is not a bar screen"
                                    : "sign \"" + d.sign + "\" is a bar screen; use \"bar\"");
      }
    }
    c.displays.push_back(d);
  }
}

std::unique_ptr<HallFile> Read(Reader& r, const toml::table& root) {
  auto hall = std::make_unique<HallFile>();
  hall->path = r.path();
  // [gateway] belongs to the service that serves the hall; it reads it.
  r.OnlyKeys(root, {"hall", "announcement", "sign", "counter", "gateway"}, "the hall file");
  if (const toml::node* h = root.get("hall")) {
    if (const auto* t = h->as_table()) {
      r.OnlyKeys(*t, {"name", "timeout_ms", "retries", "login_port"}, "[hall]");
      hall->name = r.Str(*t, "name", "");
      hall->timeoutMs = r.Int(*t, "timeout_ms", 10, 600000, 500);
      hall->retries = r.Int(*t, "retries", 0, 100, 1);
      hall->loginPort = r.Int(*t, "login_port", 1, 65535, 0);
    } else {
      r.Fail(h->source(), "\"hall\" must be a table");
    }
  }
  if (const toml::node* a = root.get("announcement")) {
    if (const auto* t = a->as_table()) {
      r.OnlyKeys(*t, {"text", "voice_tag", "sound", "m_tag", "read_ticket", "repeat"},
                 "[announcement]");
      Announcement& an = hall->announcement;
      an.text = r.Str(*t, "text", an.text);
      std::string bad;
      if (t->get("text") && !ToGbk(an.text, &bad)) {
        r.Fail(t->get("text")->source(), "\"text\" has a character GBK cannot hold: " + bad);
      }
      an.voiceTag = r.Int(*t, "voice_tag", -1, 99, -1);
      an.sound = r.Int(*t, "sound", 0, 3, 0);
      an.mTag = r.Int(*t, "m_tag", 0, 2, 0);
      an.digits = r.Choice(*t, "read_ticket", {"digits", "number"}, 0) == 0;
      an.repeat = r.Int(*t, "repeat", 1, 5, 1);
    } else {
      r.Fail(a->source(), "\"announcement\" must be a table");
    }
  }
  std::map<std::string, std::string> places;  // where a sign is reached -> its name
  for (const toml::table* st : r.Tables(root, "sign")) {
    Sign s;
    ReadSign(r, *st, s);
    const toml::source_region& at = st->source();
    if (!s.name.empty() && hall->FindSign(s.name)) {
      r.Fail(st->get("name")->source(), "two signs are named \"" + s.name + "\"");
    }
    const std::string place = s.networked() ? "address " + s.address
                                            : "COM" + std::to_string(s.port) +
                                                  (s.bar ? " bar address " + std::to_string(s.barAddress)
                                                         : " bus address " + BusAddress(s.bus));
    auto seen = places.find(place);
    if (seen != places.end() && !s.name.empty()) {
      r.Fail(at, "signs \"" + seen->second + "\" and \"" + s.name + "\" are both on " + place);
    } else {
      places.emplace(place, s.name);
    }
    if (s.transport == Transport::kLogin && hall->loginPort == 0 && st->get("transport")) {
      r.Fail(st->get("transport")->source(),
             "a sign that dials in needs the hall's \"login_port\"");
    }
    hall->signs.push_back(std::move(s));
  }
  if (hall->signs.empty()) r.Fail(root.source(), "the hall has no sign");
  std::set<int> numbers;
  for (const toml::table* ct : r.Tables(root, "counter")) {
    r.OnlyKeys(*ct, {"number", "lineup", "data", "bar"}, "a counter");
    Counter c;
    const toml::source_region& at = ct->source();
    c.number = r.Int(*ct, "number", 0, 9999, 0, true, &at);
    if (!numbers.insert(c.number).second && ct->get("number")) {
      r.Fail(ct->get("number")->source(), "counter " + std::to_string(c.number) + " is there twice");
    }
    ReadDisplays(r, *hall, *ct, "lineup", Display::Kind::kLineUp, c);
    ReadDisplays(r, *hall, *ct, "data", Display::Kind::kData, c);
    ReadDisplays(r, *hall, *ct, "bar", Display::Kind::kBar, c);
    hall->counters.push_back(std::move(c));
  }
  return hall;
}

}  // namespace

std::unique_ptr<HallFile> ParseHallFile(const std::string& text, const std::string& path,
                                        std::vector<Mistake>* mistakes) {
  std::vector<Mistake> found;
  std::unique_ptr<HallFile> hall;
  try {
    const toml::table root = toml::parse(text, path);
    Reader reader(path, &found);
    hall = Read(reader, root);
  } catch (const toml::parse_error& e) {
    found.push_back({path, static_cast<int>(e.source().begin.line),
                     static_cast<int>(e.source().begin.column), std::string(e.description())});
  } catch (const std::exception& e) {
    found.push_back({path, 0, 0, e.what()});
  }
  // Mistakes in the order of the file.
  std::stable_sort(found.begin(), found.end(), [](const Mistake& a, const Mistake& b) {
    return a.line != b.line ? a.line < b.line : a.column < b.column;
  });
  if (mistakes) *mistakes = found;
  if (!found.empty()) return nullptr;
  return hall;
}

std::unique_ptr<HallFile> LoadHallFile(const std::string& path, std::vector<Mistake>* mistakes) {
  // A hall file is small; one read of a bounded size tells a file that
  // cannot be read (missing, a directory, no permission) from one with
  // mistakes.
  constexpr size_t kLargest = 4 << 20;
  std::FILE* f = std::fopen(path.c_str(), "rb");
  std::string text;
  int error = f == nullptr ? errno : 0;
  if (f != nullptr) {
    char buffer[65536];
    size_t n;
    while ((n = std::fread(buffer, 1, sizeof buffer, f)) > 0 && text.size() <= kLargest) {
      text.append(buffer, n);
    }
    if (std::ferror(f)) error = errno ? errno : EIO;
    std::fclose(f);
  }
  if (error != 0 || text.size() > kLargest) {
    const std::string why = error != 0 ? std::strerror(error) : "larger than 4 MiB";
    if (mistakes) {
      Mistake m{path, 0, 0, "cannot read the file: " + why};
      m.unreadable = true;
      *mistakes = {m};
    }
    return nullptr;
  }
  return ParseHallFile(text, path, mistakes);
}

}  // namespace hall
