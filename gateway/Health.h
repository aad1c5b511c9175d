// A sign's availability as its results show it: online after a command it
// answered, offline after a number of commands in a row it did not answer.
// Also when its clock is due: at start, every `clock_every`, and as soon as
// it is back; an offline sign is tried again every `retry_every`.
#ifndef LIBVEXA_X86_GATEWAY_HEALTH_H
#define LIBVEXA_X86_GATEWAY_HEALTH_H

#include <chrono>
#include <string>

namespace gateway {

enum class Availability { kUnknown, kOnline, kOffline };
const char* Name(Availability a);

// Whether a result code says the sign answered. 0, 3 and 4 are answers (a
// refusal is the sign's own word); 2 is no answer; 1 (nothing sent) says
// nothing about the sign.
bool Answered(int result);

class Health {
 public:
  using Clock = std::chrono::steady_clock;
  Health(int offlineAfter, std::chrono::seconds clockEvery, std::chrono::seconds retryEvery)
      : offlineAfter_(offlineAfter), clockEvery_(clockEvery), retryEvery_(retryEvery) {}

  // What one command's result changes.
  enum class Change { kNone, kCameOnline, kWentOffline };
  Change Record(int result, Clock::time_point now);

  Availability availability() const { return availability_; }
  int failuresInRow() const { return failures_; }
  // Whether the clock is to be set now (never set, or `clock_every` since).
  bool ClockDue(Clock::time_point now) const;
  void ClockSet(Clock::time_point now) { clockSetAt_ = now; clockEverSet_ = true; }
  // Whether an offline sign is to be tried again now.
  bool RetryDue(Clock::time_point now) const;
  // When the next clock or retry falls due.
  Clock::time_point NextDue() const;

 private:
  int offlineAfter_;
  std::chrono::seconds clockEvery_, retryEvery_;
  Availability availability_ = Availability::kUnknown;
  int failures_ = 0;
  bool clockEverSet_ = false;
  Clock::time_point clockSetAt_{}, lastTry_{};
};

}  // namespace gateway

#endif  // LIBVEXA_X86_GATEWAY_HEALTH_H
