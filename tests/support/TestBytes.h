// Bytes for the tests' expectations: the encoder's records as byte vectors
// and back, hex of records and of texts, joined byte runs and image packs.
#ifndef VEXA_TESTS_TESTBYTES_H
#define VEXA_TESTS_TESTBYTES_H

#include <cstdint>
#include <cstring>
#include <initializer_list>
#include <string>
#include <vector>

#include "SimFixture.h"
#include "core/CBuffObj.h"
#include "model/GlobalMember.h"

using Bytes = std::vector<uint8_t>;
using vexasim::bytesOf;
using vexasim::bytesOfText;
using vexasim::hex;

// The bytes of a record; none for an empty or invalid one.
inline Bytes BytesOf(const CBuffObj::tagBufferInfo& r) {
  if (r.nBufferLen <= 0) return {};
  const uint8_t* p = reinterpret_cast<const uint8_t*>(r.chArrBuffer);
  return Bytes(p, p + r.nBufferLen);
}

// The bytes of a record as text; empty for an empty or invalid one.
inline std::string TextOf(const CBuffObj::tagBufferInfo& r) {
  if (r.nBufferLen <= 0) return {};
  return std::string(r.chArrBuffer, static_cast<size_t>(r.nBufferLen));
}

// Hex of a record, or "invalid" for a refused one.
inline std::string Hex(const CBuffObj::tagBufferInfo& r) {
  if (r.nBufferLen < 0) return "invalid";
  return hex(BytesOf(r));
}

// Hex of an ASCII text, for writing expectations as "..." + Hx("text") + "...".
inline std::string Hx(const std::string& text) {
  return hex(Bytes(text.begin(), text.end()));
}

// A record holding these bytes.
inline CBuffObj::tagBufferInfo Record(const Bytes& bytes) {
  CBuffObj::tagBufferInfo r = EmptyBuffer();
  if (!bytes.empty()) std::memcpy(r.chArrBuffer, bytes.data(), bytes.size());
  r.nBufferLen = static_cast<int32_t>(bytes.size());
  return r;
}

inline Bytes Join(std::initializer_list<Bytes> parts) {
  Bytes out;
  for (const Bytes& p : parts) out.insert(out.end(), p.begin(), p.end());
  return out;
}

inline Bytes Join(const Bytes& a, const Bytes& b) { return Join({a, b}); }

// A controller's reply in network-frame layout with this code and status byte.
inline Bytes Reply(uint8_t code, uint8_t status) {
  Bytes b = bytesOf("FE 5C 4B 89 14 00 00 00 00 00 00 00 00 01 00 00 00 00 FF FF");
  b[8] = code;
  b[17] = status;
  return b;
}


// One pack of an image upload: its data, pack type, index and count.
inline GlobalMember::tagPackBuffer Pack(const Bytes& data, int type, int index, int count) {
  GlobalMember::tagPackBuffer p;
  if (!data.empty()) std::memcpy(p.chArrData, data.data(), data.size());
  p.nDataLen = int(data.size());
  p.nPackType = type;
  p.nMark = 1;
  p.nPackIndex = index;
  p.nPackCount = count;
  return p;
}

#endif  // VEXA_TESTS_TESTBYTES_H
