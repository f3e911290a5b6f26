// Cost of the LV2 binding: the plug-in's run call through lilv against the
// bare instrument rendering the same blocks with the same hits, in one run.
// Their ratio is the binding's overhead (ports read, events walked, float
// conversion through the base's buffers).
#include <benchmark/benchmark.h>

#include <time.h>

#include <vector>

#include "framework/IMidiMsg.h"
#include "instrument/QiKt412.h"
#include "lv2/Lv2Rig.h"

namespace {

constexpr double kRate = 48000.0;
constexpr int kHitEvery = 24000;  // frames: half a second

// First frame of a hit inside [frame, frame + n), or -1.
long HitIn(long frame, int n) {
  const long next = (frame + kHitEvery - 1) / kHitEvery * kHitEvery;
  return next < frame + n ? next - frame : -1;
}

void Report(benchmark::State& state, int block) {
  state.SetItemsProcessed(state.iterations() * block);
}

// The bare instrument as a host binding drives it: MIDI in, float out
// through the base's buffers.
void BM_BareInstrument(benchmark::State& state) {
  const int block = static_cast<int>(state.range(0));
  QiKt412 plug;
  plug.SetSampleRate(kRate);
  plug.SetBlockSize(block);
  plug.Reset();
  plug.OnParamReset();
  std::vector<float> left(static_cast<size_t>(block)), right(static_cast<size_t>(block));
  float* outs[2] = {left.data(), right.data()};
  plug.SetOutputChannelConnections(0, 2, true);
  long frame = 0;
  for (auto _ : state) {
    const long hit = HitIn(frame, block);
    if (hit >= 0) {
      IMidiMsg msg(static_cast<int>(hit), 0x90, 33, 100);
      plug.ProcessMidiMsg(&msg);
    }
    plug.AttachOutputBuffers(0, 2, outs);
    plug.ProcessBuffers(0.0f, block);
    benchmark::DoNotOptimize(left.data());
    frame += block;
  }
  Report(state, block);
}

// The same through the DSP library's run call, found in the build tree.
void BM_Lv2Run(benchmark::State& state) {
  const int block = static_cast<int>(state.range(0));
  lv2test::World world;
  if (!world.Plugin()) {
    state.SkipWithError("the kt412.lv2 bundle was not found (LV2_PATH)");
    return;
  }
  lv2test::UridMap urids;
  lv2test::Instance inst(world, urids, kRate, block);
  long frame = 0;
  for (auto _ : state) {
    const long hit = HitIn(frame, block);
    if (hit >= 0) inst.Midi(hit, 0x90, 33, 100);
    inst.Run(static_cast<uint32_t>(block));
    benchmark::DoNotOptimize(inst.Audio(1).data());
    frame += block;
  }
  Report(state, block);
}

// Thread CPU time in nanoseconds: time the scheduler gave another process is
// not counted.
double CpuNs() {
  timespec ts{};
  clock_gettime(CLOCK_THREAD_CPUTIME_ID, &ts);
  return static_cast<double>(ts.tv_sec) * 1e9 + static_cast<double>(ts.tv_nsec);
}

// Both in one loop, taking turns every few dozen blocks, so that what the
// shared machine does to the processor's speed falls on both alike: the
// counter lv2_overhead_pct is the run call's cost over the bare instrument's,
// in per cent. The time shown is that of one turn of both.
void BM_Lv2RunOverBare(benchmark::State& state) {
  const int block = static_cast<int>(state.range(0));
  constexpr int kBlocksPerTurn = 64;
  lv2test::World world;
  if (!world.Plugin()) {
    state.SkipWithError("the kt412.lv2 bundle was not found (LV2_PATH)");
    return;
  }
  lv2test::UridMap urids;
  lv2test::Instance inst(world, urids, kRate, block);
  QiKt412 plug;
  plug.SetSampleRate(kRate);
  plug.SetBlockSize(block);
  plug.Reset();
  plug.OnParamReset();
  std::vector<float> left(static_cast<size_t>(block)), right(static_cast<size_t>(block));
  float* outs[2] = {left.data(), right.data()};
  plug.SetOutputChannelConnections(0, 2, true);
  long bareFrame = 0, lv2Frame = 0;
  double bareNs = 0.0, lv2Ns = 0.0;
  for (auto _ : state) {
    double t0 = CpuNs();
    for (int b = 0; b < kBlocksPerTurn; ++b) {
      const long hit = HitIn(bareFrame, block);
      if (hit >= 0) {
        IMidiMsg msg(static_cast<int>(hit), 0x90, 33, 100);
        plug.ProcessMidiMsg(&msg);
      }
      plug.AttachOutputBuffers(0, 2, outs);
      plug.ProcessBuffers(0.0f, block);
      benchmark::DoNotOptimize(left.data());
      bareFrame += block;
    }
    double t1 = CpuNs();
    for (int b = 0; b < kBlocksPerTurn; ++b) {
      const long hit = HitIn(lv2Frame, block);
      if (hit >= 0) inst.Midi(hit, 0x90, 33, 100);
      inst.Run(static_cast<uint32_t>(block));
      benchmark::DoNotOptimize(inst.Audio(1).data());
      lv2Frame += block;
    }
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
