// Frame output (JSON line, text line) and the decoders' shared helpers.
#include <iconv.h>

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

namespace {

void appendByte(std::string& s, uint8_t c) {
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

// A conversion descriptor per thread: iconv keeps state in it, and the
// printers run on the emulator's threads as well as the decode command's.
class GbkConverter {
 public:
  GbkConverter() : cd_(iconv_open("UTF-8", "GBK")) {}
  ~GbkConverter() {
    if (ok()) iconv_close(cd_);
  }
  GbkConverter(const GbkConverter&) = delete;
  GbkConverter& operator=(const GbkConverter&) = delete;
  bool ok() const { return cd_ != iconv_t(-1); }
  bool convert(uint8_t lead, uint8_t trail, std::string& out) {
    if (!ok()) return false;
    char in[2] = {char(lead), char(trail)};
    char got[8];
    char* inp = in;
    char* outp = got;
    size_t inLeft = sizeof in, outLeft = sizeof got;
    iconv(cd_, nullptr, nullptr, nullptr, nullptr);
    if (iconv(cd_, &inp, &inLeft, &outp, &outLeft) == size_t(-1) || inLeft != 0) return false;
    out.append(got, sizeof got - outLeft);
    return true;
  }

 private:
  iconv_t cd_;
};

}  // namespace

std::string quotedText(const uint8_t* p, size_t n) {
  std::string s = "\"";
  for (size_t i = 0; i < n; ++i) appendByte(s, p[i]);
  s += '"';
  return s;
}

std::string quotedBytes(const std::string& v) {
  if (v.size() < 2 || v.front() != '"' || v.back() != '"') return v;
  auto digit = [](char c) { return c <= '9' ? c - '0' : c - 'A' + 10; };
  std::string out;
  for (size_t i = 1; i + 1 < v.size(); ++i) {
    if (v[i] != '\\' || i + 2 >= v.size()) {
      out += v[i];
    } else if (v[i + 1] == 'x' && i + 4 < v.size()) {
      out += char(digit(v[i + 2]) * 16 + digit(v[i + 3]));
      i += 3;
    } else {
      out += v[++i];
    }
  }
  return out;
}

bool gbkToUtf8(uint8_t lead, uint8_t trail, std::string& out) {
  // A lead byte 81..FE and a trail byte 40..FE other than 7F; iconv says
  // which of those pairs are characters.
  if (lead < 0x81 || lead == 0xFF || trail < 0x40 || trail == 0x7F || trail == 0xFF) return false;
  thread_local GbkConverter converter;
  return converter.convert(lead, trail, out);
}

std::string shownText(const uint8_t* p, size_t n) {
  std::string s = "\"";
  for (size_t i = 0; i < n; ++i) {
    if (p[i] >= 0x80 && i + 1 < n && gbkToUtf8(p[i], p[i + 1], s)) {
      ++i;
      continue;
    }
    appendByte(s, p[i]);
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
  f.fields.push_back(Field{name, quotedText(p, n), true});
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

// Length of the UTF-8 sequence at p (n bytes left); 0 when it is none.
static size_t utf8Length(const unsigned char* p, size_t n) {
  const unsigned char c = p[0];
  size_t len = c >= 0xF0 && c <= 0xF4 ? 4 : c >= 0xE0 ? 3 : c >= 0xC2 && c <= 0xDF ? 2 : 0;
  if (c >= 0xF5 || len == 0 || len > n) return 0;
  for (size_t k = 1; k < len; ++k)
    if ((p[k] & 0xC0) != 0x80) return 0;
  // Overlong forms, surrogates and code points past U+10FFFF.
  if ((c == 0xE0 && p[1] < 0xA0) || (c == 0xED && p[1] >= 0xA0) || (c == 0xF0 && p[1] < 0x90) ||
      (c == 0xF4 && p[1] >= 0x90))
    return 0;
  return len;
}

// A JSON string: UTF-8 characters as they are, control characters and any
// byte that is no UTF-8 escaped.
std::string jsonString(const std::string& s) {
  std::string out = "\"";
  const auto* p = reinterpret_cast<const unsigned char*>(s.data());
  for (size_t i = 0; i < s.size(); ++i) {
    const unsigned char c = p[i];
    switch (c) {
      case '"': out += "\\\""; break;
      case '\\': out += "\\\\"; break;
      case '\n': out += "\\n"; break;
      case '\r': out += "\\r"; break;
      case '\t': out += "\\t"; break;
      default:
        if (c >= 0x20 && c < 0x7F) {
          out += char(c);
        } else if (size_t len = c >= 0x80 ? utf8Length(p + i, s.size() - i) : 0) {
          out.append(s, i, len);
          i += len - 1;
        } else {
          char b[8];
          std::snprintf(b, sizeof b, "\\u%04x", unsigned(c));
          out += b;
        }
    }
  }
  out += '"';
  return out;
}

}  // namespace detail

namespace {

// A field's value as the printers show it.
std::string shownValue(const Field& f) {
  if (!f.text) return f.value;
  const std::string bytes = detail::quotedBytes(f.value);
  return detail::shownText(reinterpret_cast<const uint8_t*>(bytes.data()), bytes.size());
}

}  // namespace

std::string Frame::get(const std::string& fieldName) const {
  for (const Field& f : fields)
    if (f.name == fieldName) return f.value;
  return "";
}

std::string Frame::json() const {
  std::string s = "{\"channel\":" + detail::jsonString(channel) + ",\"kind\":" + detail::jsonString(kind) + ",\"command\":";
  s += command < 0 ? std::string("null") : detail::jsonString(detail::hexCode(command));
  s += ",\"name\":" + detail::jsonString(name) + ",\"subCode\":" + std::to_string(subCode) +
       ",\"length\":" + std::to_string(raw.size()) + ",\"checks\":" + detail::jsonString(checksOk ? "ok" : "bad");
  if (!error.empty()) s += ",\"error\":" + detail::jsonString(error);
  s += ",\"fields\":{";
  for (size_t i = 0; i < fields.size(); ++i) {
    if (i) s += ',';
    s += detail::jsonString(fields[i].name) + ':' + detail::jsonString(shownValue(fields[i]));
  }
  s += "},\"raw\":" + detail::jsonString(detail::hexBytes(raw.data(), raw.size())) + '}';
  return s;
}

std::string Frame::text() const {
  std::string s = channel + "  " + name;
  if (command >= 0) s += "(" + detail::hexCode(command) + ")";
  if (kind != "net") s += " " + kind;
  for (const Field& f : fields) s += " " + f.name + "=" + shownValue(f);
  s += "  [" + std::to_string(raw.size()) + " bytes, checks ";
  s += checksOk ? std::string("ok") : "FAILED: " + error;
  s += "]";
  return s;
}

}  // namespace vexasim
