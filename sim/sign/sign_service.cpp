// The drawing thread of the virtual signs and what it publishes: per sign a
// JSON description and a PNG, and the log of decoded frames.
#include <cstdio>
#include <set>

#include "SignService.h"

namespace vexasim {

namespace {

using Steady = std::chrono::steady_clock;

std::string jsonString(const std::string& s) {
  std::string out = "\"";
  for (unsigned char c : s) {
    if (c == '"' || c == '\\') {
      out += '\\';
      out += char(c);
    } else if (c < 0x20 || c == 0x7F) {
      char b[8];
      std::snprintf(b, sizeof b, "\\u%04x", unsigned(c));
      out += b;
    } else {
      out += char(c);  // texts are UTF-8 by now
    }
  }
  return out + "\"";
}

std::string areaJson(const SignArea& a) {
  return "{\"x\":" + std::to_string(a.x) + ",\"y\":" + std::to_string(a.y) + ",\"width\":" +
         std::to_string(a.width) + ",\"height\":" + std::to_string(a.height) + ",\"what\":" + jsonString(a.what) +
         ",\"label\":" + jsonString(a.label) + ",\"text\":" + jsonString(signTextUtf8(a.text)) +
         ",\"colour\":" + std::to_string(a.colour) + ",\"note\":" + jsonString(a.note) + "}";
}

template <typename List, typename F>
std::string jsonList(const List& list, F item) {
  std::string s = "[";
  bool first = true;
  for (const auto& x : list) {
    if (!first) s += ',';
    first = false;
    s += item(x);
  }
  return s + "]";
}

std::string signJson(const SignState& s, const SignLayout& l, uint64_t picture) {
  std::string j = "{\"id\":" + jsonString(s.id) + ",\"name\":" + jsonString(s.name) +
                  ",\"kind\":" + jsonString(s.kind) + ",\"changes\":" + std::to_string(s.changes) +
                  ",\"width\":" + std::to_string(l.width) + ",\"height\":" + std::to_string(l.height) +
                  ",\"image\":" +
                  jsonString("/sign/" + SignService::fileName(s.id) + "?v=" + std::to_string(picture)) +
                  ",\"playing\":" + (s.playing ? "true" : "false");
  j += ",\"page\":{\"number\":" + (s.pageNo > 0 ? std::to_string(s.pageNo) : std::string("null"));
  const size_t pages = s.pageSet ? s.pageSet->pages.size() : 0;
  j += ",\"pages\":" + std::to_string(pages) + ",\"shown\":" +
       (l.pageIndex >= 0 ? std::to_string(l.pageIndex + 1) : std::string("null"));
  if (l.pageIndex >= 0) {
    const PageSetPage& p = s.pageSet->pages[size_t(l.pageIndex)];
    j += ",\"start\":" + jsonString(signTextUtf8(p.start)) + ",\"end\":" + jsonString(signTextUtf8(p.end));
  }
  j += ",\"chosenBy\":" + jsonString(l.pageChosenBy) + "}";
  j += ",\"brightness\":";
  j += s.brightness1 < 0 ? std::string("null")
                         : "{\"value1\":" + std::to_string(s.brightness1) + ",\"value2\":" +
                               std::to_string(s.brightness2) + "}";
  j += ",\"relays\":[";
  for (int k = 0; k < 8; ++k) j += (k ? "," : "") + jsonString(s.relays[k]);
  j += "],\"clock\":{\"set\":" + std::string(s.clockSet ? "true" : "false") + ",\"time\":" + jsonString(l.time);
  if (s.clockSet) j += ",\"setTo\":" + jsonString(formatSignTime(s.clockTo));
  j += "}";
  j += ",\"imageGroup\":" + (s.imageGroupPlaying >= 0 ? std::to_string(s.imageGroupPlaying) : std::string("null"));
  j += ",\"announcements\":" + jsonList(s.announcements, [](const SignAnnouncement& a) {
         return "{\"seq\":" + std::to_string(a.seq) + ",\"text\":" + jsonString(signTextUtf8(a.text)) +
                ",\"spoken\":" + jsonString(signTextUtf8(a.spoken)) + "}";
       });
  j += ",\"areas\":" + jsonList(l.areas, areaJson);
  j += ",\"placed\":" + jsonList(l.placed, areaJson);
  size_t page = 0;
  j += ",\"barPages\":" + jsonList(s.barPages, [&page](const SignBarPage& p) {
         return "{\"page\":" + std::to_string(++page) + ",\"text\":" + jsonString(signTextUtf8(p.text)) + "}";
       });
  j += ",\"barParams\":" + jsonList(s.barParams, [](const Field& f) {
         return "{\"name\":" + jsonString(f.name) + ",\"value\":" + jsonString(f.value()) + "}";
       });
  return j + "}";
}

bool showsTime(const SignLayout& l) {
  for (const SignArea& a : l.areas)
    if (a.what == "date-time") return true;
  return false;
}

}  // namespace

std::string SignService::fileName(const std::string& id) {
  std::string name = "sign-";
  for (char c : id) {
    const bool plain = (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') || c == '.' ||
                       c == '_' || c == '-';
    name += plain ? c : '-';
  }
  return name + ".png";
}

SignService::SignService(std::shared_ptr<const GlyphFont> font, Settings settings)
    : font_(font ? std::move(font) : std::make_shared<GlyphFont>()), settings_(std::move(settings)) {
  board_.setBitmapSize(settings_.bitmapW, settings_.bitmapH);
  thread_ = std::thread([this] { run(); });
}

SignService::~SignService() {
  {
    std::lock_guard<std::mutex> lk(queueMu_);
    stopping_ = true;
  }
  queueCv_.notify_all();
  thread_.join();
}

void SignService::setClock(SignBoard::Clock clock) {
  // The board is the drawing thread's; the clock goes over with the queue.
  std::lock_guard<std::mutex> lk(queueMu_);
  clock_ = std::move(clock);
  clockChanged_ = true;
}

void SignService::enqueue(Item item) {
  {
    std::lock_guard<std::mutex> lk(queueMu_);
    queue_.push_back(std::move(item));
    ++posted_;
  }
  queueCv_.notify_all();
}

void SignService::addController(const std::string& address, int width, int height) {
  addSign(address, "controller", "", width, height);
}

void SignService::addSign(const std::string& id, const std::string& kind, const std::string& name, int width,
                          int height) {
  Item item;
  item.does = Item::Does::AddSign;
  item.address = id;
  item.kind = kind;
  item.name = name;
  item.width = width;
  item.height = height;
  enqueue(std::move(item));
}

void SignService::addLine(const std::string& address) {
  Item item;
  item.does = Item::Does::AddLine;
  item.address = address;
  enqueue(std::move(item));
}

bool SignService::post(const Frame& f, const std::string& address) {
  {
    std::lock_guard<std::mutex> lk(queueMu_);
    if (queue_.size() >= settings_.queueLimit) return false;
    Item item;
    item.frame = f;
    item.address = address;
    queue_.push_back(std::move(item));
    ++posted_;
  }
  queueCv_.notify_all();
  return true;
}

bool SignService::flush(int timeoutMs) {
  std::unique_lock<std::mutex> lk(queueMu_);
  const uint64_t target = posted_;
  return doneCv_.wait_for(lk, std::chrono::milliseconds(timeoutMs), [&] { return done_ >= target; });
}

uint64_t SignService::version() const {
  std::lock_guard<std::mutex> lk(pubMu_);
  return version_;
}

uint64_t SignService::waitForChange(uint64_t seen, int timeoutMs) const {
  std::unique_lock<std::mutex> lk(pubMu_);
  pubCv_.wait_for(lk, std::chrono::milliseconds(timeoutMs), [&] { return version_ > seen; });
  return version_;
}

std::string SignService::stateJson() const {
  std::lock_guard<std::mutex> lk(pubMu_);
  return state_;
}

bool SignService::png(const std::string& id, std::string* out) const {
  std::shared_ptr<const std::string> p;
  {
    std::lock_guard<std::mutex> lk(pubMu_);
    auto it = published_.find(fileName(id));
    if (it == published_.end()) it = published_.find(id);  // the file name itself
    if (it == published_.end()) return false;
    p = it->second;
  }
  *out = *p;
  return true;
}

std::vector<std::string> SignService::logSince(uint64_t after, uint64_t* last) const {
  std::vector<std::string> out;
  std::lock_guard<std::mutex> lk(pubMu_);
  for (const auto& e : log_)
    if (e.first > after) out.push_back(e.second);
  if (last) *last = logSeq_;
  return out;
}

void SignService::render(const std::string& id, bool draw, bool writeFile) {
  const SignState* s = board_.find(id);
  if (!s) return;
  const SignLayout l = board_.layout(*s);
  const bool time = showsTime(l);
  timeSigns_.erase(id);
  if (time && s->playing) timeSigns_.insert(id);
  if (draw || !pngs_.count(fileName(id))) {
    const RgbImage m = board_.draw(*s, l, *font_);
    const RgbImage img = drawLeds(m, s->brightness1, ledPitch(l.width, l.height));
    auto bytes = std::make_shared<std::string>();
    if (!encodePng(img, bytes.get())) bytes->clear();
    pngs_[fileName(id)] = bytes;
    ++pictures_[id];
    if (writeFile && !settings_.outDir.empty()) {
      // Written under another name and renamed, so that a reader never sees
      // half a picture.
      const std::string path = settings_.outDir + "/" + fileName(id);
      const std::string part = path + ".part";
      std::FILE* file = std::fopen(part.c_str(), "wb");
      bool ok = file && std::fwrite(bytes->data(), 1, bytes->size(), file) == bytes->size();
      if (file && std::fclose(file) != 0) ok = false;
      if (!ok || std::rename(part.c_str(), path.c_str()) != 0) {
        std::remove(part.c_str());
        if (settings_.onError) settings_.onError("cannot write " + path);
      }
    }
  }
  json_[id] = signJson(*s, l, pictures_[id]);
}

void SignService::publish() {
  std::string state = "{\"signs\":[";
  bool first = true;
  for (const auto& j : json_) {
    if (!first) state += ',';
    first = false;
    state += j.second;
  }
  state += "]}";
  {
    std::lock_guard<std::mutex> lk(pubMu_);
    ++version_;
    state_ = std::move(state);
    published_ = pngs_;
    for (auto& e : pendingLog_) {
      log_.push_back(std::move(e));
      logSeq_ = log_.back().first;
    }
    while (log_.size() > settings_.logLines) log_.pop_front();
  }
  pendingLog_.clear();
  pubCv_.notify_all();
}

void SignService::run() {
  uint64_t seq = 0;
  auto nextTick = Steady::now() + std::chrono::seconds(1);
  for (;;) {
    std::deque<Item> batch;
    bool stop = false;
    {
      std::unique_lock<std::mutex> lk(queueMu_);
      queueCv_.wait_until(lk, nextTick, [&] { return stopping_ || !queue_.empty(); });
      batch.swap(queue_);
      stop = stopping_;
      if (clockChanged_) {
        board_.setClock(clock_);
        clockChanged_ = false;
      }
    }
    std::set<std::string> changed;
    for (const Item& item : batch) {
      if (item.does == Item::Does::AddLine) {
        board_.addLine(item.address);
        continue;
      }
      if (item.does == Item::Does::AddSign) {
        board_.addSign(item.address, item.kind, item.name, item.width, item.height);
        changed.insert(item.address);
        continue;
      }
      const std::string id = board_.apply(item.frame, item.address);
      if (!id.empty()) changed.insert(id);
      const std::string sign = id.empty() ? board_.idFor(item.frame, item.address) : id;
      ++seq;
      const SignState* named = board_.find(sign);
      pendingLog_.emplace_back(seq, "{\"seq\":" + std::to_string(seq) + ",\"sign\":" + jsonString(sign) +
                                          ",\"name\":" + jsonString(named ? named->name : std::string()) +
                                          ",\"ok\":" + (item.frame.checksOk ? "true" : "false") +
                                          ",\"line\":" + jsonString(item.frame.text()) + "}");
    }
    const bool tick = Steady::now() >= nextTick;
    if (tick) {
      nextTick = Steady::now() + std::chrono::seconds(1);
      // The page's clocks move on; pictures only where a running clock shows.
      for (const auto& j : board_.signs())
        if (!changed.count(j.first)) render(j.first, timeSigns_.count(j.first) > 0, false);
    }
    for (const std::string& id : changed) render(id, true, true);
    if (!batch.empty() || tick) publish();
    {
      std::lock_guard<std::mutex> lk(queueMu_);
      done_ += batch.size();
    }
    doneCv_.notify_all();
    if (stop && batch.empty()) return;
  }
}

}  // namespace vexasim
