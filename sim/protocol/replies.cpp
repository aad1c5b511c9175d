// What a controller answers, in the layout each kind of frame is answered in.
#include <cstdlib>

#include "Frame.h"

namespace vexasim {

namespace {

// Network-frame reply: magic, total length, code, sub-code 0, three zero
// bytes, payload length, the one status byte, end mark.
std::vector<uint8_t> networkReply(uint8_t code, uint8_t status) {
  return {0xFE, 0x5C, 0x4B, 0x89, 20, 0, 0, 0, code, 0, 0, 0, 0, 1, 0, 0, 0, status, 0xFF, 0xFF};
}

// Short serial reply: FE, kind byte, four zero bytes, status.
std::vector<uint8_t> serialReply(uint8_t kindByte, uint8_t status) { return {0xFE, kindByte, 0, 0, 0, 0, status}; }

uint8_t statusOf(ReplyMode m) {
  if (m == ReplyMode::Refuse2) return '2';
  if (m == ReplyMode::Refuse3) return '3';
  return '1';
}

}  // namespace

std::vector<uint8_t> replyFor(const Frame& f, ReplyMode m) {
  if (m == ReplyMode::Silent) return {};
  if (m == ReplyMode::Malformed) return {'g', 'a', 'r', 'b', 'a', 'g', 'e'};
  const bool echo = m == ReplyMode::Echo;
  const bool accept = m == ReplyMode::Accept || m == ReplyMode::Delay;
  const uint8_t code = uint8_t(f.command < 0 ? 0 : f.command);

  if (f.kind == "net") {
    if (echo) return networkReply(code, '1');
    if (code == 0x68) return networkReply('h', accept ? 'O' : statusOf(m));
    if (code == 0x31 || code == 0x6C || code == 0x78) return networkReply(code, statusOf(m));
    return networkReply(0x81, statusOf(m));
  }
  if (f.kind == "rs485" || f.kind == "bar") return serialReply(echo ? code : 0x97, statusOf(m));
  if (f.kind == "voice485") {
    if (echo) return serialReply(code, '1');
    return serialReply(0x00, accept ? 'O' : statusOf(m));
  }
  return {};  // bytes that are no frame get no answer
}

bool parseReplyMode(const std::string& text, ReplyMode& mode, int& delayMs) {
  static const struct {
    const char* name;
    ReplyMode mode;
  } kModes[] = {{"accept", ReplyMode::Accept}, {"refuse2", ReplyMode::Refuse2}, {"refuse3", ReplyMode::Refuse3},
                {"silent", ReplyMode::Silent}, {"malformed", ReplyMode::Malformed}, {"echo", ReplyMode::Echo}};
  for (const auto& k : kModes) {
    if (text == k.name) {
      mode = k.mode;
      delayMs = 0;
      return true;
    }
  }
  const std::string prefix = "delay:";
  if (text.compare(0, prefix.size(), prefix) != 0 || text.size() == prefix.size()) return false;
  if (text[prefix.size()] < '0' || text[prefix.size()] > '9') return false;
  char* end = nullptr;
  long ms = std::strtol(text.c_str() + prefix.size(), &end, 10);
  if (*end != '\0' || ms < 0 || ms > 3600000) return false;
  mode = ReplyMode::Delay;
  delayMs = int(ms);
  return true;
}

}  // namespace vexasim
