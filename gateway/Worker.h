// One worker per sign, or per serial line for the signs that share it: one
// command in flight, a bounded FIFO queue, the signs' health, their clock,
// and what a sign gets again when it comes back.
#ifndef LIBVEXA_X86_GATEWAY_WORKER_H
#define LIBVEXA_X86_GATEWAY_WORKER_H

#include <condition_variable>
#include <deque>
#include <map>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "gateway/Health.h"
#include "gateway/Request.h"
#include "gateway/Store.h"
#include "hall/Hall.h"

namespace gateway {

// What a worker reports to, and asks of, the gateway.
class WorkerSink {
 public:
  virtual ~WorkerSink() = default;
  virtual hall::Hall& TheHall() = 0;
  // Every command sent (the gateway's own included); `final`: the job is
  // done with (it is not tried again).
  virtual void Sent(const Job& job, const hall::SignResult& r, bool final) = 0;
  virtual void AvailabilityChanged(const std::string& sign, Availability now) = 0;
  // What the sign should show now, to give it again when it is back.
  virtual std::vector<Shown> ShowsOf(const std::string& sign) = 0;
};

struct SignStatus {
  std::string sign;
  Availability availability = Availability::kUnknown;
  int failuresInRow = 0;
  std::string lastCommand;
  int lastResult = -1;  // -1: nothing sent yet
  std::string lastReason;
  size_t queued = 0;
};

class Worker {
 public:
  Worker(WorkerSink* sink, std::vector<const hall::Sign*> signs, size_t capacity, int offlineAfter,
         int clockEverySec, int retryEverySec);
  ~Worker();
  Worker(const Worker&) = delete;
  Worker& operator=(const Worker&) = delete;

  void Start();
  // Ends after the command in flight; the queue stays (it is in the store).
  void Stop();

  const std::vector<const hall::Sign*>& signs() const { return signList_; }
  size_t capacity() const { return capacity_; }

  // Admission: the gateway holds the lock while it checks, stores and queues.
  std::unique_lock<std::mutex> Lock() { return std::unique_lock<std::mutex>(mutex_); }
  size_t QueuedLocked() const { return queue_.size(); }
  // The queued job of `sign` at `place` that a newer one replaces; nullptr
  // when none (or `place` is empty).
  Job* ReplaceableLocked(const std::string& sign, const std::string& place);
  void PushLocked(Job job) { queue_.push_back(std::move(job)); }
  Availability AvailabilityLocked(const std::string& sign) const;
  // Jobs queued ahead of a new one, for the time a request may wait.
  void Wake() { wake_.notify_all(); }

  std::vector<SignStatus> Status() const;

 private:
  struct SignState {
    const hall::Sign* sign = nullptr;
    Health health;
    std::string lastCommand;
    int lastResult = -1;
    std::string lastReason;
  };
  void Run();
  // What to do next, under the lock; false when nothing is due. `fromQueue`
  // tells a queued job (taken out while in flight) from the gateway's own.
  bool Next(Health::Clock::time_point now, Job* job, bool* fromQueue);
  // Gives a sign that is back its layout (a queued upload first) and what
  // each of its fields should show, ahead of everything else.
  void Restore(const hall::Sign& sign);
  hall::SignResult Send(const hall::Sign& sign, const Job& job);

  WorkerSink* sink_;
  std::vector<const hall::Sign*> signList_;
  size_t capacity_;
  mutable std::mutex mutex_;
  std::condition_variable wake_;
  std::deque<Job> queue_;
  std::map<std::string, SignState> state_;
  bool stopping_ = false;
  std::thread thread_;
};

}  // namespace gateway

#endif  // LIBVEXA_X86_GATEWAY_WORKER_H
