// Latency figures of the gateway's benchmarks: milliseconds and percentiles.
#pragma once

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <vector>

namespace bench {

using Clock = std::chrono::steady_clock;

inline double Ms(Clock::duration d) { return std::chrono::duration<double, std::milli>(d).count(); }

// The value below which the share `p` (0 to 1) of `v` lies; 0 for none.
inline double Percentile(std::vector<double> v, double p) {
  if (v.empty()) return 0;
  std::sort(v.begin(), v.end());
  return v[std::min(v.size() - 1, static_cast<size_t>(p * static_cast<double>(v.size())))];
}

// Prints p50 and p99 of `measured` and of `baseline` (milliseconds), then
// what the first adds to the second and their ratio at p50.
inline void PrintAgainst(const char* measuredName, const std::vector<double>& measured, const char* baselineName,
                         const std::vector<double>& baseline, const char* differenceName) {
  const double m50 = Percentile(measured, 0.5), m99 = Percentile(measured, 0.99);
  const double b50 = Percentile(baseline, 0.5), b99 = Percentile(baseline, 0.99);
  std::printf("  %-28s p50 %.3f ms  p99 %.3f ms\n", baselineName, b50, b99);
  std::printf("  %-28s p50 %.3f ms  p99 %.3f ms\n", measuredName, m50, m99);
  std::printf("  %-28s p50 %+.3f ms  p99 %+.3f ms  (ratio p50 %.2f)\n", differenceName, m50 - b50, m99 - b99,
              m50 / b50);
}

}  // namespace bench
