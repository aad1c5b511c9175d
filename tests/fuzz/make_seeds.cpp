// Writes the seed corpus of the fuzz targets: image files made by the test
// helpers, frames made by the library's encoders, the emulator's replies to
// them, and byte strings that steer the round trip to each command family.
//
//   fuzz_seeds DIR   writes DIR/<target>/<name> for every target
#include <sys/stat.h>

#include <cstdint>
#include <cstdio>
#include <fstream>
#include <set>
#include <string>
#include <vector>

#include "ImageFiles.h"
#include "VexaSim.h"
#include "core/CBuffObj.h"

namespace {

using Bytes = std::vector<uint8_t>;
std::string root;

void Write(const std::string& target, const std::string& name, const Bytes& bytes) {
  const std::string dir = root + "/" + target;
  ::mkdir(dir.c_str(), 0755);
  std::ofstream(dir + "/" + name, std::ios::binary)
      .write(reinterpret_cast<const char*>(bytes.data()), std::streamsize(bytes.size()));
}

Bytes Of(const CBuffObj::tagBufferInfo& r) {
  if (!IsValid(r)) {
    std::fprintf(stderr, "fuzz_seeds: an encoder refused a seed\n");
    std::exit(1);
  }
  return Bytes(r.chArrBuffer, r.chArrBuffer + r.nBufferLen);
}

char* C(std::string& s) { return &s[0]; }

// A 16 x 16 RGB picture of three colours, rows filtered with each of the
// five filters in turn, compressed with dynamic codes.
const Bytes kDynamicRows = {
    0x78, 0xDA, 0xBD, 0xD1, 0x4B, 0x0D, 0x84, 0x60, 0x0C, 0x45, 0xE1, 0xC3, 0x43, 0x00, 0x12,
    0x90, 0x80, 0x04, 0x24, 0x20, 0x01, 0x09, 0x48, 0x40, 0x02, 0x12, 0x90, 0x80, 0x04, 0x24,
    0x20, 0x01, 0x09, 0x38, 0x38, 0xCC, 0xEC, 0xE6, 0x5F, 0xDE, 0xCD, 0x24, 0x4D, 0xD3, 0xC5,
    0xFD, 0x9A, 0x26, 0x45, 0xB0, 0xC3, 0x1E, 0x87, 0xCF, 0xF4, 0x53, 0xAB, 0x6C, 0xB2, 0xCB,
    0xA1, 0x27, 0x5E, 0x78, 0xE3, 0x43, 0x95, 0x82, 0x3A, 0x05, 0x4D, 0x0A, 0xDA, 0x22, 0x34,
    0xCA, 0x24, 0xB3, 0x2C, 0xBA, 0xE2, 0x86, 0x3B, 0x1E, 0xE5, 0xA2, 0x14, 0x54, 0x29, 0xA8,
    0x53, 0xD0, 0x7C, 0x5B, 0x27, 0xBD, 0x0C, 0x3A, 0xE2, 0x84, 0x33, 0x2E, 0xE5, 0xA9, 0xA7,
    0x5C, 0x72, 0xCB, 0x63, 0x9B, 0x02, 0x52, 0x50, 0xA5, 0xE0, 0x0F, 0x9F, 0x4E, 0x01, 0x29,
    0x78, 0x01, 0x05, 0xDD, 0x53, 0xAE};

// A PNG from its header fields and the zlib stream of its rows, with extra
// chunks (type, data) before the data chunk.
Bytes PngFile(uint32_t w, uint32_t h, int depth, int colour, int interlace, const Bytes& z,
              const std::vector<std::pair<const char*, Bytes>>& extra = {}) {
  Bytes f = imagefiles::PngHead(w, h, depth, colour);
  f[28] = uint8_t(interlace);
  // The header's check sum covers the changed byte.
  const uint32_t crc = imagefiles::Crc32(f.data() + 12, 17);
  for (int k = 0; k < 4; ++k) f[29 + k] = uint8_t(crc >> (24 - 8 * k));
  for (const auto& c : extra) imagefiles::PngChunk(f, c.first, c.second);
  imagefiles::PngChunk(f, "IDAT", z);
  imagefiles::PngChunk(f, "IEND", {});
  return f;
}

// The zlib stream of `raw` in one stored block.
Bytes Stored(const Bytes& raw) {
  Bytes z = {0x78, 0x01, 0x01};
  imagefiles::le16(z, uint32_t(raw.size()));
  imagefiles::le16(z, uint32_t(~raw.size() & 0xFFFF));
  z.insert(z.end(), raw.begin(), raw.end());
  uint32_t a = 1, b = 0;
  for (uint8_t c : raw) {
    a = (a + c) % 65521;
    b = (b + a) % 65521;
  }
  imagefiles::be32(z, (b << 16) | a);
  return z;
}

void Images() {
  using imagefiles::Bmp;
  const std::vector<std::pair<std::string, Bytes>> files = {
      {"quadrants.png", imagefiles::Quadrants()},
      {"rgba.png", imagefiles::Png(2, 2, 6, {255, 0, 0, 255, 0, 255, 0, 128, 0, 0, 255, 0, 9, 9, 9, 255})},
      {"dynamic.png", PngFile(16, 16, 8, 2, 0, kDynamicRows)},
      {"zero-runs.png", imagefiles::ZeroPng(40, 3, 6)},
      // 3 x 3, interlaced: passes 1 (one pixel), 4 (one), 5 (two), 6 (three),
      // 7 (three); grey samples, every row filter 0.
      {"interlaced.png", PngFile(3, 3, 8, 0, 1, Stored({0, 10, 0, 20, 0, 30, 40, 0, 50, 0, 60, 0, 70, 80, 90}))},
      {"palette-trns.png", PngFile(4, 1, 2, 3, 0, Stored({0, 0x1B}),
                                   {{"PLTE", {255, 0, 0, 0, 255, 0, 0, 0, 255, 9, 9, 9}}, {"tRNS", {255, 0}}})},
      {"grey16.png", PngFile(2, 1, 16, 0, 0, Stored({0, 0xFF, 0xFF, 0x00, 0x10}))},
      {"grey-alpha.png", PngFile(2, 1, 8, 4, 0, Stored({1, 200, 255, 10, 0}))},
      {"rgb24.bmp", Bmp(2, 2, 24, {}, {0, 0, 255, 0, 255, 0, 0, 0, 255, 0, 0, 255, 255, 255, 0, 0})},
      {"rgb32.bmp", Bmp(1, 2, 32, {}, {1, 2, 3, 0, 200, 100, 50, 0})},
      {"p8.bmp", Bmp(3, 2, 8, {0x000000, 0xFF00FF, 0x00C800, 0x64C8FF}, {3, 0, 1, 0, 1, 2, 3, 0})},
      {"p4.bmp", Bmp(4, 2, 4, {0x000000, 0xFFFFFF, 0xFF0000, 0x0000FF}, {0x33, 0x10, 0, 0, 0x12, 0x03, 0, 0})},
      {"p1.bmp", Bmp(10, 2, 1, {0x0000FF, 0xFFFF00}, {0x07, 0xC0, 0, 0, 0xAC, 0xC0, 0, 0})},
  };
  uint8_t k = 0;
  for (const auto& file : files) {
    // Colour mode, bitmap width and height, then the file.
    Bytes seed = {uint8_t(k % 3), uint8_t(7 + k), uint8_t(3 + 2 * k)};
    seed.insert(seed.end(), file.second.begin(), file.second.end());
    Write("fuzz_image", file.first, seed);
    ++k;
  }
}

// One frame of every family, the emulator's replies to them, and a stream of
// all the network frames back to back.
void Frames() {
  CBuffObj o;
  std::string text = "Ticket A012", address = "0_0_0_0_0_0_1_5", one = "1";
  const std::vector<std::pair<std::string, Bytes>> frames = {
      {"play", Of(o.CompletePacketBuffer(o.PlayShowPageBuffer(3), 0x66, 0))},
      {"relay", Of(o.CompletePacketBuffer(o.RelayBuffer(3, 1, 5), 0x61, 0))},
      {"coordinate", Of(o.CompletePacketBuffer(o.CoordinateTextBuffer(C(text), 0, 16, 1, 1, 0), 0x60, 0))},
      {"collected", Of(o.CompletePacketBuffer(o.CollectionBuffer(C(text), 1, true, false, 3, 3, 2, 1), 0x65, 0))},
      {"lineup", Of(o.CompletePacketBuffer(o.LineUpBuffer(C(text), 3, 1, 1, true), 0x64, 0))},
      {"voice", Of(o.CompletePacketBuffer(o.VoiceBuffer(C(text), 0, 5, 1, 2), 0x68, 0))},
      {"playimage", Of(o.CompletePacketBuffer(o.PlayImageBuffer(1, 3, 0, 0, 0, 1, 1, 1, true, false), 0x67, 0))},
      {"text", Of(o.CompletePacketBuffer(o.InternalTextBuffer(C(text), 192, 16, 12, 0, 0, 0, 0, 1, 1, 0, 1, true, 0, 1, true), 0x31, 0))},
      {"datetime", Of(o.CompletePacketBuffer(o.DateTimeBuffer(2, 0, 1, 1, 1, 1, 0, 1, 3, 1, 0, 0, 0, 0, 1, true), 0x31, 0))},
      {"bus-play", Of(o.CompletePacketBuffer_485(o.PlayShowPageBuffer(1), 0x36, C(address), 0, 0, false))},
      {"bus-text", Of(o.CompletePacketBuffer_485(o.InternalTextBuffer(C(text), 64, 16, 1, 0, 0, 0, 0, 1, 1, 0, 1, true, 0, 1, true), 0x54, C(address), 1, 0, true))},
      {"bus-voice", Of(o.CompletePacketBuffer_PlayVoice_485(o.VoiceBuffer(C(text), 2, -1, 0, 0), 0x73, C(one)))},
      {"bar-params", Of(o.BarScreenParamBuffer(1, 2, 3, 1, 4, true))},
      {"bar-content", Of(o.BarScreenContentBuffer(C(text), 1, 1, 4, 0, 0, 0, 1, 1, 0, 0, 0, 0, 3, false))},
  };
  GlobalMember::tagPackBuffer pack;
  pack.nDataLen = 6;
  for (int k = 0; k < 6; ++k) pack.chArrData[k] = char(0x41 + k);
  pack.nPackType = '1';
  pack.nPackIndex = 1;
  pack.nPackCount = 1;
  Bytes group = Of(o.CompletePacketBuffer(o.ImgGroupBuffer(pack, 5, 0, 1, 2, 3, 1, true, 1, true), 0x31, 0));
  pack.nPackIndex = 0;
  Bytes media = Of(o.MultimediaBuffer(pack, 0x78, 0, 0, 0, 1, 6, 0, 0));

  Bytes stream = group;
  stream.insert(stream.end(), media.begin(), media.end());
  Write("fuzz_sim_decode", "group", group);
  Write("fuzz_sim_decode", "media", media);
  std::set<Bytes> replies;
  for (const auto& f : frames) {
    Write("fuzz_sim_decode", f.first, f.second);
    const bool net = f.second[0] == 0xFE && f.second[3] == 0x89;
    if (net) stream.insert(stream.end(), f.second.begin(), f.second.end());
    const vexasim::Frame decoded = net ? vexasim::decodeNetworkFrame(f.second.data(), f.second.size())
                                       : vexasim::decodeSerialFrame(f.second.data(), f.second.size());
    for (vexasim::ReplyMode m : {vexasim::ReplyMode::Accept, vexasim::ReplyMode::Refuse2,
                                 vexasim::ReplyMode::Refuse3, vexasim::ReplyMode::Malformed}) {
      const Bytes reply = vexasim::replyFor(decoded, m);
      if (!reply.empty() && replies.insert(reply).second)
        Write("fuzz_reply_judge", f.first + "-" + std::to_string(int(m)), reply);
    }
  }
  Write("fuzz_sim_decode", "stream", stream);
  Write("fuzz_reply_judge", "cut-serial", {0xFE, 0x97, 0x00, 0x00});
}

// The round trip takes its family from the last byte and its arguments from
// the bytes before it.
void RoundTrip() {
  uint32_t x = 12345;
  for (int family = 0; family < 14; ++family) {
    Bytes seed;
    for (int k = 0; k < 96; ++k) {
      x = x * 1103515245u + 12345u;
      seed.push_back(uint8_t(k < 24 ? 0x41 + (x >> 16) % 26 : x >> 16));
    }
    seed.push_back(uint8_t(family));
    Write("fuzz_roundtrip", "family-" + std::to_string(family), seed);
  }
}

}  // namespace

int main(int argc, char** argv) {
  if (argc != 2) {
    std::fprintf(stderr, "usage: fuzz_seeds DIR\n");
    return 2;
  }
  root = argv[1];
  ::mkdir(root.c_str(), 0755);
  Images();
  Frames();
  RoundTrip();
  return 0;
}
