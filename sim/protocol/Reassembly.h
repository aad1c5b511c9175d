// How received bytes become frames: a byte stream (stream connection, login
// connection, serial line) is split into frames and runs of bytes that start
// none; datagrams are joined into the frames the sender cut into pieces. The
// live emulator and the decoding of captures and traces both go through
// these, so that a frame is found the same way wherever its bytes come from.
//
// Nothing here reads a clock: every call is given the time in milliseconds
// (a steady clock when serving, the capture's time stamps when decoding).
#ifndef VEXA_SIM_REASSEMBLY_H
#define VEXA_SIM_REASSEMBLY_H

#include <cstddef>
#include <cstdint>
#include <map>
#include <vector>

#include "Frame.h"

namespace vexasim {

// The largest frame the library builds, and what the emulator holds for one
// frame: that plus one datagram's worth. A stream whose length field announces
// more is taken as bytes that start no frame; a datagram piece announcing more
// is not kept waiting for the rest; a run of such bytes is reported once it
// reaches this size; a longer datagram is cut to it.
constexpr size_t kLargestFrame = size_t(VEXA_RECORD_SIZE);
constexpr size_t kFrameLimit = kLargestFrame + size_t(MAX_UPD_BUFFER_LEN);

// A stream that goes quiet with a frame short of its length field: when the
// bytes end in the end mark FF FF they are taken as the frame after a short
// pause (its length field is then flagged); other leftovers after a long one.
// Bytes that start no frame are reported after the short pause.
constexpr long kStreamIdleMs = 30;
constexpr long kStreamStallMs = 1000;
// A datagram frame still missing pieces after this long is taken as it is.
constexpr long kDatagramIdleMs = 200;

// A frame split off a stream, or a run of bytes that starts no frame.
struct StreamPiece {
  std::vector<uint8_t> bytes;
  bool junk = false;
};

class StreamSplitter {
 public:
  // serial: recognise the serial line's frames too (RS-485, voice, bar
  // screen); otherwise network frames only.
  explicit StreamSplitter(bool serial) : serial_(serial) {}

  // Bytes that arrived at nowMs; whole frames (and the junk before them) are
  // appended to out in stream order.
  void feed(const uint8_t* p, size_t n, long nowMs, std::vector<StreamPiece>& out);
  // Nothing arrived up to nowMs: releases what the quiet rules above allow.
  void idle(long nowMs, std::vector<StreamPiece>& out);
  // The stream ended: everything still held.
  void finish(std::vector<StreamPiece>& out);

  bool holding() const { return !buf_.empty() || !junk_.empty(); }
  // The earliest time at which idle() releases what is held; -1 when nothing
  // is held. Only feed() and finish() change it.
  long releaseTime() const;
  bool serial() const { return serial_; }

 private:
  void emitJunk(std::vector<StreamPiece>& out);

  bool serial_;
  std::vector<uint8_t> buf_;   // bytes of a frame not yet complete
  std::vector<uint8_t> junk_;  // bytes skipped while looking for a frame start
  long last_ = 0;              // when bytes last arrived
};

// A frame joined from datagrams (or a single datagram), with its source.
struct DatagramFrame {
  std::vector<uint8_t> bytes;
  uint64_t source = 0;     // sourceKey() of the sender
  size_t cutBytes = 0;     // bytes of the datagram not kept (beyond kFrameLimit or not captured)
  long lastMs = 0;         // when its last piece came
};

// IPv4 address (host order) and port as one key.
inline uint64_t sourceKey(uint32_t address, uint16_t port) { return (uint64_t(address) << 16) | port; }
inline uint32_t sourceAddress(uint64_t key) { return uint32_t(key >> 16); }
inline uint16_t sourcePort(uint64_t key) { return uint16_t(key & 0xFFFF); }

// The sender cuts a frame longer than MAX_UPD_BUFFER_LEN into full-size
// datagrams and a shorter remainder; a frame is complete once its length
// field is reached or a datagram shorter than the full size arrives. Frames
// are joined per source; at most maxPending sources are waited for at once
// (a new one completes the one that waited longest).
class DatagramReassembler {
 public:
  explicit DatagramReassembler(size_t maxPending = 64) : maxPending_(maxPending ? maxPending : 1) {}

  // One datagram of sent bytes from source at nowMs, of which the first n are
  // at p (fewer when a capture cut it); at most kFrameLimit are kept.
  // Completed frames are appended to out.
  void take(uint64_t source, const uint8_t* p, size_t n, size_t sent, long nowMs, std::vector<DatagramFrame>& out);
  // Frames whose pieces stopped arriving kDatagramIdleMs ago.
  void expire(long nowMs, std::vector<DatagramFrame>& out);
  // Every frame still waiting for pieces, as it is.
  void finish(std::vector<DatagramFrame>& out);

  size_t pending() const { return pending_.size(); }

 private:
  struct Pending {
    std::vector<uint8_t> bytes;
    uint32_t declared = 0;
    long last = 0;
  };
  void complete(std::map<uint64_t, Pending>::iterator it, std::vector<DatagramFrame>& out);

  size_t maxPending_;
  std::map<uint64_t, Pending> pending_;
};

// "N bytes that start no frame", the bytes shown as hex.
Frame junkFrame(const std::vector<uint8_t>& junk);
// Decodes what a stream splitter found: junk, a serial-line frame or a
// network frame. The channel is left for the caller.
Frame decodeStreamPiece(const StreamPiece& piece, bool serial);
// Decodes a frame joined from datagrams, flagging a datagram that was cut.
Frame decodeDatagramFrame(const DatagramFrame& frame);

}  // namespace vexasim

#endif  // VEXA_SIM_REASSEMBLY_H
