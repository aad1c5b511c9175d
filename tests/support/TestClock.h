// Fixed local times for the clock source the library reads (see
// SetLocalTimeSource), so that dates and times in frames and logs are known.
#ifndef VEXA_TESTS_TESTCLOCK_H
#define VEXA_TESTS_TESTCLOCK_H

#include <ctime>

inline std::tm Moment(int y, int mo, int d, int h, int mi, int s) {
  std::tm t{};
  t.tm_year = y - 1900;
  t.tm_mon = mo - 1;
  t.tm_mday = d;
  t.tm_hour = h;
  t.tm_min = mi;
  t.tm_sec = s;
  return t;
}

// 6 December 2026, 14:03:07 local time.
inline std::tm Dec6At140307() { return Moment(2026, 12, 6, 14, 3, 7); }

// 6 December 2026, 22:25:05 local time, a Sunday.
inline std::tm Dec6At222505() { return Moment(2026, 12, 6, 22, 25, 5); }

#endif  // VEXA_TESTS_TESTCLOCK_H
