// The one place the library reads the local date and time, so that the
// clock record, the date-time text and the login greeting can be checked
// byte for byte at a fixed moment.
#ifndef LIBVEXA_X86_CORE_CLOCK_H
#define LIBVEXA_X86_CORE_CLOCK_H

#include <ctime>

// The current local time, broken down (tm_year counts from 1900).
std::tm LocalTimeNow();

// Replaces the clock for tests: `source` returns the moment to use; nullptr
// restores the real clock.
void SetLocalTimeSource(std::tm (*source)());

#endif  // LIBVEXA_X86_CORE_CLOCK_H
