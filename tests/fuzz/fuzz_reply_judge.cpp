// Any bytes as the reply that arrived, for both judges and for the length a
// serial reply still needs. The reply lies in a block of exactly the bytes
// received, so a judge that reads a byte that did not arrive is caught.
#include <cstddef>
#include <cstdint>
#include <initializer_list>

#include "transport/ReplyJudge.h"

namespace {

void Expect(bool ok) {
  if (!ok) __builtin_trap();
}

constexpr long kNetworkStatusAt = 17;
constexpr long kSerialStatusAt = 6;

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  const long received = static_cast<long>(size);
  for (int soFar : {1, 2}) {
    const ReplyVerdict v = JudgeNetworkReply(data, received, soFar);
    Expect(v.result >= 0 && v.result <= 4 && v.row != nullptr);
    // Nothing that ends before the status byte is an accepted reply.
    if (v.result == 0) Expect(v.stop && received > kNetworkStatusAt);
    if (received == 0) Expect(v.result == 2 && !v.stop);
  }
  const ReplyVerdict s = JudgeSerialReply(data, received);
  Expect(s.result >= 0 && s.result <= 4 && s.row != nullptr);
  if (s.result == 0) Expect(s.stop && received > kSerialStatusAt);
  // Only an accepted reply ends the attempts on the serial line.
  Expect(s.stop == (s.result == 0));
  const long need = SerialReplyLength(data, received);
  Expect(need >= received && need <= (received > kNetworkStatusAt ? received : kNetworkStatusAt + 1));
  // A reply still waiting for bytes is never accepted as it stands.
  if (need > received) Expect(s.result != 0);
  return 0;
}
