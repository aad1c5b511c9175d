// The login server's greeting, which a dialling-in controller receives first:
// "1#", the host's clock as YYYYMMDD00hhmmss, "#050#".
#include <cstring>

#include "DecodeUtil.h"
#include "Frame.h"

namespace vexasim {

using namespace detail;

void decodeLoginGreeting(const uint8_t* p, size_t n, Frame& out) {
  if (!needPayload(p, n, 23, out)) return;
  addDateTimeText(out, "dateTime", p + 2);
  if (std::memcmp(p, "1#", 2) != 0) fail(out, "greeting starts with " + hexBytes(p, 2) + ", expected 31 23");
  if (std::memcmp(p + 18, "#050#", 5) != 0)
    fail(out, "greeting ends with " + hexBytes(p + 18, 5) + ", expected 23 30 35 30 23");
  bool digits = true;
  for (size_t i = 2; i < 18; ++i) digits = digits && p[i] >= '0' && p[i] <= '9';
  if (!digits) fail(out, "date-time text holds a byte that is not a digit");
  noExtraBytes(p, n, 23, out);
}

}  // namespace vexasim
