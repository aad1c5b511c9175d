#include "Utf8ToGbk.h"

#include <iconv.h>

#include <cstring>

int Utf8ToGbk(char* in, size_t inLength, char* out, size_t outSize) {
  if (out == nullptr || (in == nullptr && inLength != 0)) return -1;
  iconv_t cd = iconv_open("gbk", "utf8");
  if (cd == reinterpret_cast<iconv_t>(-1)) return -1;
  std::memset(out, 0, outSize);
  char* from = in;
  size_t fromLeft = inLength;
  char* to = out;
  size_t toLeft = outSize;
  const size_t done = iconv(cd, &from, &fromLeft, &to, &toLeft);
  iconv_close(cd);
  return done == static_cast<size_t>(-1) ? -1 : 0;
}
