// Admission (checks, coalescing, bounded queues, the store's commit before
// the answer), results, and the state the fronts read.
#include "gateway/Gateway.h"

#include <algorithm>
#include <set>

namespace gateway {

using nlohmann::json;

namespace {

// A logfmt value: bare when it has no space, quote or equals sign.
std::string LogValue(const std::string& s, bool alwaysQuote = false) {
  const bool bare = !alwaysQuote && !s.empty() && s.find_first_of(" \"=\\\t\n") == std::string::npos;
  if (bare) return s;
  std::string out = "\"";
  for (char c : s) {
    if (c == '"' || c == '\\') out += '\\';
    if (c == '\n') {
      out += "\\n";
      continue;
    }
    out += c;
  }
  return out + "\"";
}

json ResultEntry(const Job& j) {
  return json{{"sign", j.sign}, {"command", j.command}, {"state", "queued"}};
}

bool AllAccepted(const json& results) {
  for (const json& r : results) {
    if (r.value("state", "") == "done" && r.value("result", 1) != 0) return false;
  }
  return true;
}

}  // namespace

Gateway::Gateway(std::unique_ptr<hall::HallFile> hall, Config config, std::unique_ptr<Store> store,
                 std::FILE* log)
    : hall_(std::move(hall)), config_(std::move(config)), store_(std::move(store)), log_(log) {
  // One worker per networked sign; one per serial line for the signs on it.
  std::map<int, std::vector<const hall::Sign*>> lines;
  for (const hall::Sign& s : hall_.file().signs) {
    if (s.networked()) {
      workers_.push_back(std::make_unique<Worker>(static_cast<WorkerSink*>(this), std::vector<const hall::Sign*>{&s}, config_.queue,
                                                  config_.offlineAfter, config_.clockEverySec,
                                                  config_.retryEverySec));
    } else {
      lines[s.port].push_back(&s);
    }
  }
  for (auto& [port, signs] : lines) {
    (void)port;
    workers_.push_back(std::make_unique<Worker>(static_cast<WorkerSink*>(this), signs, config_.queue, config_.offlineAfter,
                                                config_.clockEverySec, config_.retryEverySec));
  }
  for (auto& w : workers_) {
    for (const hall::Sign* s : w->signs()) workerOf_[s->name] = w.get();
  }
}

Gateway::~Gateway() { Stop(); }

bool Gateway::Start(std::string* why) {
  if (hall_.ServeLogins() != 0) {
    *why = "the login server cannot start on port " + std::to_string(hall_.file().loginPort);
    return false;
  }
  for (Shown& s : store_->Shows()) {
    if (hall_.file().FindSign(s.sign)) shows_[s.sign][s.show] = s;
  }
  for (RequestRecord& r : store_->OpenRequests()) {
    Live l;
    l.record = std::move(r);
    for (size_t i = 0; i < l.record.results.size(); ++i) {
      const json& e = l.record.results[i];
      if (e.value("state", "") != "queued") continue;
      ++l.pending;
      jobIndex_[e.value("job", int64_t{0})] = {l.record.id, i};
    }
    live_[l.record.id] = std::move(l);
  }
  // Every command accepted and not delivered, in the order accepted,
  // whatever the queue's bound now.
  for (Job& j : store_->Pending()) {
    Worker* w = WorkerOf(j.sign);
    if (w == nullptr) continue;  // a sign no longer in the hall: its request stays queued
    auto lock = w->Lock();
    w->PushLocked(std::move(j));
  }
  for (auto& w : workers_) w->Start();
  started_ = true;
  return true;
}

void Gateway::StopWaiting() {
  {
    std::lock_guard<std::mutex> lock(liveMutex_);
    noWaiting_ = true;
  }
  finished_.notify_all();
}

void Gateway::Stop() {
  for (auto& w : workers_) w->Stop();
}

Worker* Gateway::WorkerOf(const std::string& sign) {
  auto it = workerOf_.find(sign);
  return it == workerOf_.end() ? nullptr : it->second;
}

Outcome Gateway::Call(const std::string& body, bool wait) {
  std::string ticket;
  int counter = 0;
  std::vector<Job> jobs;
  Refusal why;
  if (!MakeCall(hall_.file(), body, &ticket, &counter, &jobs, &why)) return {why.status, why.Json()};
  return Admit(json{{"call", {{"ticket", ticket}, {"counter", counter}}}}, std::move(jobs), wait);
}

Outcome Gateway::Command(const std::string& sign, const std::string& command, const std::string& body,
                         bool wait) {
  Job job;
  Refusal why;
  if (!MakeJob(hall_.file(), sign, command, body, &job, &why)) return {why.status, why.Json()};
  json asked{{"sign", sign}, {"command", command}, {"args", job.args}};
  return Admit(std::move(asked), {std::move(job)}, wait);
}

Outcome Gateway::Admit(json asked, std::vector<Job> jobs, bool wait) {
  std::lock_guard<std::mutex> admission(admission_);
  // Every worker the request needs, locked in one order.
  std::vector<Worker*> involved;
  for (const Job& j : jobs) involved.push_back(WorkerOf(j.sign));
  std::sort(involved.begin(), involved.end());
  involved.erase(std::unique(involved.begin(), involved.end()), involved.end());
  std::vector<std::unique_lock<std::mutex>> locks;
  for (Worker* w : involved) locks.push_back(w->Lock());

  for (const Job& j : jobs) {
    if (config_.refuseWhenOffline.count(j.sign) &&
        WorkerOf(j.sign)->AvailabilityLocked(j.sign) == Availability::kOffline) {
      return {503, json{{"error", "sign \"" + j.sign + "\" is offline; nothing was queued"},
                        {"field", "sign"}}};
    }
  }
  // Jobs that replace a queued older one of the same place take no room.
  std::vector<Job*> old(jobs.size(), nullptr);
  std::map<Worker*, size_t> room;
  for (size_t i = 0; i < jobs.size(); ++i) {
    Worker* w = WorkerOf(jobs[i].sign);
    old[i] = w->ReplaceableLocked(jobs[i].sign, jobs[i].place);
    if (old[i] == nullptr) ++room[w];
  }
  for (auto& [w, needed] : room) {
    if (w->QueuedLocked() + needed <= w->capacity()) continue;
    std::string full;
    for (const Job& j : jobs) {
      if (WorkerOf(j.sign) != w) continue;
      if (full.empty()) full = j.sign;
      metrics_.Drop(j.sign);
      break;
    }
    return {429, json{{"error", "the queue of sign \"" + full + "\" is full (" +
                                    std::to_string(w->capacity()) + " commands); nothing was queued"},
                      {"field", "sign"}}};
  }

  RequestRecord record;
  record.asked = std::move(asked);
  record.results = json::array();
  for (const Job& j : jobs) record.results.push_back(ResultEntry(j));
  record.done = jobs.empty();
  std::vector<int64_t> replacedIds;
  for (Job* o : old) {
    if (o) replacedIds.push_back(o->id);
  }
  // The requests in progress are held from the commit to the bookkeeping:
  // a result written meanwhile would be overwritten by the older text.
  std::unique_lock<std::mutex> liveLock(liveMutex_);
  // What the replaced jobs' requests say once this one has its id.
  auto replacedResults = [&](int64_t newId) {
    std::vector<std::pair<int64_t, json>> out;
    for (Job* o : old) {
      if (o == nullptr) continue;
      auto at = jobIndex_.find(o->id);
      if (at == jobIndex_.end()) continue;
      auto l = live_.find(at->second.first);
      if (l == live_.end()) continue;
      json results = l->second.record.results;
      json& e = results[at->second.second];
      e["state"] = "replaced";
      e["by"] = newId;
      out.emplace_back(l->first, std::move(results));
    }
    return out;
  };
  if (!store_->Accept(&record, &jobs, replacedIds, replacedResults)) {
    return {500, json{{"error", "the store could not keep the request; nothing was queued"},
                      {"field", ""}}};
  }
  const int64_t id = record.id;

  // The time this request may wait for its results: every command ahead of
  // it and its own, each with the sign's attempts, until it counts as offline.
  long boundMs = 0;
  {
    for (size_t i = 0; i < jobs.size(); ++i) {
      Job* o = old[i];
      if (o != nullptr) {
        auto at = jobIndex_.find(o->id);
        if (at != jobIndex_.end()) {
          auto l = live_.find(at->second.first);
          if (l != live_.end()) {
            json& e = l->second.record.results[at->second.second];
            e["state"] = "replaced";
            e["by"] = id;
            if (--l->second.pending == 0) l->second.record.done = true;
          }
          jobIndex_.erase(at);
        }
      }
      jobIndex_[jobs[i].id] = {id, i};
    }
    Live l;
    l.record = record;
    l.pending = static_cast<int>(jobs.size());
    live_[id] = std::move(l);
    Forget();
  }
  liveLock.unlock();
  finished_.notify_all();
  // The requests whose commands were replaced are told so once the lock is
  // given up.
  std::vector<SignEvent> replacedEvents;
  for (Job* o : old) {
    if (o == nullptr) continue;
    SignEvent e;
    e.kind = SignEvent::Kind::kResult;
    e.sign = o->sign;
    e.command = o->command;
    e.request = o->request;
    e.replacedBy = id;
    e.reason = "replaced by request " + std::to_string(id);
    replacedEvents.push_back(std::move(e));
  }
  for (size_t i = 0; i < jobs.size(); ++i) {
    Worker* w = WorkerOf(jobs[i].sign);
    const hall::Sign& s = *hall_.file().FindSign(jobs[i].sign);
    const long attempt = (s.timeoutMs > 0 ? s.timeoutMs : hall_.file().timeoutMs) *
                             ((s.retries >= 0 ? s.retries : hall_.file().retries) + 1L) +
                         100;
    boundMs = std::max(boundMs, attempt * config_.offlineAfter * static_cast<long>(w->QueuedLocked() + 1));
    if (old[i] != nullptr) {
      *old[i] = jobs[i];
    } else {
      w->PushLocked(jobs[i]);
    }
  }
  locks.clear();
  for (Worker* w : involved) w->Wake();
  for (const SignEvent& e : replacedEvents) Emit(e);
  for (const Job& j : jobs) {
    if (j.show.empty()) continue;
    Shown shown{j.sign, j.show, j.command, j.args};
    {
      std::lock_guard<std::mutex> lock(showsMutex_);
      shows_[j.sign][j.show] = shown;
    }
    SignEvent e;
    e.kind = SignEvent::Kind::kShows;
    e.sign = j.sign;
    e.show = j.show;
    e.content = json{{"command", j.command}, {"args", j.args}};
    Emit(e);
  }
  const long cap = config_.waitCapMs;
  return Answer(id, wait, std::chrono::milliseconds(std::min(boundMs + 1000, cap)));
}

Outcome Gateway::Answer(int64_t id, bool wait, std::chrono::milliseconds bound) {
  std::unique_lock<std::mutex> lock(liveMutex_);
  auto done = [&] {
    auto it = live_.find(id);
    return noWaiting_ || it == live_.end() || it->second.record.done;
  };
  if (wait) finished_.wait_for(lock, bound, done);
  auto it = live_.find(id);
  if (it == live_.end()) {
    lock.unlock();
    return Request(id);
  }
  const RequestRecord& r = it->second.record;
  if (!wait) return {202, json{{"id", id}, {"state", "queued"}}};
  json body{{"id", id}, {"state", r.done ? "done" : "queued"}, {"results", r.results}};
  if (r.done) body["ok"] = AllAccepted(r.results);
  return {r.done ? 200 : 202, body};
}

Outcome Gateway::Request(int64_t id) {
  RequestRecord r;
  {
    std::lock_guard<std::mutex> lock(liveMutex_);
    auto it = live_.find(id);
    if (it != live_.end()) r = it->second.record;
  }
  if (r.id == 0 && !store_->FindRequest(id, &r)) {
    return {404, json{{"error", "no request " + std::to_string(id)}, {"field", "id"}}};
  }
  json body{{"id", r.id}, {"state", r.done ? "done" : "queued"}, {"asked", r.asked}, {"results", r.results}};
  if (r.done) body["ok"] = AllAccepted(r.results);
  return {200, body};
}

void Gateway::Forget() {
  // Under liveMutex_. Finished requests stay readable from the store.
  constexpr size_t kKeptInMemory = 1000;
  for (auto it = live_.begin(); live_.size() > kKeptInMemory && it != live_.end();) {
    if (it->second.record.done) {
      it = live_.erase(it);
    } else {
      ++it;
    }
  }
}

void Gateway::Sent(const Job& job, const hall::SignResult& r, bool final) {
  metrics_.Command(job.sign, job.command, r.result, static_cast<double>(r.ms) / 1000.0);
  Log(job, r);
  SignEvent e;
  e.kind = SignEvent::Kind::kResult;
  e.sign = job.sign;
  e.command = job.command;
  e.result = r.result;
  e.reason = r.reason;
  e.request = job.request;
  if (!final || job.id == 0) {
    Emit(e);
    return;
  }
  {
    std::lock_guard<std::mutex> lock(liveMutex_);
    auto at = jobIndex_.find(job.id);
    RequestRecord none;
    RequestRecord* record = &none;
    if (at != jobIndex_.end()) {
      auto l = live_.find(at->second.first);
      if (l != live_.end()) {
        json& entry = l->second.record.results[at->second.second];
        entry["state"] = "done";
        entry["result"] = r.result;
        entry["reason"] = r.reason;
        entry["ms"] = r.ms;
        if (--l->second.pending <= 0) l->second.record.done = true;
        record = &l->second.record;
      }
      jobIndex_.erase(at);
    }
    if (!store_->Complete(job.id, *record) && log_) {
      std::fprintf(log_, "error=\"the store could not record job %lld\"\n", static_cast<long long>(job.id));
    }
  }
  finished_.notify_all();
  // After the bookkeeping, so that a front reading the request on this
  // event finds its result there.
  Emit(e);
}

void Gateway::AvailabilityChanged(const std::string& sign, Availability now) {
  SignEvent e;
  e.kind = SignEvent::Kind::kAvailability;
  e.sign = sign;
  e.availability = now;
  Emit(e);
}

std::vector<Shown> Gateway::ShowsOf(const std::string& sign) {
  std::lock_guard<std::mutex> lock(showsMutex_);
  std::vector<Shown> out;
  auto it = shows_.find(sign);
  if (it == shows_.end()) return out;
  for (auto& [show, s] : it->second) out.push_back(s);
  return out;
}

void Gateway::Log(const Job& job, const hall::SignResult& r) {
  if (log_ == nullptr) return;
  std::string line = "sign=" + LogValue(job.sign) + " command=" + LogValue(job.command) +
                     " result=" + std::to_string(r.result) + " reason=" + LogValue(r.reason, true) +
                     " ms=" + std::to_string(r.ms);
  if (job.request != 0) line += " request=" + std::to_string(job.request);
  line += '\n';
  std::lock_guard<std::mutex> lock(logMutex_);
  std::fputs(line.c_str(), log_);
  std::fflush(log_);
}

void Gateway::Emit(const SignEvent& e) {
  std::lock_guard<std::mutex> lock(listenersMutex_);
  for (auto& [id, f] : listeners_) f(e);
}

int Gateway::Subscribe(std::function<void(const SignEvent&)> listener) {
  std::lock_guard<std::mutex> lock(listenersMutex_);
  listeners_[nextListener_] = std::move(listener);
  return nextListener_++;
}

void Gateway::Unsubscribe(int subscription) {
  std::lock_guard<std::mutex> lock(listenersMutex_);
  listeners_.erase(subscription);
}

json Gateway::Signs() {
  json out = json::array();
  std::map<std::string, SignStatus> status;
  for (auto& w : workers_) {
    for (SignStatus& s : w->Status()) status[s.sign] = std::move(s);
  }
  std::lock_guard<std::mutex> lock(showsMutex_);
  for (const hall::Sign& sign : hall_.file().signs) {
    const SignStatus& s = status[sign.name];
    json shows = json::object();
    auto it = shows_.find(sign.name);
    if (it != shows_.end()) {
      for (auto& [show, c] : it->second) shows[show] = json{{"command", c.command}, {"args", c.args}};
    }
    json last = nullptr;
    if (s.lastResult >= 0) {
      last = json{{"command", s.lastCommand}, {"result", s.lastResult}, {"reason", s.lastReason}};
    }
    out.push_back(json{{"name", sign.name},
                       {"where", sign.Where()},
                       {"availability", Name(s.availability)},
                       {"failures_in_row", s.failuresInRow},
                       {"last", last},
                       {"queued", s.queued},
                       {"shows", shows}});
  }
  return out;
}

std::string Gateway::MetricsText() {
  std::vector<Metrics::SignGauge> gauges;
  for (auto& w : workers_) {
    for (const SignStatus& s : w->Status()) {
      gauges.push_back({s.sign, s.queued, s.availability == Availability::kOnline});
    }
  }
  return metrics_.Text(gauges);
}

json Gateway::HealthJson() {
  int online = 0, offline = 0, total = 0;
  for (auto& w : workers_) {
    for (const SignStatus& s : w->Status()) {
      ++total;
      online += s.availability == Availability::kOnline;
      offline += s.availability == Availability::kOffline;
    }
  }
  return json{{"status", "ok"}, {"signs", total}, {"online", online}, {"offline", offline}};
}

}  // namespace gateway
