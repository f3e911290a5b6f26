// MIDI queue cost per block on the audio thread: adding a block's messages
// (in order, or in random order) and taking them out again.
#include <benchmark/benchmark.h>

#include <vector>

#include "framework/IMidiQueue.h"

namespace {

void QueueBlock(benchmark::State& state, bool shuffled) {
  const int perBlock = static_cast<int>(state.range(0));
  IMidiQueue q(512);
  q.Resize(512);
  std::vector<IMidiMsg> msgs;
  unsigned seed = 1;
  for (int i = 0; i < perBlock; ++i) {
    seed = seed * 1103515245u + 12345u;
    const int offset = shuffled ? static_cast<int>((seed >> 16) % 512) : i * 512 / perBlock;
    msgs.emplace_back(offset, 0x90, 36, 100);
  }
  for (auto _ : state) {
    for (const IMidiMsg& m : msgs) q.Add(&m);
    int sum = 0;
    while (!q.Empty()) {
      sum += q.Peek()->offset;
      q.Remove();
    }
    q.Flush(512);
    benchmark::DoNotOptimize(sum);
  }
  state.SetItemsProcessed(state.iterations() * perBlock);
}

void BM_MidiQueueInOrder(benchmark::State& state) { QueueBlock(state, false); }
void BM_MidiQueueRandomOrder(benchmark::State& state) { QueueBlock(state, true); }

}  // namespace

BENCHMARK(BM_MidiQueueInOrder)->Arg(4)->Arg(64)->Arg(512);
BENCHMARK(BM_MidiQueueRandomOrder)->Arg(4)->Arg(64)->Arg(512);
BENCHMARK_MAIN();
