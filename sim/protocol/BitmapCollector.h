// Bitmaps put back together from the frames that carry them: image groups
// from their 2048-byte chunks and multimedia pictures from their 960-byte
// chunks. Drawing them is the sign room's business (Bitmaps.h there).
#ifndef VEXA_SIM_BITMAPCOLLECTOR_H
#define VEXA_SIM_BITMAPCOLLECTOR_H

#include <cstdint>
#include <map>
#include <optional>
#include <string>
#include <vector>

#include "Frame.h"

namespace vexasim {

struct Bitmap {
  int command = 0;          // 0x31 image group, 0x78 or 0x6C multimedia
  std::string channel;      // where its frames arrived
  int colourMode = -1;      // 0 red, 1 red + green, 2 red + green + blue; -1 unknown
  int width = 0;            // pixels; 0 when the frames do not carry the size
  int height = 0;
  int imageCount = 1;       // bitmaps that follow one another in bytes
  std::string materialId;   // image groups: the nine characters of the block head
  std::vector<uint8_t> bytes;
};

// Puts bitmaps back together frame by frame. A chunk sequence is taken only
// when it is whole and in order (index 1 or 0 first, each next index once,
// the last index equal to the count, the image group's pack types and
// closing mark where they belong); a broken sequence is dropped.
class BitmapCollector {
 public:
  // Takes one received frame; returns the bitmap it completes, if any.
  std::optional<Bitmap> add(const Frame& f);

 private:
  struct Partial {
    Bitmap bitmap;
    int count = 0;
    int next = 0;
  };
  std::map<std::string, Partial> groups_;  // by channel
  std::map<std::string, Partial> media_;   // by channel
};

// Every bitmap completed by these frames, in arrival order.
std::vector<Bitmap> collectBitmaps(const std::vector<Frame>& frames);

}  // namespace vexasim

#endif  // VEXA_SIM_BITMAPCOLLECTOR_H
