// Image family: playing an image group (0x67) and the multimedia frames
// (0x78 and 0x6C), and putting received bitmaps back together. The image
// group's own blocks (0x31, content type '8') are decoded with the other
// template blocks.
#include <cstring>
#include <string>

#include "BitmapCollector.h"
#include "DecodeUtil.h"
#include "Frame.h"

namespace vexasim {

using namespace detail;

namespace {

constexpr int kImageGroup = 0x31;
constexpr int kMultimediaWide = 0x78;
constexpr int kMultimediaNarrow = 0x6C;
const uint8_t kMultimediaMarker[4] = {0x19, 0x32, 0x5E, 0x00};

// The chunk of an image-group block, as far as putting a group together
// needs it.
struct GroupChunk {
  std::string materialId;
  int colourMode = 0;
  bool firstPack = false;
  int imageCount = 0;
  int packCount = 0;
  int packIndex = 0;
  bool closing = false;
  const uint8_t* data = nullptr;
  size_t length = 0;
};

// Offsets of the block: head 0-28, header 29-42, body length 43, chunk 47.
bool parseGroupChunk(const uint8_t* p, size_t n, GroupChunk& c) {
  if (n < 57 || std::memcmp(p + 13, "010101991231", 12) != 0) return false;
  if (le32(p + 25) != 14 || p[29] != 0x55 || p[30] != 0xAA || p[33] != '8') return false;
  if ((p[36] != '1' && p[36] != '2') || p[37] < '1' || p[37] > '3') return false;
  const uint32_t body = le32(p + 43);
  if (body < 10 || body > n - 47) return false;
  c.length = body - 10;
  c.data = p + 47;
  const uint8_t* t = c.data + c.length;
  if (t[0] != 0xFF || t[1] != 0x00) return false;
  const size_t end = 47 + body;
  if (n == end + 3 && std::memcmp(p + end, "-1,", 3) == 0) {
    c.closing = true;
  } else if (n != end) {
    return false;
  }
  c.materialId.assign(p, p + 9);
  c.colourMode = p[37] - '1';
  c.firstPack = p[36] == '1';
  c.imageCount = le16(p + 39);
  c.packCount = le16(t + 4);
  c.packIndex = le16(t + 6);
  return true;
}

// Multimedia frame: the fields after the 17-byte header, by form.
struct MediaChunk {
  int horizontal8 = 0, vertical = 0, width8 = 0, height = 0;  // form 0x78
  int flag = 0, value = 0;                                     // other forms
  int reserved = 0;
  int packCount = 0;
  int packIndex = 0;
  const uint8_t* data = nullptr;
  size_t length = 0;
};

bool parseMediaChunk(const uint8_t* raw, size_t n, MediaChunk& c) {
  if (n < 19) return false;
  const bool wide = raw[8] == kMultimediaWide;
  const size_t fieldsEnd = wide ? 31 : 25;
  if (n < fieldsEnd + 2) return false;
  const uint8_t* q = raw + 17;
  if (wide) {
    c.horizontal8 = le16(q);
    c.vertical = le16(q + 2);
    c.width8 = le16(q + 4);
    c.height = le16(q + 6);
    q += 8;
  } else {
    c.flag = q[0];
    c.value = q[1];
    q += 2;
  }
  c.reserved = le16(q);
  c.packCount = le16(q + 2);
  c.packIndex = le16(q + 4);
  c.data = raw + fieldsEnd;
  c.length = n - 2 - fieldsEnd;
  return true;
}

}  // namespace

// b, ~b, loop byte (0 for i true), mode bits, 00, c, d, e, f, g, h.
void decodePlayImage(const uint8_t* p, size_t n, Frame& out) {
  if (!needPayload(p, n, 13, out)) return;
  addNumber(out, "b", p[0]);
  complementField(out, "b", p[0], p[1]);
  if (p[2] > 1) fail(out, "byte 2 is " + hexBytes(p + 2, 1) + ", expected 00 or 01");
  addWord(out, "i", p[2] == 0 ? "true" : "false");
  addHex(out, "modeBits", p + 3, 1);
  if (p[3] == 0x05) addWord(out, "mode", "a=1");
  else if (p[3] == 0x50) addWord(out, "mode", "a=0 with j");
  else if (p[3] == 0x00) addWord(out, "mode", "other");
  else fail(out, "mode byte " + hexBytes(p + 3, 1) + ", expected 05, 50 or 00");
  if (p[4] != 0) fail(out, "byte 4 is " + hexBytes(p + 4, 1) + ", expected 00");
  addNumber(out, "c", p[5]);
  addNumber(out, "d", le16(p + 6));
  addNumber(out, "e", le16(p + 8));
  addNumber(out, "f", p[10]);
  addNumber(out, "g", p[11]);
  addNumber(out, "h", p[12]);
  noExtraBytes(p, n, 13, out);
}

// The multimedia frame has a header of its own: bytes 9 to 12 hold
// 19 32 5E 00 where other frames have a sub-code, and in every form but 0x78
// the two length fields are one more than the bytes (L + 28 and L + 9 for a
// frame of L + 27 bytes), as the host has always sent them. The generic
// header checks do not apply, so they are made again here by this frame's
// own rules: magic (already matched), marker, length fields, end mark.
void decodeMultimedia(const uint8_t* /*payload*/, size_t /*n*/, Frame& out) {
  out.checksOk = true;
  out.error.clear();
  const uint8_t* raw = out.raw.data();
  const size_t n = out.raw.size();
  const bool wide = out.command == kMultimediaWide;
  MediaChunk c;
  if (!parseMediaChunk(raw, n, c)) {
    fail(out, "multimedia frame of " + std::to_string(n) + " bytes is too short for its fields");
    return;
  }
  if (std::memcmp(raw + 9, kMultimediaMarker, 4) != 0)
    fail(out, "bytes 9-12 are " + hexBytes(raw + 9, 4) + ", expected 19 32 5E 00");
  const uint32_t total = le32(raw + 4);
  const uint32_t payload = le32(raw + 13);
  addWord(out, "form", wide ? "0x78" : hexCode(out.command));
  addNumber(out, "totalLengthField", long(total));
  addNumber(out, "payloadLengthField", long(payload));
  const size_t extra = wide ? 0 : 1;  // what the fields count beyond the bytes
  if (total != n + extra)
    fail(out, "total length field " + std::to_string(total) + ", expected " + std::to_string(n + extra));
  if (payload != n - 19 + extra)
    fail(out, "payload length field " + std::to_string(payload) + ", expected " +
                  std::to_string(n - 19 + extra));
  if (raw[n - 2] != 0xFF || raw[n - 1] != 0xFF)
    fail(out, "end mark " + hexBytes(raw + n - 2, 2) + ", expected FF FF");
  if (wide) {
    addNumber(out, "horizontal8", c.horizontal8);
    addNumber(out, "vertical", c.vertical);
    addNumber(out, "width8", c.width8);
    addNumber(out, "height", c.height);
  } else {
    addNumber(out, "flag", c.flag);
    addNumber(out, "value", c.value);
    if (c.flag > 1) fail(out, "flag byte " + std::to_string(c.flag) + ", expected 0 or 1");
  }
  if (c.reserved != 0) fail(out, "reserved word is " + std::to_string(c.reserved) + ", expected 0");
  addNumber(out, "packCount", c.packCount);
  addNumber(out, "packIndex", c.packIndex);
  addNumber(out, "dataLength", long(c.length));
  if (c.packIndex >= c.packCount)
    fail(out, "pack index " + std::to_string(c.packIndex) + " is not below the pack count " +
                  std::to_string(c.packCount));
}

std::optional<Bitmap> BitmapCollector::add(const Frame& f) {
  if (f.kind != "net" || f.raw.size() < 19) return std::nullopt;
  if (f.command == kImageGroup) {
    GroupChunk c;
    if (!parseGroupChunk(f.payload.data(), f.payload.size(), c)) return std::nullopt;
    auto it = groups_.find(f.channel);
    const bool consistent = c.firstPack == (c.packIndex == 1) &&
                            c.closing == (c.packIndex == c.packCount) &&
                            c.packIndex >= 1 && c.packIndex <= c.packCount;
    if (!consistent) {
      if (it != groups_.end()) groups_.erase(it);
      return std::nullopt;
    }
    if (c.packIndex == 1) {
      Partial p;
      p.bitmap.command = kImageGroup;
      p.bitmap.channel = f.channel;
      p.bitmap.colourMode = c.colourMode;
      p.bitmap.imageCount = c.imageCount;
      p.bitmap.materialId = c.materialId;
      p.count = c.packCount;
      p.next = 1;
      it = groups_.insert_or_assign(f.channel, std::move(p)).first;
    } else if (it == groups_.end() || c.packIndex != it->second.next ||
               c.packCount != it->second.count) {
      if (it != groups_.end()) groups_.erase(it);
      return std::nullopt;
    }
    Partial& p = it->second;
    p.bitmap.bytes.insert(p.bitmap.bytes.end(), c.data, c.data + c.length);
    ++p.next;
    if (c.packIndex < c.packCount) return std::nullopt;
    Bitmap done = std::move(p.bitmap);
    groups_.erase(it);
    return done;
  }
  if (f.command == kMultimediaWide || f.command == kMultimediaNarrow) {
    if (std::memcmp(f.raw.data() + 9, kMultimediaMarker, 4) != 0) return std::nullopt;
    MediaChunk c;
    if (!parseMediaChunk(f.raw.data(), f.raw.size(), c) || c.packIndex >= c.packCount)
      return std::nullopt;
    auto it = media_.find(f.channel);
    if (c.packIndex == 0) {
      Partial p;
      p.bitmap.command = f.command;
      p.bitmap.channel = f.channel;
      if (f.command == kMultimediaWide) {
        p.bitmap.width = c.width8 * 8;
        p.bitmap.height = c.height;
      }
      p.count = c.packCount;
      p.next = 0;
      it = media_.insert_or_assign(f.channel, std::move(p)).first;
    } else if (it == media_.end() || c.packIndex != it->second.next ||
               c.packCount != it->second.count || f.command != it->second.bitmap.command) {
      if (it != media_.end()) media_.erase(it);
      return std::nullopt;
    }
    Partial& p = it->second;
    p.bitmap.bytes.insert(p.bitmap.bytes.end(), c.data, c.data + c.length);
    ++p.next;
    if (c.packIndex + 1 < c.packCount) return std::nullopt;
    Bitmap done = std::move(p.bitmap);
    media_.erase(it);
    // The frames do not carry the colour mode; the size tells it when the
    // bytes hold exactly one, two or three planes of it.
    const long pixels = long(done.width) * done.height;
    const long bits = long(done.bytes.size()) * 8;
    if (pixels > 0 && bits % pixels == 0 && bits / pixels >= 1 && bits / pixels <= 3)
      done.colourMode = int(bits / pixels) - 1;
    return done;
  }
  return std::nullopt;
}

std::vector<Bitmap> collectBitmaps(const std::vector<Frame>& frames) {
  BitmapCollector collector;
  std::vector<Bitmap> out;
  for (const Frame& f : frames)
    if (auto b = collector.add(f)) out.push_back(std::move(*b));
  return out;
}

}  // namespace vexasim
