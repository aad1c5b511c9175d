// The bitmap source below the exported ImageContentBuffer: image bytes
// already in memory turned into the controller's bitmap, and the look at an
// image's header that decides, before anything is decoded, whether the image
// may be decoded at all.
#ifndef LIBVEXA_X86_CORE_IMAGECONTENT_H
#define LIBVEXA_X86_CORE_IMAGECONTENT_H

#include <cstddef>
#include <cstdint>
#include <string>
#include <utility>

// Largest width or height of an image file that is decoded.
constexpr int kMaxImageSide = 8192;
// Largest bitmap width or height a caller may ask for: a bitmap is at most
// 4096 x 4096 pixels in three planes, 6 MiB.
constexpr int kMaxBitmapSide = 4096;
// Largest image file read, in bytes.
constexpr size_t kMaxImageFileBytes = 64u << 20;
// Most memory the decoder may hold at once for one image, in bytes.
constexpr uint64_t kMaxDecodeBytes = 256u << 20;

enum class ImageVerdict {
  kDecodable,
  kNotAnImage,      // no PNG or BMP the decoder reads, or a header it refuses
  kSideTooLarge,    // a side beyond kMaxImageSide, or none at all
  kBeyondFile,      // announces more bytes than the file holds
  kTooMuchMemory,   // decoding would need more than kMaxDecodeBytes
};

struct ImageFacts {
  ImageVerdict verdict = ImageVerdict::kNotAnImage;
  int width = 0;             // as the header announces them
  int height = 0;
  uint64_t decodeBytes = 0;  // the decoder's peak memory for this image
};

// What the header of a PNG or BMP image announces, and whether it may be
// decoded. Reads only the header (for a PNG: every chunk's length and type).
ImageFacts InspectImage(const unsigned char* bytes, size_t size);

// The bitmap of the image in the file `source` (BMP or PNG) in colour mode
// 0 to 2, scaled to width x height: the exported ImageContentBuffer. A null
// pointer and length 0 for an image that cannot be read or is refused, with
// the reason in words put in `why` when it is given ("No such file or
// directory", "its header announces more bytes than the 174 the file
// holds", ...).
std::pair<unsigned char*, int> ImageBitmapFromFile(const char* source, int colourMode, int width,
                                                   int height, std::string* why = nullptr);

// The bitmap of the image held in bytes[0, size), as ImageBitmapFromFile
// gives it for a file with these bytes.
std::pair<unsigned char*, int> ImageBitmapFromBytes(const unsigned char* bytes, size_t size,
                                                    int colourMode, int width, int height,
                                                    std::string* why = nullptr);

#endif  // LIBVEXA_X86_CORE_IMAGECONTENT_H
