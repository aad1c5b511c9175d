// The gateway's counters, in Prometheus' text format: commands by sign,
// command and result, a latency histogram by command, queue depths, drops,
// each sign's availability, and HTTP answers by status.
#ifndef LIBVEXA_X86_GATEWAY_METRICS_H
#define LIBVEXA_X86_GATEWAY_METRICS_H

#include <array>
#include <cstdint>
#include <functional>
#include <map>
#include <mutex>
#include <string>
#include <tuple>

namespace gateway {

class Metrics {
 public:
  // Upper bounds of the latency histogram's buckets, in seconds.
  static constexpr std::array<double, 12> kBuckets = {0.001, 0.0025, 0.005, 0.01, 0.025, 0.05,
                                                      0.1,   0.25,   0.5,   1,    2.5,   5};

  void Command(const std::string& sign, const std::string& command, int result, double seconds);
  void Drop(const std::string& sign);
  void Http(int status);

  // Queue depth and availability are read when the text is made.
  struct SignGauge {
    std::string sign;
    size_t queued = 0;
    bool up = false;
  };
  std::string Text(const std::vector<SignGauge>& signs) const;

  uint64_t drops(const std::string& sign) const;
  uint64_t commands(const std::string& sign, const std::string& command, int result) const;

 private:
  struct Histogram {
    std::array<uint64_t, kBuckets.size()> buckets{};
    uint64_t count = 0;
    double sum = 0;
  };
  mutable std::mutex mutex_;
  std::map<std::tuple<std::string, std::string, int>, uint64_t> commands_;
  std::map<std::string, Histogram> latency_;
  std::map<std::string, uint64_t> drops_;
  std::map<int, uint64_t> http_;
};

// A Prometheus label value: backslash, quote and newline escaped.
std::string LabelValue(const std::string& s);

}  // namespace gateway

#endif  // LIBVEXA_X86_GATEWAY_METRICS_H
