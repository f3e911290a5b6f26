// MIDI queue cost per block on the audio thread: adding a block's messages
// (in order, or in random order) and taking them out again.
#include <benchmark/benchmark.h>

#include <time.h>

#include <vector>

#include "framework/IMidiQueue.h"

namespace {

// One block's messages: perBlock note-ons over 512 frames, in frame order
// or in random order.
std::vector<IMidiMsg> BlockMessages(int perBlock, bool shuffled) {
  std::vector<IMidiMsg> msgs;
  unsigned seed = 1;
  for (int i = 0; i < perBlock; ++i) {
    seed = seed * 1103515245u + 12345u;
    const int offset = shuffled ? static_cast<int>((seed >> 16) % 512) : i * 512 / perBlock;
    msgs.emplace_back(offset, 0x90, 36, 100);
  }
  return msgs;
}

// Adds a block's messages, takes them all out in order and ends the block.
int PlayBlock(IMidiQueue& q, const std::vector<IMidiMsg>& msgs) {
  for (const IMidiMsg& m : msgs) q.Add(&m);
  int sum = 0;
  while (!q.Empty()) {
    sum += q.Peek()->offset;
    q.Remove();
  }
  q.Flush(512);
  return sum;
}

void QueueBlock(benchmark::State& state, bool shuffled) {
  const int perBlock = static_cast<int>(state.range(0));
  IMidiQueue q(512);
  q.Resize(512);
  const std::vector<IMidiMsg> msgs = BlockMessages(perBlock, shuffled);
  for (auto _ : state) benchmark::DoNotOptimize(PlayBlock(q, msgs));
  state.SetItemsProcessed(state.iterations() * perBlock);
}

double CpuNs() {
  timespec ts{};
  clock_gettime(CLOCK_THREAD_CPUTIME_ID, &ts);
  return static_cast<double>(ts.tv_sec) * 1e9 + static_cast<double>(ts.tv_nsec);
}

// The two orders taking turns in one loop, so that what the shared machine
// does to the processor's speed falls on both alike: the counter
// shuffled_over_ordered is the cost of a shuffled block over an ordered one.
void BM_MidiQueueShuffledOverOrdered(benchmark::State& state) {
  const int perBlock = static_cast<int>(state.range(0));
  constexpr int kBlocksPerTurn = 256;
  IMidiQueue q(512);
  q.Resize(512);
  const std::vector<IMidiMsg> ordered = BlockMessages(perBlock, false), shuffled = BlockMessages(perBlock, true);
  double orderedNs = 0.0, shuffledNs = 0.0;
  for (auto _ : state) {
    const double t0 = CpuNs();
    for (int b = 0; b < kBlocksPerTurn; ++b) benchmark::DoNotOptimize(PlayBlock(q, ordered));
    const double t1 = CpuNs();
    for (int b = 0; b < kBlocksPerTurn; ++b) benchmark::DoNotOptimize(PlayBlock(q, shuffled));
    const double t2 = CpuNs();
    orderedNs += t1 - t0;
    shuffledNs += t2 - t1;
  }
  state.counters["shuffled_over_ordered"] = orderedNs > 0.0 ? shuffledNs / orderedNs : 0.0;
  state.SetItemsProcessed(state.iterations() * 2 * kBlocksPerTurn * perBlock);
}

void BM_MidiQueueInOrder(benchmark::State& state) { QueueBlock(state, false); }
void BM_MidiQueueRandomOrder(benchmark::State& state) { QueueBlock(state, true); }

}  // namespace

BENCHMARK(BM_MidiQueueInOrder)->Arg(4)->Arg(64)->Arg(512);
BENCHMARK(BM_MidiQueueRandomOrder)->Arg(4)->Arg(64)->Arg(512);
BENCHMARK(BM_MidiQueueShuffledOverOrdered)->Arg(4)->Arg(16)->Arg(32)->Arg(64)->Arg(128)->Arg(512);
BENCHMARK_MAIN();
