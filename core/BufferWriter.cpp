// The bounded writer's number formatting.
#include "core/BufferWriter.h"

#include <cstdio>

BufferWriter& BufferWriter::decimal(long v, int width) {
  // The text "%0<width>ld" would give, cut to its first `width` characters,
  // built without a fixed scratch area so that any width is safe: the sign
  // (if any), then zeros up to the width, then the digits.
  if (width <= 0) return *this;
  char digits[24];
  int n = std::snprintf(digits, sizeof digits, "%ld", v);
  if (n <= 0) return *this;
  size_t len = static_cast<size_t>(n);
  size_t w = static_cast<size_t>(width);
  if (w <= len) return bytes(digits, w);
  const char* body = digits;
  if (v < 0) {
    u8('-');
    ++body;
    --len;
    --w;
  }
  for (size_t i = len; i < w; ++i) u8('0');
  return bytes(body, len);
}
