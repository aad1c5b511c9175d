// The gateway's counters and their text.
#include "gateway/Metrics.h"

#include <cstdio>
#include <vector>

namespace gateway {

std::string LabelValue(const std::string& s) {
  std::string out;
  for (char c : s) {
    if (c == '\\' || c == '"') {
      out += '\\';
      out += c;
    } else if (c == '\n') {
      out += "\\n";
    } else {
      out += c;
    }
  }
  return out;
}

void Metrics::Command(const std::string& sign, const std::string& command, int result, double seconds) {
  std::lock_guard<std::mutex> lock(mutex_);
  ++commands_[{sign, command, result}];
  Histogram& h = latency_[command];
  for (size_t i = 0; i < kBuckets.size(); ++i) {
    if (seconds <= kBuckets[i]) ++h.buckets[i];
  }
  ++h.count;
  h.sum += seconds;
}

void Metrics::Drop(const std::string& sign) {
  std::lock_guard<std::mutex> lock(mutex_);
  ++drops_[sign];
}

void Metrics::Http(int status) {
  std::lock_guard<std::mutex> lock(mutex_);
  ++http_[status];
}

uint64_t Metrics::drops(const std::string& sign) const {
  std::lock_guard<std::mutex> lock(mutex_);
  auto it = drops_.find(sign);
  return it == drops_.end() ? 0 : it->second;
}

uint64_t Metrics::commands(const std::string& sign, const std::string& command, int result) const {
  std::lock_guard<std::mutex> lock(mutex_);
  auto it = commands_.find({sign, command, result});
  return it == commands_.end() ? 0 : it->second;
}

std::string Metrics::Text(const std::vector<SignGauge>& signs) const {
  std::lock_guard<std::mutex> lock(mutex_);
  std::string out;
  char number[64];
  auto real = [&](double v) {
    std::snprintf(number, sizeof number, "%.6g", v);
    return std::string(number);
  };
  out += "# HELP vexa_gateway_commands_total Commands sent to signs, by sign, command and result code.\n";
  out += "# TYPE vexa_gateway_commands_total counter\n";
  for (const auto& [key, n] : commands_) {
    out += "vexa_gateway_commands_total{sign=\"" + LabelValue(std::get<0>(key)) + "\",command=\"" +
           LabelValue(std::get<1>(key)) + "\",result=\"" + std::to_string(std::get<2>(key)) + "\"} " +
           std::to_string(n) + "\n";
  }
  out += "# HELP vexa_gateway_command_seconds Time from sending a command to its result.\n";
  out += "# TYPE vexa_gateway_command_seconds histogram\n";
  for (const auto& [command, h] : latency_) {
    const std::string label = "command=\"" + LabelValue(command) + "\"";
    for (size_t i = 0; i < kBuckets.size(); ++i) {
      out += "vexa_gateway_command_seconds_bucket{" + label + ",le=\"" + real(kBuckets[i]) + "\"} " +
             std::to_string(h.buckets[i]) + "\n";
    }
    out += "vexa_gateway_command_seconds_bucket{" + label + ",le=\"+Inf\"} " + std::to_string(h.count) + "\n";
    out += "vexa_gateway_command_seconds_sum{" + label + "} " + real(h.sum) + "\n";
    out += "vexa_gateway_command_seconds_count{" + label + "} " + std::to_string(h.count) + "\n";
  }
  out += "# HELP vexa_gateway_queue_depth Commands waiting for a sign.\n";
  out += "# TYPE vexa_gateway_queue_depth gauge\n";
  for (const SignGauge& s : signs) {
    out += "vexa_gateway_queue_depth{sign=\"" + LabelValue(s.sign) + "\"} " + std::to_string(s.queued) + "\n";
  }
  out += "# HELP vexa_gateway_drops_total Commands refused because the sign's queue was full.\n";
  out += "# TYPE vexa_gateway_drops_total counter\n";
  for (const SignGauge& s : signs) {
    auto it = drops_.find(s.sign);
    out += "vexa_gateway_drops_total{sign=\"" + LabelValue(s.sign) + "\"} " +
           std::to_string(it == drops_.end() ? 0 : it->second) + "\n";
  }
  out += "# HELP vexa_sign_up Whether the sign answered its last commands (1) or is offline or not yet heard (0).\n";
  out += "# TYPE vexa_sign_up gauge\n";
  for (const SignGauge& s : signs) {
    out += "vexa_sign_up{sign=\"" + LabelValue(s.sign) + "\"} " + (s.up ? "1" : "0") + "\n";
  }
  out += "# HELP vexa_gateway_http_responses_total HTTP answers by status.\n";
  out += "# TYPE vexa_gateway_http_responses_total counter\n";
  for (const auto& [status, n] : http_) {
    out += "vexa_gateway_http_responses_total{status=\"" + std::to_string(status) + "\"} " +
           std::to_string(n) + "\n";
  }
  return out;
}

}  // namespace gateway
