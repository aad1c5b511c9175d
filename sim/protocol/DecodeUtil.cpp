// The decoders' shared helpers (DecodeUtil.h): check sums and typed fields.
#include "DecodeUtil.h"

#include <utility>

namespace vexasim {
namespace detail {

uint8_t xorOf(const uint8_t* p, size_t n) {
  uint8_t x = 0;
  for (size_t i = 0; i < n; ++i) x ^= p[i];
  return x;
}

uint16_t crc16Modbus(const uint8_t* p, size_t n) {
  uint16_t crc = 0xFFFF;
  for (size_t i = 0; i < n; ++i) {
    crc ^= p[i];
    for (int bit = 0; bit < 8; ++bit) crc = (crc & 1) ? uint16_t((crc >> 1) ^ 0xA001) : uint16_t(crc >> 1);
  }
  return crc;
}

namespace {

void add(Frame& f, Field&& field) {
  if (f.fields.empty()) f.fields.reserve(8);  // instead of growing 1, 2, 4, 8
  f.fields.push_back(std::move(field));
}

}  // namespace

void addNumber(Frame& f, std::string name, long long value) {
  add(f, Field{std::move(name), FieldType::Number, std::string(), value});
}

void addWord(Frame& f, std::string name, std::string word, std::optional<long long> stands) {
  add(f, Field{std::move(name), FieldType::Word, std::move(word), stands});
}

void addHex(Frame& f, std::string name, const uint8_t* p, size_t n) {
  add(f, Field{std::move(name), FieldType::Bytes, std::string(p, p + n), std::nullopt});
}

void addText(Frame& f, std::string name, const uint8_t* p, size_t n) {
  add(f, Field{std::move(name), FieldType::Text, std::string(p, p + n), std::nullopt});
}

void addDateTimeText(Frame& f, std::string name, const uint8_t* p) {
  addText(f, std::move(name), p, 16);
  long long stands = 0;
  for (size_t i = 0; i < 16; ++i) {
    if (p[i] < '0' || p[i] > '9') return;
    if (i != 8 && i != 9) stands = stands * 10 + (p[i] - '0');  // 8-9: the "00" between date and time
  }
  f.fields.back().number = stands;
}

void fail(Frame& f, const std::string& why) {
  f.checksOk = false;
  if (!f.error.empty()) f.error += "; ";
  f.error += why;
}

bool needPayload(const uint8_t* p, size_t n, size_t want, Frame& f) {
  if (n >= want) return true;
  fail(f, "payload has " + std::to_string(n) + " bytes, expected " + std::to_string(want));
  addHex(f, "payload", p, n);
  return false;
}

void noExtraBytes(const uint8_t* p, size_t n, size_t used, Frame& f) {
  if (n <= used) return;
  fail(f, std::to_string(n - used) + " unexpected bytes after the payload");
  addHex(f, "extra", p + used, n - used);
}

void complementField(Frame& f, const std::string& name, uint8_t value, uint8_t check) {
  bool ok = uint8_t(~value) == check;
  addWord(f, name + "Check", ok ? "ok" : "bad");
  if (!ok) fail(f, name + " check byte " + hexBytes(&check, 1) + " is not the complement of " + hexBytes(&value, 1));
}

}  // namespace detail
}  // namespace vexasim
