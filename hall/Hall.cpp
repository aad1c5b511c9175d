// The hall's operations, each made of the library's exported functions.
#include "hall/Hall.h"

#include <algorithm>
#include <chrono>
#include <condition_variable>
#include <map>
#include <thread>

#include "SKYREL.h"
#include "hall/SignCommands.h"
#include "vexa.h"

namespace hall {

namespace {

using Clock = std::chrono::steady_clock;

// What a line-up field and a data field are sent besides the ticket: the
// values to pass when unsure.
constexpr int kLineKind = 1;
constexpr int kUnitAddress = 1;
constexpr int kRed = 1;

// The settings the hall puts in force for a group of signs.
struct Settings {
  int timeoutMs;
  int retries;
  bool operator==(const Settings& o) const {
    return timeoutMs == o.timeoutMs && retries == o.retries;
  }
};

// The library's settings are process-wide. Operations of the hall that need
// the same settings run together; one that needs others waits until those
// running have ended. The application's own settings are put back when the
// last operation ends.
class SettingsInForce {
 public:
  void Enter(const Settings& wanted) {
    std::unique_lock<std::mutex> lock(mutex_);
    changed_.wait(lock, [&] { return users_ == 0 || current_ == wanted; });
    if (users_ == 0) {
      saved_ = {vexa_send_time_out(), vexa_receive_time_out(), vexa_re_send_times()};
      SetReceiveTimeOut(wanted.timeoutMs);
      SetReSendTimes(wanted.retries);
      current_ = wanted;
    }
    ++users_;
  }
  void Leave() {
    std::lock_guard<std::mutex> lock(mutex_);
    if (--users_ == 0) {
      SetTimeOut(saved_.send, saved_.receive);
      SetReSendTimes(saved_.retries);
      changed_.notify_all();
    }
  }

