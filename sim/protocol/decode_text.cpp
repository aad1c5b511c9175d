// Command 0x60, coordinate text: 80, x and y (16-bit), 00, style byte,
// attribute nibbles, a one-byte text length, the text.
// Command 0x65, collected data: a run of records, each a data index, a flag
// byte, style and attribute nibbles, a one-byte text length and the text.
// The length bytes hold only the low 8 bits of a text's length.
#include <string>
#include <vector>

#include "DecodeUtil.h"
#include "Frame.h"

namespace vexasim {

using namespace detail;

void decodeCoordinateText(const uint8_t* p, size_t n, Frame& out) {
  if (!needPayload(p, n, 9, out)) return;
  if (p[0] != 0x80) fail(out, "coordinate text starts with " + hexBytes(p, 1) + ", expected 80");
  addNumber(out, "x", le16(p + 1));
  addNumber(out, "y", le16(p + 3));
  if (p[5] != 0) fail(out, "byte 5 is " + hexBytes(p + 5, 1) + ", expected 00");
  addNumber(out, "textStyle", p[6]);
  addNumber(out, "attrHigh", p[7] >> 4);
  addNumber(out, "attrLow", p[7] & 15);
  addNumber(out, "textLength", p[8]);
  const size_t textLength = n - 9;
  if ((textLength & 0xFF) != p[8])
    fail(out, "length byte " + std::to_string(p[8]) + " for a text of " + std::to_string(textLength) + " bytes");
  addText(out, "text", p + 9, textLength);
}

namespace {

constexpr size_t kRecordHead = 5;

// Splits a run of records into their text lengths. A length byte holds the
// low 8 bits only, so a text may be that many bytes or 256, 512, ... more;
// the split taken is the one with the shortest texts that covers the payload
// exactly with records whose flag bytes are well-formed. Empty when there is
// none. canEnd[k]: the records from offset k cover the payload exactly.
std::vector<size_t> splitRecords(const uint8_t* p, size_t n) {
  std::vector<char> canEnd(n + 1, 0);
  std::vector<size_t> textAt(n + 1, 0);  // chosen text length at k
  canEnd[n] = 1;
  for (size_t k = n; k-- > 0;) {
    if (n - k < kRecordHead || (p[k + 1] & ~0x55) != 0) continue;
    for (size_t len = p[k + 4]; k + kRecordHead + len <= n; len += 256) {
      if (canEnd[k + kRecordHead + len]) {
        canEnd[k] = 1;
        textAt[k] = len;
        break;
      }
    }
  }
  std::vector<size_t> lengths;
  if (!canEnd[0]) return lengths;
  for (size_t k = 0; k < n; k += kRecordHead + textAt[k]) lengths.push_back(textAt[k]);
  return lengths;
}

void record(const uint8_t* p, size_t textLength, const std::string& prefix, Frame& out) {
  addNumber(out, prefix + "dataIndex", p[0]);
  addHex(out, prefix + "flags", p + 1, 1);
  addNumber(out, prefix + "styleHigh", p[2] >> 4);
  addNumber(out, prefix + "styleLow", p[2] & 15);
  addNumber(out, prefix + "attrHigh", p[3] >> 4);
  addNumber(out, prefix + "attrLow", p[3] & 15);
  addNumber(out, prefix + "textLength", p[4]);
  addText(out, prefix + "text", p + kRecordHead, textLength);
}

}  // namespace

void decodeCollectedData(const uint8_t* p, size_t n, Frame& out) {
  if (!needPayload(p, n, kRecordHead, out)) return;
  const std::vector<size_t> lengths = splitRecords(p, n);
  if (lengths.empty()) {
    fail(out, "the payload is no run of collected-data records");
    addHex(out, "payload", p, n);
    return;
  }
  const bool several = lengths.size() > 1;
  if (several) addNumber(out, "records", long(lengths.size()));
  size_t at = 0;
  for (size_t k = 0; k < lengths.size(); ++k) {
    record(p + at, lengths[k], several ? "record" + std::to_string(k + 1) + "." : "", out);
    at += kRecordHead + lengths[k];
  }
}

}  // namespace vexasim
