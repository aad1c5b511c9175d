// UTF-8 to GBK conversion for applications that hold their texts in UTF-8:
// the library passes texts through unchanged, and the signs display GBK.
#ifndef VEXA_DEMO_UTF8TOGBK_H
#define VEXA_DEMO_UTF8TOGBK_H

#include <cstddef>

// Converts inLength bytes of UTF-8 at in into GBK at out. The whole output
// buffer of outSize bytes is zeroed first, so the result is NUL-terminated
// whenever it is shorter than the buffer. Returns 0, or -1 when the
// converter cannot be opened, an argument is null, the input is not valid
// UTF-8 (or has no GBK form) or the output does not fit.
int Utf8ToGbk(char* in, size_t inLength, char* out, size_t outSize);

#endif  // VEXA_DEMO_UTF8TOGBK_H
