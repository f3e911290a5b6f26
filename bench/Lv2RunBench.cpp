// Cost of the LV2 binding: the plug-in's run call through lilv against the
// bare instrument rendering the same blocks with the same hits, in one run.
// Their ratio is the binding's overhead (ports read, events walked, float
// conversion through the base's buffers).
#include <benchmark/benchmark.h>

#include <memory>

#include "BareInstrument.h"
#include "lv2/Lv2Rig.h"

namespace {

using benchrig::BareInstrument;
using benchrig::CpuNs;
using benchrig::HitIn;
using benchrig::kRate;

void Report(benchmark::State& state, int block) {
  state.SetItemsProcessed(state.iterations() * block);
}

// The plug-in in the DSP library found in the build tree, run as a host runs
// it, block by block, with the hit pattern's note when it falls in a block.
class Lv2Side {
public:
  explicit Lv2Side(int block) : mBlock(block) {
    if (mWorld.Plugin()) mInst = std::make_unique<lv2test::Instance>(mWorld, mUrids, kRate, block);
  }
  bool Ok() const { return mInst != nullptr; }
  void Block() {
    const long hit = HitIn(mFrame, mBlock);
    if (hit >= 0) mInst->Midi(hit, 0x90, 33, 100);
    mInst->Run(static_cast<uint32_t>(mBlock));
    benchmark::DoNotOptimize(mInst->Audio(1).data());
    mFrame += mBlock;
  }

private:
  int mBlock;
  lv2test::World mWorld;
  lv2test::UridMap mUrids;
  std::unique_ptr<lv2test::Instance> mInst;
  long mFrame = 0;
};

// The bare instrument as a host binding drives it: MIDI in, float out
// through the base's buffers.
void BM_BareInstrument(benchmark::State& state) {
  const int block = static_cast<int>(state.range(0));
  BareInstrument bare(block);
  for (auto _ : state) bare.Block();
  Report(state, block);
}

// The same through the DSP library's run call, found in the build tree.
void BM_Lv2Run(benchmark::State& state) {
  const int block = static_cast<int>(state.range(0));
  Lv2Side lv2(block);
  if (!lv2.Ok()) {
    state.SkipWithError("the kt412.lv2 bundle was not found (LV2_PATH)");
    return;
  }
  for (auto _ : state) lv2.Block();
  Report(state, block);
}

// Both in one loop, taking turns every few dozen blocks, so that what the
// shared machine does to the processor's speed falls on both alike: the
// counter lv2_overhead_pct is the run call's cost over the bare instrument's,
// in per cent. The time shown is that of one turn of both.
void BM_Lv2RunOverBare(benchmark::State& state) {
  const int block = static_cast<int>(state.range(0));
  constexpr int kBlocksPerTurn = 64;
  Lv2Side lv2(block);
  if (!lv2.Ok()) {
    state.SkipWithError("the kt412.lv2 bundle was not found (LV2_PATH)");
    return;
  }
  BareInstrument bare(block);
  double bareNs = 0.0, lv2Ns = 0.0;
  for (auto _ : state) {
    double t0 = CpuNs();
    for (int b = 0; b < kBlocksPerTurn; ++b) bare.Block();
    double t1 = CpuNs();
    for (int b = 0; b < kBlocksPerTurn; ++b) lv2.Block();
    double t2 = CpuNs();
    bareNs += t1 - t0;
    lv2Ns += t2 - t1;
  }
  state.counters["lv2_overhead_pct"] = bareNs > 0.0 ? 100.0 * (lv2Ns - bareNs) / bareNs : 0.0;
  state.SetItemsProcessed(state.iterations() * kBlocksPerTurn * block);
}

}  // namespace

BENCHMARK(BM_BareInstrument)->Arg(64)->Arg(512);
BENCHMARK(BM_Lv2Run)->Arg(64)->Arg(512);
BENCHMARK(BM_Lv2RunOverBare)->Arg(64)->Arg(512);
BENCHMARK_MAIN();
