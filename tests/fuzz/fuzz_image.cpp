// Any bytes as an image file: the first three bytes choose the colour mode
// and the bitmap's size, the rest is the file. An image is either refused
// (null, length 0) or gives a bitmap of exactly width x height x planes / 8
// bytes, and only when its header was judged decodable.
#include <cstddef>
#include <cstdint>
#include <vector>

#include "core/ImageContent.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size < 3) return 0;
  const int mode = data[0] % 3;
  const int width = 1 + data[1] % 64;
  const int height = 1 + data[2] % 64;
  // The file in a block of its own size, so a read past its end is caught.
  const std::vector<unsigned char> file(data + 3, data + size);
  const ImageFacts facts = InspectImage(file.data(), file.size());
  const std::pair<unsigned char*, int> bitmap =
      ImageBitmapFromBytes(file.data(), file.size(), mode, width, height);
  if (bitmap.first == nullptr) {
    if (bitmap.second != 0) __builtin_trap();
    return 0;
  }
  if (facts.verdict != ImageVerdict::kDecodable || facts.decodeBytes > kMaxDecodeBytes)
    __builtin_trap();
  if (bitmap.second != width * height * (mode + 1) / 8) __builtin_trap();
  unsigned sum = 0;
  for (int i = 0; i < bitmap.second; ++i) sum += bitmap.first[i];
  return sum == 0xFFFFFFFFu;  // every byte read, so a short bitmap is caught
}
