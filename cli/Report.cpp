// What vexa prints for each result: one line of words, or one JSON object.
#include <cstdio>
#include <ostream>

#include "Cli.h"
#include "vexa.h"

namespace cli {

namespace {

std::string Ms(double ms, const char* format) {
  char text[32];
  std::snprintf(text, sizeof text, format, ms);
  return text;
}

// The result in a few words, for the human line.
const char* Short(int result) {
  switch (result) {
    case 0:
      return "accepted";
    case 1:
      return "not accepted";
    case 2:
      return "no reply";
    case 3:
      return "refused with status \"2\"";
    case 4:
      return "refused with status \"3\"";
    default:
      return "unknown result";
  }
}

}  // namespace

std::string JsonString(const std::string& s) {
  std::string out = "\"";
  for (unsigned char c : s) {
    switch (c) {
      case '"':
        out += "\\\"";
        break;
      case '\\':
        out += "\\\\";
        break;
      case '\n':
        out += "\\n";
        break;
      case '\r':
        out += "\\r";
        break;
      case '\t':
        out += "\\t";
        break;
      default:
        if (c < 0x20 || c == 0x7F) {
          char esc[8];
          std::snprintf(esc, sizeof esc, "\\u%04x", c);
          out += esc;
        } else {
          out += static_cast<char>(c);
        }
    }
  }
  return out + "\"";
}

void Print(std::ostream& out, const hall::SignResult& r, double ms, bool json) {
  if (json) {
    out << "{\"sign\":" << JsonString(r.sign) << ",\"command\":" << JsonString(r.command)
        << ",\"result\":" << r.result << ",\"result_text\":" << JsonString(vexa_result_text(r.result))
        << ",\"reason\":" << JsonString(r.result == 0 ? std::string() : r.reason)
        << ",\"ms\":" << Ms(ms, "%.3f") << "}\n";
    return;
  }
  out << r.sign << ' ' << r.command << ": ";
  if (r.result != 0) out << "result " << r.result << ", ";
  out << Short(r.result);
  if (r.result != 0 && !r.reason.empty()) out << ": " << r.reason;
  out << " (" << Ms(ms, "%.1f") << " ms)\n";
}

void PingStats::Add(int result, double ms) {
  ++transmitted;
  if (result == 0) {
    ++accepted;
  } else if (result == 2) {
    ++noReply;
  } else {
    ++refused;
  }
  if (result == 2) return;  // no round trip
  minMs = answered == 0 || ms < minMs ? ms : minMs;
  maxMs = answered == 0 || ms > maxMs ? ms : maxMs;
  sumMs += ms;
  ++answered;
}

void PingStats::Print(std::ostream& out, const std::string& sign) const {
  const double loss = transmitted == 0 ? 0.0 : 100.0 * noReply / transmitted;
  out << "--- " << sign << " ping statistics ---\n"
      << transmitted << " frames transmitted, " << accepted << " accepted, " << refused
      << " refused, " << noReply << " no reply, " << Ms(loss, "%.1f") << "% frame loss\n";
  if (answered == 0) {
    out << "round-trip min/avg/max = -/-/- ms\n";
  } else {
    out << "round-trip min/avg/max = " << Ms(minMs, "%.3f") << '/' << Ms(sumMs / answered, "%.3f")
        << '/' << Ms(maxMs, "%.3f") << " ms\n";
  }
}

void PingStats::PrintJson(std::ostream& out, const std::string& sign) const {
  const double loss = transmitted == 0 ? 0.0 : 100.0 * noReply / transmitted;
  out << "{\"sign\":" << JsonString(sign) << ",\"command\":\"ping\",\"transmitted\":" << transmitted
      << ",\"accepted\":" << accepted << ",\"refused\":" << refused << ",\"no_reply\":" << noReply
      << ",\"loss_percent\":" << Ms(loss, "%.1f");
  if (answered > 0) {
    out << ",\"min_ms\":" << Ms(minMs, "%.3f") << ",\"avg_ms\":" << Ms(sumMs / answered, "%.3f")
        << ",\"max_ms\":" << Ms(maxMs, "%.3f");
  }
  out << "}\n";
}

}  // namespace cli
