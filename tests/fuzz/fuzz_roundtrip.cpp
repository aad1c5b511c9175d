// Encode, then decode: random arguments go through one of the library's
// encoders and frame builders, the emulator decodes the frame, and every
// field must come back as it was sent (an int in a byte field keeps its low
// 8 bits, and so on, as the byte layouts define). A frame that would not fit
// its 3000-byte record must be refused, and one that fits must not be.
#include <fuzzer/FuzzedDataProvider.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include "VexaSim.h"
#include "core/CBuffObj.h"

namespace {

using vexasim::Frame;
using Record = CBuffObj::tagBufferInfo;

constexpr size_t kRecord = 3000;
constexpr size_t kNetOverhead = 19;

[[noreturn]] void Fault(const std::string& what, const Frame& f) {
  std::fprintf(stderr, "round trip: %s\n  decoded: %s\n", what.c_str(), f.text().c_str());
  std::abort();
}

void Same(const Frame& f, const std::string& field, const std::string& sent) {
  const std::string got = f.get(field);
  if (got != sent) Fault(field + " came back as " + got + ", sent " + sent, f);
}

void Sound(const Frame& f, const char* name) {
  if (!f.checksOk) Fault("checks failed: " + f.error, f);
  if (f.name != name) Fault(std::string("decoded as ") + f.name + ", sent " + name, f);
}

std::string N(long v) { return std::to_string(v); }
std::string Hex(unsigned v) {
  char b[4];
  std::snprintf(b, sizeof b, "%02X", v & 0xFFu);
  return b;
}
// A text as the emulator shows it: printable ASCII as is, '"' and '\'
// escaped, every other byte as \xNN, in quotes.
std::string Quoted(const std::string& s) {
  std::string q = "\"";
  for (unsigned char c : s) {
    if (c == '"' || c == '\\') {
      q += '\\';
      q += char(c);
    } else if (c >= 0x20 && c < 0x7F) {
      q += char(c);
    } else {
      char b[8];
      std::snprintf(b, sizeof b, "\\x%02X", unsigned(c));
      q += b;
    }
  }
  return q + "\"";
}
std::string Bool(bool b) { return b ? "true" : "false"; }
unsigned Nibbles(int high, int low) { return ((unsigned(high) << 4) | unsigned(low)) & 0xFFu; }

class Args {
 public:
  explicit Args(FuzzedDataProvider& in) : in_(in) {}
  // Small values, bytes, words and any int, in turn.
  int Int() {
    switch (in_.ConsumeIntegralInRange<int>(0, 3)) {
      case 0: return in_.ConsumeIntegralInRange<int>(-2, 20);
      case 1: return in_.ConsumeIntegralInRange<int>(0, 255);
      case 2: return in_.ConsumeIntegralInRange<int>(0, 65535);
      default: return in_.ConsumeIntegral<int>();
    }
  }
  int Range(int lo, int hi) { return in_.ConsumeIntegralInRange<int>(lo, hi); }
  bool Bool() { return in_.ConsumeBool(); }
  // A text without NUL bytes (the entry points take C strings).
  std::string Text(size_t most) {
    std::string s = in_.ConsumeRandomLengthString(most);
    s.erase(std::remove(s.begin(), s.end(), '\0'), s.end());
    return s;
  }
  // A bus address as the serial entry points take it, and its eight bytes.
  std::string Address(std::string* bytes) {
    std::vector<int> v;
    std::string text;
    if (Bool()) {
      for (int k = 0; k < 8; ++k) {
        v.push_back(Int());
        text += (k ? "_" : "") + std::to_string(v.back());
      }
    } else {
      v.assign(7, 0);
      v.push_back(Int());
      text = std::to_string(v.back());
    }
    *bytes = "";
    for (int k = 0; k < 8; ++k) *bytes += (k ? " " : "") + Hex(unsigned(v[size_t(k)]));
    return text;
  }