 private:
  struct Saved {
    int send = 100, receive = 100, retries = 0;
  };
  std::mutex mutex_;
  std::condition_variable changed_;
  int users_ = 0;
  Settings current_{0, 0};
  Saved saved_;
};

SettingsInForce& TheSettings() {
  static SettingsInForce* settings = new SettingsInForce;  // outlives every thread
  return *settings;
}

Settings SettingsOf(const HallFile& file, const Sign& sign) {
  return {sign.timeoutMs > 0 ? sign.timeoutMs : file.timeoutMs,
          sign.retries >= 0 ? sign.retries : file.retries};
}

long MsSince(Clock::time_point start) {
  return static_cast<long>(
      std::chrono::duration_cast<std::chrono::milliseconds>(Clock::now() - start).count());
}

// One sign's result of `send`, with the library's reason for the calling
// thread when it did not accept.
SignResult Run(const Sign& sign, const std::string& command, const std::function<int()>& send) {
  SignResult r;
  r.sign = sign.name;
  r.command = command;
  const Clock::time_point start = Clock::now();
  try {
    r.result = send();
  } catch (...) {
    r.result = 1;
    r.reason = "out of memory";
  }
  r.ms = MsSince(start);
  if (r.result != 0 && r.reason.empty()) r.reason = vexa_last_reason();
  return r;
}

char* Text(std::string& s) { return &s[0]; }

}  // namespace

int FirstFailure(const std::vector<SignResult>& results) {
  for (const SignResult& r : results) {
    if (r.result != 0) return r.result;
  }
  return 0;
}

Hall::Hall(std::unique_ptr<HallFile> file) : file_(std::move(file)) {}

std::unique_ptr<Hall> Hall::Open(const std::string& path, std::vector<Mistake>* mistakes) {
  std::unique_ptr<HallFile> file = LoadHallFile(path, mistakes);
  if (!file) return nullptr;
  return std::make_unique<Hall>(std::move(file));
}

char* Hall::Address(const Sign& sign) { return const_cast<char*>(sign.address.c_str()); }
char* Hall::Bus(const Sign& sign) { return const_cast<char*>(sign.bus.c_str()); }

int Hall::ServeLogins() {
  const bool dialsIn = std::any_of(file_->signs.begin(), file_->signs.end(), [](const Sign& s) {
    return s.transport == Transport::kLogin;
  });
  if (!dialsIn || file_->loginPort == 0) return 0;
  return OpenServer(file_->loginPort);
}

SignResult Hall::Send(const Sign& sign, const std::string& command,
                      const std::function<int()>& send) {
  const Settings settings = SettingsOf(*file_, sign);
  TheSettings().Enter(settings);
  SignResult r = Run(sign, command, send);
  TheSettings().Leave();
  return r;
}

std::vector<SignResult> Hall::SendEach(const std::vector<const Sign*>& signs,
                                       const std::string& command,
                                       const std::function<int(const Sign&)>& send) {
  std::vector<SignResult> results(signs.size());
  // Signs of the same settings at once, each group after the one before.
  std::vector<bool> done(signs.size(), false);
  for (size_t first = 0; first < signs.size(); ++first) {
    if (done[first]) continue;
    const Settings settings = SettingsOf(*file_, *signs[first]);
    std::vector<size_t> group;
    for (size_t i = first; i < signs.size(); ++i) {
      if (!done[i] && SettingsOf(*file_, *signs[i]) == settings) group.push_back(i);
    }
    TheSettings().Enter(settings);
    std::vector<std::thread> threads;
    for (size_t i : group) {
      done[i] = true;
      const Sign& sign = *signs[i];
      try {
        threads.emplace_back([&, i] { results[i] = Run(sign, command, [&] { return send(sign); }); });
      } catch (...) {
        // No thread to be had: this sign is served here.
        results[i] = Run(sign, command, [&] { return send(sign); });
      }
    }
    for (std::thread& t : threads) t.join();
    TheSettings().Leave();
  }
  return results;
}

namespace {

// The signs of `file` named in `only` (all when empty) that `keep` accepts.
std::vector<const Sign*> Chosen(const HallFile& file, const std::vector<std::string>& only,
                                bool (*keep)(const Sign&)) {
  std::vector<const Sign*> out;
  for (const Sign& s : file.signs) {
    if (!keep(s)) continue;
    if (!only.empty() && std::find(only.begin(), only.end(), s.name) == only.end()) continue;
    out.push_back(&s);
  }
  return out;
}

// Builds one sign's page set in the library's model. 0, or 1 with the
// reason kept for the calling thread.
int BuildPageSet(const Sign& sign) {
  vexa_clear_show_pages();
  for (const Page& page : sign.pages) {
    std::string from = page.from, to = page.to;
    if (AddShowPage(page.number, Text(from), Text(to), 0) != 0) return 1;
    for (const Area& area : page.areas) {
      if (AddArea(page.number, area.x, area.y, area.width, area.height) != 0) return 1;
      for (const Material& m : area.materials) {
        std::string text = m.text, none;
        std::string files;
        for (const std::string& f : m.files) files += (files.empty() ? "" : ",") + f;
        int r = 1;
        switch (m.kind) {
          case MaterialKind::kText:
            r = AddTemplate_InternalText(page.number, Text(text), m.materialId, sign.colourMode, 0,
                                         0, 0, 0, m.colour, 0, true);
            break;
          case MaterialKind::kDateTime:
            r = AddTemplate_DateTime(page.number, m.materialId, sign.colourMode, 1, 1, 1, 1, 0, 1,
                                     3, 1, 0, 0, 0, false);
            break;
          case MaterialKind::kData:
            r = AddTemplate_CollectData(page.number, Text(none), m.field, sign.colourMode, 0,
                                        m.colour, 0);
            break;
          case MaterialKind::kLineUp:
            r = AddTemplate_LineUp(page.number, Text(none), 0, 0, m.colour, 0, m.field, false);
            break;
          case MaterialKind::kImage:
            r = AddTemplate_ImageGroup(page.number, Text(files), m.materialId, sign.colourMode, 0,
                                       0, 0);
            break;
        }
        if (r != 0) return 1;
      }
    }
  }
  return 0;
}

}  // namespace

std::vector<SignResult> Hall::Upload(const std::vector<std::string>& only) {
  std::vector<SignResult> results;
  // One page set in the model at a time: sign after sign.
  for (const Sign* sign : Chosen(*file_, only, [](const Sign& s) {
         return s.networked() && !s.pages.empty();
       })) {
    std::lock_guard<std::mutex> lock(upload_);
    results.push_back(Send(*sign, "upload", [&] {
      if (BuildPageSet(*sign) != 0) return 1;
      const int r = SendTemplateData_Net(Address(*sign), sign->networkMode());
      if (r != 0) vexa_clear_show_pages();  // nothing of this sign stays for the next
      return r;
    }));
  }
  return results;
}

std::vector<SignResult> Hall::Clock(const std::vector<std::string>& only) {
  return SendEach(Chosen(*file_, only, [](const Sign& s) { return !s.bar; }), "clock",
                  [](const Sign& s) {
                    if (s.networked()) return TimeCheck_Net(Address(s), s.networkMode());
                    return TimeCheck_Com(Bus(s), s.serialProtocol, s.port, s.baud);
                  });
}

std::vector<SignResult> Hall::Call(const std::string& ticket, int counter, std::string* mistake) {
  std::vector<SignResult> results;
  const Counter* c = file_->FindCounter(counter);
  if (c == nullptr) {
    if (mistake) *mistake = "the hall has no counter " + std::to_string(counter);
    return results;
  }
  std::string bad;
  std::optional<std::string> gbkTicket = ToGbk(ticket, &bad);
  if (!gbkTicket) {
    if (mistake) *mistake = "the ticket has a character GBK cannot hold: " + bad;
    return results;
  }
  std::optional<std::string> spoken = file_->announcement.For(ticket, counter, mistake);
  if (!spoken) return results;

  // One step for each kind of display, in order; within a step each sign
  // gets its displays one after another, and the signs go at once.
  const Display::Kind kSteps[] = {Display::Kind::kLineUp, Display::Kind::kData,
                                  Display::Kind::kBar};
  const char* kNames[] = {"lineup", "data", "bar"};
  for (int step = 0; step < 3; ++step) {
    std::vector<const Sign*> signs;
    std::map<const Sign*, std::vector<const Display*>> shown;
    for (const Display& d : c->displays) {
      if (d.kind != kSteps[step]) continue;
      const Sign* s = file_->FindSign(d.sign);
      if (s == nullptr) continue;  // the file's check rules this out
      if (shown[s].empty()) signs.push_back(s);
      shown[s].push_back(&d);
    }
    std::vector<SignResult> stepResults =
        SendEach(signs, kNames[step], [&](const Sign& s) {
          int worst = 0;
          for (const Display* d : shown[&s]) {
            Arguments args;
            args.text = *gbkTicket;
            args.colour = kRed;
            args.field = d->field;
            args.slot = d->field;
            args.lineKind = kLineKind;
            args.unitAddress = kUnitAddress;
            const int r = Execute(s, kNames[step], args);
            if (worst == 0) worst = r;
          }
          return worst;
        });
    results.insert(results.end(), stepResults.begin(), stepResults.end());
  }

  std::vector<const Sign*> speakers;
  for (const Sign& s : file_->signs) {
    if (s.speaks && !s.bar) speakers.push_back(&s);
  }
  const Announcement& a = file_->announcement;
  Arguments words;
  words.text = *spoken;
  words.voiceTag = a.voiceTag;
  words.sound = a.sound;
  words.mTag = a.mTag;
  std::vector<SignResult> voice = SendEach(
      speakers, "voice", [&](const Sign& s) { return Execute(s, "voice", words); });
  results.insert(results.end(), voice.begin(), voice.end());
  return results;
}

}  // namespace hall
