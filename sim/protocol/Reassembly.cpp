// Splitting streams into frames and joining datagram pieces (Reassembly.h).
#include "Reassembly.h"

#include <cstring>
#include <iterator>

#include "DecodeUtil.h"

namespace vexasim {

namespace {

bool isNetworkStart(const uint8_t* p, size_t n) {
  static const uint8_t magic[4] = {0xFE, 0x5C, 0x4B, 0x89};
  return n >= 4 && std::memcmp(p, magic, 4) == 0;
}

}  // namespace

// ---- streams ---------------------------------------------------------------------

void StreamSplitter::emitJunk(std::vector<StreamPiece>& out) {
  if (junk_.empty()) return;
  out.push_back(StreamPiece{std::move(junk_), true});
  junk_.clear();
}

void StreamSplitter::feed(const uint8_t* p, size_t n, long nowMs, std::vector<StreamPiece>& out) {
  buf_.insert(buf_.end(), p, p + n);
  last_ = nowMs;
  size_t pos = 0;
  for (;;) {
    long len = completeFrameLength(buf_.data() + pos, buf_.size() - pos, serial_);
    if (len == 0) break;
    if (len < 0) {
      junk_.push_back(buf_[pos++]);
      if (junk_.size() >= kFrameLimit) emitJunk(out);  // a peer sending nothing but noise
      continue;
    }
    emitJunk(out);
    out.push_back(StreamPiece{std::vector<uint8_t>(buf_.begin() + long(pos), buf_.begin() + long(pos) + len), false});
    pos += size_t(len);
  }
  buf_.erase(buf_.begin(), buf_.begin() + long(pos));
}

long StreamSplitter::releaseTime() const {
  if (!holding()) return -1;
  bool endMark = buf_.size() >= 2 && buf_[buf_.size() - 1] == 0xFF && buf_[buf_.size() - 2] == 0xFF;
  return last_ + (buf_.empty() || endMark ? kStreamIdleMs : kStreamStallMs);
}

void StreamSplitter::idle(long nowMs, std::vector<StreamPiece>& out) {
  const long when = releaseTime();
  if (when >= 0 && nowMs >= when) finish(out);
}

void StreamSplitter::finish(std::vector<StreamPiece>& out) {
  emitJunk(out);
  if (buf_.empty()) return;
  out.push_back(StreamPiece{std::move(buf_), false});
  buf_.clear();
}

// ---- datagrams -------------------------------------------------------------------

void DatagramReassembler::complete(std::map<uint64_t, Pending>::iterator it, std::vector<DatagramFrame>& out) {
  out.push_back(DatagramFrame{std::move(it->second.bytes), it->first, 0, it->second.last});
  pending_.erase(it);
}

void DatagramReassembler::take(uint64_t source, const uint8_t* p, size_t n, size_t sent, long nowMs,
                               std::vector<DatagramFrame>& out) {
  if (n > kFrameLimit) n = kFrameLimit;
  const size_t cut = sent > n ? sent - n : 0;
  const size_t full = size_t(MAX_UPD_BUFFER_LEN);
  auto it = pending_.find(source);
  if (it != pending_.end()) {
    Pending& w = it->second;
    w.bytes.insert(w.bytes.end(), p, p + n);
    w.last = nowMs;
    if (w.bytes.size() >= w.declared || n < full) complete(it, out);
    return;
  }
  // A full-size piece whose length field asks for more starts a frame, unless
  // it asks for more than any frame holds.
  uint32_t declared = n >= 8 ? detail::le32(p + 4) : 0;
  if (cut == 0 && n == full && isNetworkStart(p, n) && declared > n && declared <= kFrameLimit) {
    if (pending_.size() >= maxPending_) {
      auto oldest = pending_.begin();
      for (auto j = pending_.begin(); j != pending_.end(); ++j)
        if (j->second.last < oldest->second.last) oldest = j;
      complete(oldest, out);
    }
    Pending w;
    w.bytes.reserve(declared);
    w.bytes.assign(p, p + n);
    w.declared = declared;
    w.last = nowMs;
    pending_.emplace(source, std::move(w));
    return;
  }
  out.push_back(DatagramFrame{std::vector<uint8_t>(p, p + n), source, cut, nowMs});
}

void DatagramReassembler::expire(long nowMs, std::vector<DatagramFrame>& out) {
  for (auto it = pending_.begin(); it != pending_.end();) {
    auto next = std::next(it);
    if (nowMs - it->second.last >= kDatagramIdleMs) complete(it, out);
    it = next;
  }
}

void DatagramReassembler::finish(std::vector<DatagramFrame>& out) {
  while (!pending_.empty()) complete(pending_.begin(), out);
}

// ---- decoding what was found ----------------------------------------------------

Frame junkFrame(const std::vector<uint8_t>& junk) {
  Frame f;
  f.kind = "unknown";
  f.raw = junk;
  detail::fail(f, std::to_string(junk.size()) + " bytes that start no frame");
  detail::addHex(f, "payload", junk.data(), junk.size());
  return f;
}

Frame decodeStreamPiece(const StreamPiece& piece, bool serial) {
  if (piece.junk) return junkFrame(piece.bytes);
  const uint8_t* p = piece.bytes.data();
  size_t n = piece.bytes.size();
  return serial ? decodeSerialFrame(p, n) : decodeNetworkFrame(p, n);
}

Frame decodeDatagramFrame(const DatagramFrame& frame) {
  Frame f = decodeNetworkFrame(frame.bytes.data(), frame.bytes.size());
  if (frame.cutBytes)
    detail::fail(f, "datagram of " + std::to_string(frame.bytes.size() + frame.cutBytes) + " bytes, of which the first " +
                        std::to_string(frame.bytes.size()) + " are decoded");
  return f;
}

}  // namespace vexasim