 private:
  FuzzedDataProvider& in_;
};

char* C(std::string& s) { return &s[0]; }

// The network frame of a payload, decoded; `wire` is the frame's length.
Frame Net(const Record& payload, int code, size_t wire) {
  CBuffObj o;
  const Record frame = o.CompletePacketBuffer(payload, short(code), 0);
  Frame none;
  const bool fits = wire <= kRecord;
  if (IsValid(frame) != fits)
    Fault("a frame of " + N(long(wire)) + " bytes was " + (fits ? "refused" : "built"), none);
  if (!fits) {
    none.name = "refused";
    return none;
  }
  if (size_t(frame.nBufferLen) != wire) Fault("frame of " + N(frame.nBufferLen) + " bytes, expected " + N(long(wire)), none);
  return vexasim::decodeNetworkFrame(reinterpret_cast<const uint8_t*>(frame.chArrBuffer), size_t(frame.nBufferLen));
}

Frame Serial(const Record& frame) {
  if (!IsValid(frame)) Fault("a serial frame was refused", Frame());
  return vexasim::decodeSerialFrame(reinterpret_cast<const uint8_t*>(frame.chArrBuffer), size_t(frame.nBufferLen));
}

std::string RelayText(unsigned code) {
  if (code == 0xFF) return "no change";
  if (code == 0xFC) return "on";
  if (code == 0xFD) return "off";
  return "pulse " + N(long(code) - 0xAF);
}

void PlayShowPage(Args& a) {
  const int page = a.Int();
  CBuffObj o;
  const Record payload = o.PlayShowPageBuffer(page);
  if (a.Bool()) {
    const Frame f = Net(payload, 0x66, 21);
    Sound(f, "PlayShowPage");
    Same(f, "page", N(page & 0xFF));
    return;
  }
  std::string bytes;
  std::string address = a.Address(&bytes);
  const Frame f = Serial(o.CompletePacketBuffer_485(payload, 0x36, C(address), 0, 0, false));
  Sound(f, "PlayShowPage");
  Same(f, "address", bytes);
  Same(f, "page", N(page & 0xFF));
}

void Relay(Args& a) {
  const int relay = a.Range(-1, 10), action = a.Range(-1, 3), delay = a.Int();
  CBuffObj o;
  const Frame f = Net(o.RelayBuffer(relay, action, delay), 0x61, 35);
  Sound(f, "Relay");
  unsigned code = 0xFF;
  if (delay <= 0 && action == 1) code = 0xFC;
  if (delay <= 0 && action == 2) code = 0xFD;
  if (delay >= 1 && delay <= 16) code = 0xAF + unsigned(delay);
  for (int slot = 1; slot <= 8; ++slot)
    Same(f, "relay" + N(slot), RelayText(slot == relay ? code : 0xFF));
}

void SetBright(Args& a) {
  const int v1 = a.Int(), v2 = a.Int();
  CBuffObj o;
  const Frame f = Net(o.SetBrightBuffer(v1, v2), 0x76, 23);
  Sound(f, "SetBright");
  Same(f, "value1", N(v1 & 0xFF));
  Same(f, "value2", N(v2 & 0xFF));
}

void CoordinateText(Args& a) {
  std::string text = a.Text(3100);
  const int x = a.Int(), y = a.Int(), style = a.Int(), high = a.Int(), low = a.Int();
  CBuffObj o;
  const Frame f = Net(o.CoordinateTextBuffer(C(text), x, y, style, high, low), 0x60,
                      kNetOverhead + 9 + text.size());
  if (f.name == "refused") return;
  Sound(f, "CoordinateText");
  Same(f, "x", N(x & 0xFFFF));
  Same(f, "y", N(y & 0xFFFF));
  Same(f, "textStyle", N(style & 0xFF));
  Same(f, "attrHigh", N(Nibbles(high, low) >> 4));
  Same(f, "attrLow", N(Nibbles(high, low) & 15));
  Same(f, "textLength", N(long(text.size() & 0xFF)));
  Same(f, "text", Quoted(text));
}

void CollectedData(Args& a) {
  // A length byte keeps 8 bits, so only a text under 256 bytes reads back
  // as one record without doubt.
  std::string text = a.Text(255);
  const int index = a.Int();
  const bool fh = a.Bool(), fl = a.Bool();
  const short sh = short(a.Int()), sl = short(a.Int()), ah = short(a.Int()), al = short(a.Int());
  CBuffObj o;
  const Frame f = Net(o.CollectionBuffer(C(text), index, fh, fl, sh, sl, ah, al), 0x65,
                      kNetOverhead + 5 + text.size());
  Sound(f, "CollectedData");
  Same(f, "dataIndex", N(index & 0xFF));
  Same(f, "flags", Hex((fh ? 0x50 : 0) | (fl ? 0x05 : 0)));
  Same(f, "styleHigh", N(Nibbles(sh, sl) >> 4));
  Same(f, "styleLow", N(Nibbles(sh, sl) & 15));
  Same(f, "attrHigh", N(Nibbles(ah, al) >> 4));
  Same(f, "attrLow", N(Nibbles(ah, al) & 15));
  Same(f, "textLength", N(long(text.size())));
  Same(f, "text", Quoted(text));
}

void LineUp(Args& a) {
  std::string text = a.Text(3100);
  const int slot = a.Int(), kind = a.Range(-1, 3), unit = a.Int();
  const bool bracketed = a.Bool();
  CBuffObj o;
  const size_t record = text.size() + (bracketed ? 12 : 10);
  const Frame f =
      Net(o.LineUpBuffer(C(text), slot, kind, unit, bracketed), 0x64, kNetOverhead + record);
  if (f.name == "refused") return;
  Sound(f, "LineUp");
  Same(f, "unitAddress", N(unit & 0xFF));
  Same(f, "slotNo", N(slot & 0xFF));
  Same(f, "bracketed", Bool(bracketed));
  Same(f, "lineKind", kind == 1 ? "1" : kind == 2 ? "2" : "other");
  Same(f, "lengthField", N(long((record - 1) & 0xFF)));
  Same(f, "text", Quoted(text));
  Same(f, "check", "ok");
}

void Voice(Args& a) {
  std::string text = a.Text(3100);
  const int vTag = a.Range(-2, 100), sound = a.Range(0, 4), mTag = a.Range(0, 3);
  const bool bus = a.Bool();
  std::string spoken;
  if (vTag >= 0) spoken += "[v" + N(vTag) + "]";
  if (sound >= 1 && sound <= 3) spoken += "sound" + N(sound) + "01 ";
  if (mTag == 1) spoken += "[m3] ";
  if (mTag == 2) spoken += "[m51] ";
  spoken += text;
  CBuffObj o;
  const Record payload = o.VoiceBuffer(C(text), bus ? 2 : a.Range(0, 1), vTag, sound, mTag);
  Frame f;
  if (bus) {
    std::string bytes;
    std::string address = a.Address(&bytes);
    const Record frame = o.CompletePacketBuffer_PlayVoice_485(payload, 0x73, C(address));
    const bool fits = 12 + spoken.size() <= kRecord;
    if (IsValid(frame) != fits) Fault("a bus voice frame of " + N(long(12 + spoken.size())) + " bytes was mishandled", f);
    if (!fits) return;
    f = Serial(frame);
    Same(f, "address", N(std::atoi(address.c_str()) & 0xFF));
  } else {
    f = Net(payload, 0x68, kNetOverhead + 7 + spoken.size());
    if (f.name == "refused") return;
  }
  Sound(f, "PlayVoice");
  Same(f, "spokenText", Quoted(spoken));
  if (vTag >= 0) Same(f, "vTag", Quoted("[v" + N(vTag) + "]"));
  if (sound >= 1 && sound <= 3) Same(f, "soundTag", Quoted("sound" + N(sound) + "01 "));
  if (mTag == 1 || mTag == 2) Same(f, "mTag", Quoted(mTag == 1 ? "[m3] " : "[m51] "));
  if (!text.empty() && text[0] != '[' && text[0] != 's') Same(f, "text", Quoted(text));
}

void PlayImage(Args& a) {
  int v[8];
  for (int& x : v) x = a.Int();
  const bool i = a.Bool(), j = a.Bool();
  CBuffObj o;
  const Frame f = Net(o.PlayImageBuffer(v[0], v[1], v[2], v[3], v[4], v[5], v[6], v[7], i, j),
                      0x67, kNetOverhead + 13);
  Sound(f, "PlayImageGroup");
  Same(f, "b", N(v[1] & 0xFF));
  Same(f, "i", Bool(i));
  Same(f, "modeBits", v[0] == 1 ? "05" : v[0] == 0 && j ? "50" : "00");
  Same(f, "c", N(v[2] & 0xFF));
  Same(f, "d", N(v[3] & 0xFFFF));
  Same(f, "e", N(v[4] & 0xFFFF));
  Same(f, "f", N(v[5] & 0xFF));
  Same(f, "g", N(v[6] & 0xFF));
  Same(f, "h", N(v[7] & 0xFF));
}

// The nine characters "%09d" gives, cut to nine.
std::string MaterialId(int id) {
  char b[24];
  std::snprintf(b, sizeof b, "%09d", id);
  return std::string(b).substr(0, 9);
}

void Head(const Frame& f, int id, int s1, int s2, int s3, int extra, int mode, int level,
          bool primary) {
  Same(f, "materialId", MaterialId(id));
  Same(f, "style1", N(s1 & 0xFF));
  Same(f, "style2", N(s2 & 0xFF));
  Same(f, "style3", N(s3 & 0xFF));
  Same(f, "extraByte", N(extra & 0xFF));
  Same(f, "displayMode", N(mode == 1 || mode == 2 ? mode : 0));
  Same(f, "level", N(level == 2 || level == 3 ? level : 1));
  Same(f, "primary", Bool(primary));
}

void InternalText(Args& a) {
  std::string text = a.Text(3100);
  int v[13];
  for (int& x : v) x = a.Int();
  const bool primary = a.Bool(), last = a.Bool(), bus = a.Bool();
  CBuffObj o;
  const Record payload = o.InternalTextBuffer(C(text), v[0], v[1], v[2], v[3], v[4], v[5], v[6],
                                              v[7], v[8], v[9], v[10], primary, v[11], v[12], last);
  const size_t block = 29 + 19 + 4 + text.size() + 10 + (last ? 3 : 0);
  Frame f;
  std::string bytes;
  if (bus) {
    const int option1 = a.Range(1, 300), option2 = a.Int();
    std::string address = a.Address(&bytes);
    const Record frame = o.CompletePacketBuffer_485(payload, 0x54, C(address), option1, option2, true);
    const bool fits = block + 21 <= kRecord;
    if (IsValid(frame) != fits) Fault("a bus frame of " + N(long(block + 21)) + " bytes was mishandled", f);
    if (!fits) return;
    f = Serial(frame);
    Same(f, "address", bytes);
    Same(f, "options", "01 " + Hex(unsigned(option1)) + " " + Hex(unsigned(option2)));
    Same(f, "crc", "ok");
  } else {
    f = Net(payload, 0x31, kNetOverhead + block);
    if (f.name == "refused") return;
  }
  Sound(f, "InternalText");
  Head(f, v[2], v[4], v[5], v[6], v[11], v[3], v[10], primary);
  Same(f, "contentType", "7");
  Same(f, "headerWord", "0");
  Same(f, "areaWidth8", N((v[0] / 8) & 0xFFFF));
  Same(f, "areaHeight", N(v[1] & 0xFFFF));
  Same(f, "textStyle", N(v[7] & 0xFF));
  Same(f, "attrHigh", N(Nibbles(v[8], v[9]) >> 4));
  Same(f, "attrLow", N(Nibbles(v[8], v[9]) & 15));
  Same(f, "textLength", N(long(text.size())));
  Same(f, "text", Quoted(text));
  Same(f, "sequenceNo", N(v[12] & 0xFFFF));
  Same(f, "last", Bool(last));
}

void DateTime(Args& a) {
  int v[15];
  for (int& x : v) x = a.Int();
  const bool last = a.Bool();
  CBuffObj o;
  const Frame f = Net(o.DateTimeBuffer(v[0], v[1], v[2], v[3], v[4], v[5], v[6], v[7], v[8],
                                       v[9], v[10], v[11], v[12], v[13], v[14], last),
                      0x31, kNetOverhead + 29 + 14 + 4 + 7 + 10 + (last ? 3 : 0));
  Sound(f, "DateTime");
  Head(f, v[0], 0, 0, v[12], v[13], v[1], 1, false);
  Same(f, "dtField0", N(v[7] & 0xFF));
  Same(f, "dtField1", N(v[8] & 0xFF));
  Same(f, "dtTopBit", N(v[9] & 1));
  Same(f, "dtField2", N(v[10] & 0x7F));
  Same(f, "dtField3", N(v[11] & 0x7F));
  Same(f, "dtField4High", N(v[2] & 15));
  Same(f, "dtField4Low", N(v[3] & 15));
  Same(f, "dtField5High", N(v[4] & 15));
  Same(f, "dtField5Low", N(v[5] & 15));
  Same(f, "dtField6", N(v[6] & 15));
  Same(f, "sequenceNo", N(v[14] & 0xFFFF));
  Same(f, "last", Bool(last));
}

void ImageGroup(Args& a) {
  GlobalMember::tagPackBuffer pack;
  pack.nDataLen = a.Range(0, 2048);
  for (int k = 0; k < pack.nDataLen; ++k) pack.chArrData[k] = char(a.Range(0, 255));
  pack.nPackType = a.Bool() ? '1' : '2';
  pack.nMark = a.Int();
  pack.nPackCount = a.Int();
  pack.nPackIndex = a.Int();
  int v[7];
  for (int& x : v) x = a.Int();
  const bool primary = a.Bool(), last = a.Bool();
  CBuffObj o;
  const Frame f = Net(o.ImgGroupBuffer(pack, v[0], v[1], v[2], v[3], v[4], v[5], primary, v[6], last),
                      0x31, kNetOverhead + 29 + 14 + 4 + size_t(pack.nDataLen) + 10 + (last ? 3 : 0));
  Sound(f, "ImageGroup");
  Head(f, v[0], v[2], v[3], v[4], 0, v[1], v[5], primary);
  Same(f, "packType", pack.nPackType == '1' ? "first" : "later");
  Same(f, "imageCount", N(v[6] & 0xFFFF));
  Same(f, "bitmapLength", N(pack.nDataLen));
  Same(f, "mark", N(pack.nMark & 0xFFFF));
  Same(f, "packCount", N(pack.nPackCount & 0xFFFF));
  Same(f, "packIndex", N(pack.nPackIndex & 0xFFFF));
  Same(f, "last", Bool(last));
}

void Multimedia(Args& a) {
  GlobalMember::tagPackBuffer pack;
  pack.nDataLen = a.Range(0, 960);
  for (int k = 0; k < pack.nDataLen; ++k) pack.chArrData[k] = char(a.Range(0, 255));
  pack.nPackCount = a.Range(1, 65535);
  pack.nPackIndex = a.Range(0, pack.nPackCount - 1);
  const bool wide = a.Bool();
  int v[6];
  for (int& x : v) x = a.Int();
  CBuffObj o;
  const Record frame = o.MultimediaBuffer(pack, wide ? 0x78 : 0x6C, 0, v[0], v[1], v[2], v[3], v[4], v[5]);
  const Frame f = Serial(frame);  // the serial decoder takes network frames as they are
  Sound(f, "Multimedia");
  const size_t n = size_t(pack.nDataLen) + (wide ? 33 : 27);
  if (f.raw.size() != n) Fault("multimedia frame of " + N(long(f.raw.size())) + " bytes", f);
  if (wide) {
    Same(f, "horizontal8", N(v[0] & 0xFFFF));
    Same(f, "vertical", N(v[1] & 0xFFFF));
    Same(f, "width8", N(v[2] & 0xFFFF));
    Same(f, "height", N(v[3] & 0xFFFF));
  } else {
    Same(f, "flag", N(v[4] != 0 ? 1 : 0));
    Same(f, "value", N(v[5] & 0xFF));
  }
  Same(f, "packCount", N(pack.nPackCount));
  Same(f, "packIndex", N(pack.nPackIndex));
  Same(f, "dataLength", N(pack.nDataLen));
}

void BarParams(Args& a) {
  const int byte13 = a.Int(), byte6 = a.Int(), byte7 = a.Int(), twoWay = a.Range(-1, 2),
            value = a.Range(-1, 9);
  const bool flag = a.Bool();
  CBuffObj o;
  const Frame f = Serial(o.BarScreenParamBuffer(byte13, byte6, byte7, twoWay, value, flag));
  Sound(f, "BarParams");
  Same(f, "address", "1");
  Same(f, "byte6", N(byte6 & 0xFF));
  Same(f, "byte7", N(byte7 & 0xFF));
  Same(f, "choice", N(twoWay == 1 ? 1 : 0));
  Same(f, "value", N(value >= 0 && value <= 7 ? value : 0));
  Same(f, "byte13", N(byte13 & 0xFF));
  Same(f, "flag", Bool(flag));
}

std::string WithoutSpaces(std::string s) {
  s.erase(std::remove(s.begin(), s.end(), ' '), s.end());
  return s;
}

void BarContent(Args& a) {
  std::string text = a.Text(1500);
  // The page width travels in one byte: a wider page is not a frame the
  // screen can read, so widths stay within the byte.
  // A prefix (cells of the screen's circled number) exists for screens 1 to
  // 19 only; the entry points send none.
  const int address = a.Int(), colour = a.Range(-1, 4), width = a.Range(1, 255),
            value = a.Range(0, 65535);
  const int prefix = address >= 1 && address <= 19 ? a.Range(0, 3) : 0;
  int v[6];
  for (int& x : v) x = a.Int();
  const bool flag = a.Bool();
  CBuffObj o;
  const Record frame = o.BarScreenContentBuffer(C(text), address, colour, width, 0, 0, value, v[0],
                                                v[1], v[2], v[3], v[4], v[5], prefix, flag);
  // Refused: no room for text on a page, or a page or frame beyond the record.
  const long cells = 2L * width - prefix;
  const long page = 12 + 2 * (prefix + cells);
  if (cells <= 0 || 18 + page + 1 > long(kRecord)) {
    if (IsValid(frame)) Fault("a bar frame that cannot be built was built", Frame());
    return;
  }
  if (!IsValid(frame)) {
    // Only a text that may need more pages than the record holds is
    // refused; a page carries all its cells, or one less when it holds a
    // character back.
    const long length = long(text.size());
    const long perPage = cells > 1 ? cells - 1 : 1;
    const long mostPages = (length + perPage - 1) / perPage;
    if (19 + mostPages * page <= long(kRecord))
      Fault("a bar frame of " + N(length) + " text bytes was refused", Frame());
    return;
  }
  const Frame f = Serial(frame);
  Sound(f, "BarContent");
  Same(f, "address", N(address & 0xFF));
  Same(f, "flag", Bool(flag));
  Same(f, "pageWidth", N(width));
  Same(f, "value", N(value == 0 ? 65535 : value));
  // Every text byte arrives, in order; pages are padded with spaces and a
  // character held back for the next page leaves a space behind.
  if (WithoutSpaces(f.get("text")) != WithoutSpaces(Quoted(text)))
    Fault("bar text for " + Quoted(text), f);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  FuzzedDataProvider in(data, size);
  Args a(in);
  switch (in.ConsumeIntegralInRange<int>(0, 13)) {
    case 0: PlayShowPage(a); break;
    case 1: Relay(a); break;
    case 2: SetBright(a); break;
    case 3: CoordinateText(a); break;
    case 4: CollectedData(a); break;
    case 5: LineUp(a); break;
    case 6: Voice(a); break;
    case 7: PlayImage(a); break;
    case 8: InternalText(a); break;
    case 9: DateTime(a); break;
    case 10: ImageGroup(a); break;
    case 11: Multimedia(a); break;
    case 12: BarParams(a); break;
    default: BarContent(a); break;
  }
  return 0;
}
