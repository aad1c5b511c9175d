// The one bounded writer through which every encoder fills a record.
//
// It never writes past the 3000-byte buffer. Once a write would not fit, the
// writer is marked overflowed, stops writing, and finish() returns a record
// whose nBufferLen is -1, so the oversized payload or frame can never be sent
// half-written. Truncation that the protocol defines (an int written into a
// one-byte field keeps its low 8 bits) is what u8/u16 do and is not an error.
#ifndef LIBVEXA_X86_CORE_BUFFERWRITER_H
#define LIBVEXA_X86_CORE_BUFFERWRITER_H

#include <cstddef>
#include <cstdint>
#include <cstring>
#include <string>

#include "core/CBuffObj.h"

class BufferWriter {
 public:
  static constexpr size_t kCapacity = sizeof(CBuffObj::tagBufferInfo::chArrBuffer);

  BufferWriter() { rec_.nBufferLen = 0; }

  size_t pos() const { return pos_; }
  bool ok() const { return !overflow_; }

  BufferWriter& u8(long v) {
    if (room(1)) rec_.chArrBuffer[pos_++] = static_cast<char>(v & 0xFF);
    return *this;
  }
  BufferWriter& u16le(long v) { return u8(v).u8(v >> 8); }
  BufferWriter& u16be(long v) { return u8(v >> 8).u8(v); }
  BufferWriter& u32le(unsigned long v) {
    return u8(static_cast<long>(v & 0xFF)).u8(static_cast<long>((v >> 8) & 0xFF))
        .u8(static_cast<long>((v >> 16) & 0xFF)).u8(static_cast<long>((v >> 24) & 0xFF));
  }
  BufferWriter& bytes(const void* p, size_t n) {
    if (n == 0) return *this;
    if (room(n)) {
      std::memcpy(rec_.chArrBuffer + pos_, p, n);
      pos_ += n;
    }
    return *this;
  }
  BufferWriter& text(const char* s) { return s ? bytes(s, std::strlen(s)) : *this; }
  BufferWriter& text(const std::string& s) { return bytes(s.data(), s.size()); }
  BufferWriter& record(const CBuffObj::tagBufferInfo& r) {
    if (!IsValid(r)) {
      overflow_ = true;
      return *this;
    }
    return bytes(r.chArrBuffer, static_cast<size_t>(r.nBufferLen));
  }
  // A number formatted with "%0<width>d", of which exactly the first `width`
  // characters are written (a longer text, e.g. a ten-digit number, is cut).
  BufferWriter& decimal(long v, int width);

  // Overwrite one byte already written (checks that need the bytes first).
  void patch(size_t at, long v) {
    if (at < pos_) rec_.chArrBuffer[at] = static_cast<char>(v & 0xFF);
  }
  const uint8_t* data() const { return reinterpret_cast<const uint8_t*>(rec_.chArrBuffer); }

  // The record written so far, or the invalid record after an overflow.
  CBuffObj::tagBufferInfo finish() {
    if (overflow_) return InvalidBuffer();
    rec_.nBufferLen = static_cast<int32_t>(pos_);
    return rec_;
  }

 private:
  bool room(size_t n) {
    if (overflow_ || n > kCapacity - pos_) {
      overflow_ = true;
      return false;
    }
    return true;
  }

  CBuffObj::tagBufferInfo rec_;
  size_t pos_ = 0;
  bool overflow_ = false;
};

#endif  // LIBVEXA_X86_CORE_BUFFERWRITER_H
