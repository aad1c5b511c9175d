// A worker's loop: the clock when it is due, an offline sign tried again
// when its retry is due, else the oldest queued command of a sign that is
// not offline. A command a sign did not answer stays at the head of the
// queue: it is tried again until the sign counts as offline, and then
// delivered when the sign is back.
#include "gateway/Worker.h"

#include <algorithm>
#include <set>

namespace gateway {

using Clock = Health::Clock;

Worker::Worker(WorkerSink* sink, std::vector<const hall::Sign*> signs, size_t capacity,
               int offlineAfter, int clockEverySec, int retryEverySec)
    : sink_(sink), signList_(std::move(signs)), capacity_(capacity) {
  for (const hall::Sign* s : signList_) {
    SignState st{s, Health(offlineAfter, std::chrono::seconds(clockEverySec),
                           std::chrono::seconds(retryEverySec)),
                 "", -1, ""};
    state_.emplace(s->name, std::move(st));
  }
}

Worker::~Worker() { Stop(); }

void Worker::Start() { thread_ = std::thread([this] { Run(); }); }

void Worker::Stop() {
  {
    std::lock_guard<std::mutex> lock(mutex_);
    stopping_ = true;
  }
  wake_.notify_all();
  if (thread_.joinable()) thread_.join();
}

Job* Worker::ReplaceableLocked(const std::string& sign, const std::string& place) {
  if (place.empty()) return nullptr;
  for (Job& j : queue_) {
    if (j.sign == sign && j.place == place && j.id != 0) return &j;
  }
  return nullptr;
}

Availability Worker::AvailabilityLocked(const std::string& sign) const {
  auto it = state_.find(sign);
  return it == state_.end() ? Availability::kUnknown : it->second.health.availability();
}

std::vector<SignStatus> Worker::Status() const {
  std::lock_guard<std::mutex> lock(mutex_);
  std::vector<SignStatus> out;
  for (const hall::Sign* s : signList_) {
    const SignState& st = state_.at(s->name);
    SignStatus status;
    status.sign = s->name;
    status.availability = st.health.availability();
    status.failuresInRow = st.health.failuresInRow();
    status.lastCommand = st.lastCommand;
    status.lastResult = st.lastResult;
    status.lastReason = st.lastReason;
    status.queued = static_cast<size_t>(
        std::count_if(queue_.begin(), queue_.end(), [&](const Job& j) { return j.sign == s->name; }));
    out.push_back(std::move(status));
  }
  return out;
}

bool Worker::Next(Clock::time_point now, Job* job, bool* fromQueue) {
  // The gateway's own commands first: a clock that is due, a retry of an
  // offline sign. Bar screens have no clock; an offline one is tried again
  // with its oldest queued command.
  std::set<std::string> offline;
  for (auto& [name, st] : state_) {
    const bool isOffline = st.health.availability() == Availability::kOffline;
    if (isOffline) offline.insert(name);
    if (st.sign->bar) {
      if (isOffline && st.health.RetryDue(now)) {
        for (auto it = queue_.begin(); it != queue_.end(); ++it) {
          if (it->sign != name) continue;
          *job = std::move(*it);
          queue_.erase(it);
          *fromQueue = true;
          return true;
        }
      }
      continue;
    }
    if (isOffline ? st.health.RetryDue(now) : st.health.ClockDue(now)) {
      Job clock;
      clock.sign = name;
      clock.command = "clock";
      clock.args = nlohmann::json::object();
      *job = std::move(clock);
      *fromQueue = false;
      return true;
    }
  }
  for (auto it = queue_.begin(); it != queue_.end(); ++it) {
    if (offline.count(it->sign)) continue;
    *job = std::move(*it);
    queue_.erase(it);
    *fromQueue = true;
    return true;
  }
  return false;
}

hall::SignResult Worker::Send(const hall::Sign& sign, const Job& job) {
  hall::Hall& h = sink_->TheHall();
  if (job.command == "upload") {
    std::vector<hall::SignResult> r = h.Upload({sign.name});
    if (!r.empty()) return r.front();
    hall::SignResult none;
    none.sign = sign.name;
    none.command = "upload";
    none.reason = "the sign has no page set";
    return none;
  }
  return h.Send(sign, job.command, [&] { return Execute(h.file(), sign, job); });
}

void Worker::Restore(const hall::Sign& sign) {
  // Under the lock. Fields that a queued command will set anyway are left
  // to it.
  std::set<std::string> coming;
  std::deque<Job> front;
  for (auto it = queue_.begin(); it != queue_.end();) {
    if (it->sign == sign.name && it->command == "upload") {
      front.push_back(std::move(*it));  // the layout before the fields
      it = queue_.erase(it);
      continue;
    }
    if (it->sign == sign.name && !it->show.empty()) coming.insert(it->show);
    ++it;
  }
  for (const Shown& s : sink_->ShowsOf(sign.name)) {
    if (coming.count(s.show)) continue;
    Job j;
    j.sign = sign.name;
    j.command = s.command;
    j.args = s.args;
    j.show = s.show;
    front.push_back(std::move(j));
  }
  queue_.insert(queue_.begin(), std::make_move_iterator(front.begin()),
                std::make_move_iterator(front.end()));
}

void Worker::Run() {
  std::unique_lock<std::mutex> lock(mutex_);
  while (!stopping_) {
    Job job;
    bool fromQueue = false;
    const Clock::time_point now = Clock::now();
    if (!Next(now, &job, &fromQueue)) {
      // Nothing to send: sleep until a clock or a retry falls due, or a
      // command arrives.
      Clock::time_point until = now + std::chrono::hours(1);
      for (auto& [name, st] : state_) {
        if (st.sign->bar && st.health.availability() != Availability::kOffline) continue;
        until = std::min(until, st.health.NextDue());
      }
      wake_.wait_until(lock, until);
      continue;
    }
    SignState& st = state_.at(job.sign);
    const hall::Sign& sign = *st.sign;
    lock.unlock();
    hall::SignResult r = Send(sign, job);
    lock.lock();

    const Clock::time_point done = Clock::now();
    const Availability before = st.health.availability();
    const Health::Change change = st.health.Record(r.result, done);
    if (job.command == "clock" && r.result != 2) st.health.ClockSet(done);
    st.lastCommand = job.command;
    st.lastResult = r.result;
    st.lastReason = r.reason;
    // A queued command the sign did not answer goes back to the head of
    // the queue; any other result is final.
    const bool retry = fromQueue && r.result == 2 && job.id != 0;
    if (retry) queue_.push_front(job);
    if (change == Health::Change::kCameOnline && before == Availability::kOffline) Restore(sign);
    const Availability after = st.health.availability();
    lock.unlock();
    sink_->Sent(job, r, !retry);
    if (change != Health::Change::kNone) sink_->AvailabilityChanged(sign.name, after);
    lock.lock();
  }
}

}  // namespace gateway
