// Bit-packed bytes as the encoders build them: two bit strings whose widths
// add up to 8, high part first, read back as one byte.
#ifndef LIBVEXA_X86_CORE_BITPACK_H
#define LIBVEXA_X86_CORE_BITPACK_H

#include "model/GlobalMember.h"

inline int PackBits(int high, int highWidth, int low, int lowWidth) {
  return GlobalMember::BinStrToInt(GlobalMember::IntToBinStr(high, highWidth) +
                                   GlobalMember::IntToBinStr(low, lowWidth));
}

// Two 4-bit values as one byte, high nibble first.
inline int PackNibbles(int high, int low) { return PackBits(high, 4, low, 4); }

#endif  // LIBVEXA_X86_CORE_BITPACK_H
