// The sign page's files (sim/web/), compiled into the program by the build.
#ifndef VEXA_SIM_WEBASSETS_H
#define VEXA_SIM_WEBASSETS_H

#include <cstddef>

namespace vexasim {

struct WebAsset {
  const char* path;  // "/index.html", "/app.js", ...
  const unsigned char* data;
  size_t size;
};

extern const WebAsset kWebAssets[];
extern const size_t kWebAssetCount;

}  // namespace vexasim

#endif  // VEXA_SIM_WEBASSETS_H
