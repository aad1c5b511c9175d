// Pictures of the bitmaps the emulator received (vexa-sim --out), drawn into
// the sign room's raster.
#ifndef VEXA_SIM_BITMAPS_H
#define VEXA_SIM_BITMAPS_H

#include <string>
#include <vector>

#include "BitmapCollector.h"
#include "Render.h"

namespace vexasim {

// The picture of image k of b. Its size is the one the frames carry, else
// sizeW x sizeH when given; a size that does not match the bytes, or no size
// at all, gives a strip one pixel high holding every pixel in order (*note
// says so). A colour mode the frames do not carry is inferred from the size
// when the bytes allow exactly one; otherwise the bits are drawn as one red
// plane.
RgbImage drawBitmap(const Bitmap& b, int k, int sizeW, int sizeH, std::string* note);

// vexa-sim --out: feeds f to one process-wide collector and writes every
// image of a completed bitmap into dir as a PNG; returns the paths written.
// Called from one thread at a time.
std::vector<std::string> writeBitmapFiles(const Frame& f, const std::string& dir, int sizeW,
                                          int sizeH, std::string* note);

}  // namespace vexasim

#endif  // VEXA_SIM_BITMAPS_H
