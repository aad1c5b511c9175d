// Frame output (JSON line, text line) and the decoders' shared helpers.
#include <cstdio>

#include "DecodeUtil.h"
#include "VexaSim.h"

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

std::string hexBytes(const uint8_t* p, size_t n) {
  static const char digits[] = "0123456789ABCDEF";
  std::string s;
  s.reserve(n * 3);
  for (size_t i = 0; i < n; ++i) {
    if (i) s += ' ';
    s += digits[p[i] >> 4];
    s += digits[p[i] & 15];
  }
  return s;
}

std::string hexCode(int code) {
  char b[16];
  std::snprintf(b, sizeof b, "0x%02x", unsigned(code) & 0xFFu);
  return b;
}

std::string quotedText(const uint8_t* p, size_t n) {
  std::string s = "\"";
  for (size_t i = 0; i < n; ++i) {
    uint8_t c = p[i];
    if (c == '"' || c == '\\') {
      s += '\\';
      s += char(c);
    } else if (c >= 0x20 && c < 0x7F) {
      s += char(c);
    } else {
      char b[8];
      std::snprintf(b, sizeof b, "\\x%02X", unsigned(c));
      s += b;
    }
  }
  s += '"';
  return s;
}

void addField(Frame& f, const std::string& name, const std::string& value) {
  f.fields.push_back(Field{name, value});
}

void addNumber(Frame& f, const std::string& name, long value) { addField(f, name, std::to_string(value)); }

void addHex(Frame& f, const std::string& name, const uint8_t* p, size_t n) { addField(f, name, hexBytes(p, n)); }

void addText(Frame& f, const std::string& name, const uint8_t* p, size_t n) {
  addField(f, name, quotedText(p, n));
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
  addField(f, name + "Check", ok ? "ok" : "bad");
  if (!ok) fail(f, name + " check byte " + hexBytes(&check, 1) + " is not the complement of " + hexBytes(&value, 1));
}

}  // namespace detail

namespace {

std::string jsonString(const std::string& s) {
  std::string out = "\"";
  for (unsigned char c : s) {
    switch (c) {
      case '"': out += "\\\""; break;
      case '\\': out += "\\\\"; break;
      case '\n': out += "\\n"; break;
      case '\r': out += "\\r"; break;
      case '\t': out += "\\t"; break;
      default:
        if (c < 0x20 || c >= 0x7F) {
          char b[8];
          std::snprintf(b, sizeof b, "\\u%04x", unsigned(c));
          out += b;
        } else {
          out += char(c);
        }
    }
  }
  out += '"';
  return out;
}

}  // namespace

std::string Frame::get(const std::string& fieldName) const {
  for (const Field& f : fields)
    if (f.name == fieldName) return f.value;
  return "";
}

std::string Frame::json() const {
  std::string s = "{\"channel\":" + jsonString(channel) + ",\"kind\":" + jsonString(kind) + ",\"command\":";
  s += command < 0 ? std::string("null") : jsonString(detail::hexCode(command));
  s += ",\"name\":" + jsonString(name) + ",\"subCode\":" + std::to_string(subCode) +
       ",\"length\":" + std::to_string(raw.size()) + ",\"checks\":" + jsonString(checksOk ? "ok" : "bad");
  if (!error.empty()) s += ",\"error\":" + jsonString(error);
  s += ",\"fields\":{";
  for (size_t i = 0; i < fields.size(); ++i) {
    if (i) s += ',';
    s += jsonString(fields[i].name) + ':' + jsonString(fields[i].value);
  }
  s += "},\"raw\":" + jsonString(detail::hexBytes(raw.data(), raw.size())) + '}';
  return s;
}

std::string Frame::text() const {
  std::string s = channel + "  " + name;
  if (command >= 0) s += "(" + detail::hexCode(command) + ")";
  if (kind != "net") s += " " + kind;
  for (const Field& f : fields) s += " " + f.name + "=" + f.value;
  s += "  [" + std::to_string(raw.size()) + " bytes, checks ";
  s += checksOk ? std::string("ok") : "FAILED: " + error;
  s += "]";
  return s;
}

}  // namespace vexasim
