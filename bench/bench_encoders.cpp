// Encoder throughput: how long it takes to turn a payload into the bytes
// that go on the wire, for the largest records a command can produce.
#include <benchmark/benchmark.h>

#include <cstring>
#include <string>

#include "core/CBuffObj.h"

namespace {

CBuffObj::tagBufferInfo Payload(int length) {
  CBuffObj::tagBufferInfo p = EmptyBuffer();
  for (int i = 0; i < length; ++i) p.chArrBuffer[i] = static_cast<char>(i * 7);
  p.nBufferLen = length;
  return p;
}

void NetworkFrame(benchmark::State& state) {
  CBuffObj obj;
  const CBuffObj::tagBufferInfo payload = Payload(static_cast<int>(state.range(0)));
  for (auto _ : state) {
    CBuffObj::tagBufferInfo frame = obj.CompletePacketBuffer(payload, 0x31, 0);
    benchmark::DoNotOptimize(frame);
  }
  state.SetBytesProcessed(state.iterations() * state.range(0));
}
BENCHMARK(NetworkFrame)->Arg(0)->Arg(300)->Arg(2981);

void BusFrameWithCrc(benchmark::State& state) {
  CBuffObj obj;
  const CBuffObj::tagBufferInfo payload = Payload(static_cast<int>(state.range(0)));
  char address[] = "1_2_3_4_5_6_7_8";
  for (auto _ : state) {
    CBuffObj::tagBufferInfo frame =
        obj.CompletePacketBuffer_485(payload, 0x54, address, 1, 1, true);
    benchmark::DoNotOptimize(frame);
  }
  state.SetBytesProcessed(state.iterations() * state.range(0));
}
BENCHMARK(BusFrameWithCrc)->Arg(16)->Arg(2979);

void InternalTextBlock(benchmark::State& state) {
  CBuffObj obj;
  std::string text(static_cast<size_t>(state.range(0)), 'A');
  for (auto _ : state) {
    CBuffObj::tagBufferInfo block = obj.InternalTextBuffer(&text[0], 192, 16, 7, 0, 1, 2, 3, 4,
                                                           1, 2, 1, true, 0, 1, true);
    benchmark::DoNotOptimize(block);
  }
  state.SetBytesProcessed(state.iterations() * state.range(0));
}
BENCHMARK(InternalTextBlock)->Arg(16)->Arg(2916);

void BarScreenContent(benchmark::State& state) {
  CBuffObj obj;
  std::string text(static_cast<size_t>(state.range(0)), 'B');
  for (auto _ : state) {
    CBuffObj::tagBufferInfo frame =
        obj.BarScreenContentBuffer(&text[0], 1, 1, 8, 0, 0, 0, 1, 1, 0, 0, 0, 0, 0, false);
    benchmark::DoNotOptimize(frame);
  }
  state.SetBytesProcessed(state.iterations() * state.range(0));
}
BENCHMARK(BarScreenContent)->Arg(16)->Arg(640);

}  // namespace
