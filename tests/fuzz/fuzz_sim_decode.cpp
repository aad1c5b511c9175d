// Any bytes as what the emulator received: one whole frame for each decoder,
// and a stream split into frames as the emulator splits it, with the
// replies, pictures and bitmaps it makes of them and what the virtual sign
// makes of the frames' typed fields.
#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "Bitmaps.h"
#include "Frame.h"
#include "Render.h"
#include "Sign.h"

namespace {

void Expect(bool ok) {
  if (!ok) __builtin_trap();
}

// Drawing a page set fills a picture of up to some megabytes, so it is done
// once an input, for the whole input taken as a network frame.
void Use(const vexasim::Frame& f, const uint8_t* p, size_t n, bool draw = false) {
  Expect(f.raw.size() == n && std::equal(f.raw.begin(), f.raw.end(), p));
  Expect(f.checksOk == f.error.empty());
  Expect(!f.json().empty() && !f.text().empty());
  for (vexasim::ReplyMode m : {vexasim::ReplyMode::Accept, vexasim::ReplyMode::Refuse2,
                               vexasim::ReplyMode::Malformed, vexasim::ReplyMode::Echo})
    (void)vexasim::replyFor(f, m);
  if (draw && f.command == 0x22 && f.kind == "net") {
    static const vexasim::GlyphFont font{};  // no glyphs: every character a box
    vexasim::RgbImage picture(1, 1);
    std::string error;
    if (vexasim::renderPageSet(f.payload.data(), f.payload.size(), font, &picture, &error))
      Expect(picture.pixels.size() == size_t(picture.width) * size_t(picture.height) * 3);
  }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  const vexasim::Frame whole[2] = {vexasim::decodeNetworkFrame(data, size), vexasim::decodeSerialFrame(data, size)};
  Use(whole[0], data, size, true);
  Use(whole[1], data, size);

  for (bool serial : {false, true}) {
    std::vector<vexasim::Frame> frames;
    size_t at = 0;
    while (at < size) {
      const long n = vexasim::completeFrameLength(data + at, size - at, serial);
      Expect(n >= -1 && n <= long(size - at));
      if (n == 0) break;
      if (n < 0) {
        ++at;
        continue;
      }
      // A complete frame is never one the splitter would still wait on.
      Expect(vexasim::completeFrameLength(data + at, size_t(n), serial) == n);
      if (at == 0 && size_t(n) == size) {
        // The whole input is one frame: decoded and used above already.
        frames.push_back(whole[serial ? 1 : 0]);
      } else {
        const std::vector<uint8_t> frame(data + at, data + at + n);
        frames.push_back(serial ? vexasim::decodeSerialFrame(frame.data(), frame.size())
                                : vexasim::decodeNetworkFrame(frame.data(), frame.size()));
        Use(frames.back(), frame.data(), frame.size());
      }
      at += size_t(n);
    }
    // The sign reads every field it knows by its type; it is laid out, not
    // drawn, as drawing a sign of up to 2048 x 1024 dots an input is slow.
    vexasim::SignBoard board;
    for (const vexasim::Frame& f : frames) {
      const std::string id = board.apply(f, "127.0.0.1");
      if (const vexasim::SignState* s = id.empty() ? nullptr : board.find(id)) {
        const vexasim::SignLayout l = board.layout(*s);
        Expect(l.width >= 1 && l.width <= vexasim::kMaxSignWidth && l.height >= 1 &&
               l.height <= vexasim::kMaxSignHeight);
      }
    }
    for (const vexasim::Bitmap& b : vexasim::collectBitmaps(frames)) {
      std::string note;
      const vexasim::RgbImage picture = vexasim::drawBitmap(b, 0, 0, 0, &note);
      Expect(picture.pixels.size() == size_t(picture.width) * size_t(picture.height) * 3);
    }
  }
  return 0;
}
