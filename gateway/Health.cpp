// A sign's availability and the times of its clock and retries.
#include "gateway/Health.h"

namespace gateway {

const char* Name(Availability a) {
  switch (a) {
    case Availability::kOnline:
      return "online";
    case Availability::kOffline:
      return "offline";
    default:
      return "unknown";
  }
}

bool Answered(int result) { return result == 0 || result == 3 || result == 4; }

Health::Change Health::Record(int result, Clock::time_point now) {
  lastTry_ = now;
  if (Answered(result)) {
    failures_ = 0;
    const bool back = availability_ != Availability::kOnline;
    availability_ = Availability::kOnline;
    return back ? Change::kCameOnline : Change::kNone;
  }
  if (result != 2) return Change::kNone;
  ++failures_;
  if (failures_ >= offlineAfter_ && availability_ != Availability::kOffline) {
    availability_ = Availability::kOffline;
    return Change::kWentOffline;
  }
  return Change::kNone;
}

bool Health::ClockDue(Clock::time_point now) const {
  return !clockEverSet_ || now - clockSetAt_ >= clockEvery_;
}

bool Health::RetryDue(Clock::time_point now) const {
  return availability_ == Availability::kOffline && now - lastTry_ >= retryEvery_;
}

Health::Clock::time_point Health::NextDue() const {
  if (availability_ == Availability::kOffline) return lastTry_ + retryEvery_;
  if (!clockEverSet_) return Clock::time_point{};
  return clockSetAt_ + clockEvery_;
}

}  // namespace gateway
