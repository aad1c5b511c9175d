// The record: its empty and its invalid form.
#include "core/CBuffObj.h"

CBuffObj::CBuffObj() = default;
CBuffObj::~CBuffObj() = default;

CBuffObj::tagBufferInfo EmptyBuffer() {
  CBuffObj::tagBufferInfo b;
  b.nBufferLen = 0;
  return b;
}

CBuffObj::tagBufferInfo InvalidBuffer() {
  CBuffObj::tagBufferInfo b;
  b.nBufferLen = -1;
  return b;
}
