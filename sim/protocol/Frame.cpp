// A frame's fields read back typed, and the frame printed from them: one
// JSON line or one short line of text.
#include <string>
#include <vector>

#include "Frame.h"
#include "Text.h"

namespace vexasim {

namespace {

void appendJson(std::string& out, const std::string& s) {
  out += '"';
  detail::appendJsonChars(out, s);
  out += '"';
}

}  // namespace

std::string Field::value() const {
  switch (type) {
    case FieldType::Number: return std::to_string(number.value_or(0));
    case FieldType::Text: return detail::quotedText(reinterpret_cast<const uint8_t*>(data.data()), data.size());
    case FieldType::Bytes: return detail::hexBytes(reinterpret_cast<const uint8_t*>(data.data()), data.size());
    case FieldType::Word: break;
  }
  return data;
}

std::string Field::shown() const {
  if (type == FieldType::Text) return detail::shownText(reinterpret_cast<const uint8_t*>(data.data()), data.size());
  return value();
}

const Field* Frame::field(const std::string& fieldName) const {
  for (const Field& f : fields)
    if (f.name == fieldName) return &f;
  return nullptr;
}

long long Frame::number(const std::string& fieldName, long long def) const {
  const Field* f = field(fieldName);
  return f && f->number ? *f->number : def;
}

std::string Frame::bytes(const std::string& fieldName) const {
  const Field* f = field(fieldName);
  return f && f->type != FieldType::Number ? f->data : std::string();
}

std::string Frame::get(const std::string& fieldName) const {
  const Field* f = field(fieldName);
  return f ? f->value() : std::string();
}

std::string Frame::json() const {
  // What the line takes, escapes aside: one allocation under a sanitizer
  // that fills every allocation.
  size_t size = 160 + channel.size() + name.size() + error.size() + raw.size() * 3;
  std::vector<std::string> shown;
  shown.reserve(fields.size());
  for (const Field& f : fields) {
    shown.push_back(f.shown());
    size += f.name.size() + shown.back().size() + 6;
  }
  std::string s;
  s.reserve(size);
  s += "{\"channel\":";
  appendJson(s, channel);
  s += ",\"kind\":";
  appendJson(s, kind);
  s += ",\"command\":";
  if (command < 0) {
    s += "null";
  } else {
    appendJson(s, detail::hexCode(command));
  }
  s += ",\"name\":";
  appendJson(s, name);
  s += ",\"subCode\":";
  s += std::to_string(subCode);
  s += ",\"length\":";
  s += std::to_string(raw.size());
  s += ",\"checks\":";
  s += checksOk ? "\"ok\"" : "\"bad\"";
  if (!error.empty()) {
    s += ",\"error\":";
    appendJson(s, error);
  }
  s += ",\"fields\":{";
  for (size_t i = 0; i < fields.size(); ++i) {
    if (i) s += ',';
    appendJson(s, fields[i].name);
    s += ':';
    appendJson(s, shown[i]);
  }
  s += "},\"raw\":\"";
  detail::appendHex(s, raw.data(), raw.size());
  s += "\"}";
  return s;
}

std::string Frame::text() const {
  size_t size = 64 + channel.size() + name.size() + error.size();
  std::vector<std::string> shown;
  shown.reserve(fields.size());
  for (const Field& f : fields) {
    shown.push_back(f.shown());
    size += f.name.size() + shown.back().size() + 2;
  }
  std::string s;
  s.reserve(size);
  s += channel;
  s += "  ";
  s += name;
  if (command >= 0) {
    s += '(';
    s += detail::hexCode(command);
    s += ')';
  }
  if (kind != "net") {
    s += ' ';
    s += kind;
  }
  for (size_t i = 0; i < fields.size(); ++i) {
    s += ' ';
    s += fields[i].name;
    s += '=';
    s += shown[i];
  }
  s += "  [";
  s += std::to_string(raw.size());
  s += " bytes, checks ";
  if (checksOk) {
    s += "ok";
  } else {
    s += "FAILED: ";
    s += error;
  }
  s += ']';
  return s;
}

}  // namespace vexasim
