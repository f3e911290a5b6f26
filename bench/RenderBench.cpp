// Cost of the instrument's render entry: 512-frame blocks at 48 kHz with a
// hit every half second while parameters move, the way a host drives it.
#include <benchmark/benchmark.h>

#include <vector>

#include "framework/IMidiMsg.h"
#include "instrument/QiKt412.h"

namespace {

constexpr double kRate = 48000.0;
constexpr int kBlock = 512;
constexpr int kHitEvery = 24000;  // frames: half a second

// Counters shared by the benchmarks: time per output frame (printed as a time)
// and seconds of audio rendered per second, the factor over real time.
void Report(benchmark::State& state) {
  const double frames = static_cast<double>(state.iterations()) * kBlock;
  state.SetItemsProcessed(static_cast<int64_t>(frames));
  state.counters["time_per_sample"] =
      benchmark::Counter(frames, benchmark::Counter::kIsRate | benchmark::Counter::kInvert);
  state.counters["audio_s"] = benchmark::Counter(frames / kRate, benchmark::Counter::kIsRate);
}

struct Rig {
  QiKt412 plug;
  std::vector<double> left = std::vector<double>(kBlock), right = std::vector<double>(kBlock);
  double* outs[2] = {left.data(), right.data()};
  long frame = 0;

  Rig() {
    plug.SetSampleRate(kRate);
    plug.SetBlockSize(kBlock);
    plug.Reset();
    plug.OnParamReset();
  }
  // Queues the note-on that falls inside the coming block, if any.
  void QueueHits() {
    long next = (frame + kHitEvery - 1) / kHitEvery * kHitEvery;
    if (next < frame + kBlock) {
      IMidiMsg msg;
      msg.MakeNoteOnMsg(33, 100, static_cast<int>(next - frame));
      plug.ProcessMidiMsg(&msg);
    }
  }
  void Render() {
    plug.ProcessDoubleReplacing(nullptr, outs, kBlock);
    frame += kBlock;
  }
};

// Host automation: every block sets three sound parameters, as a host does.
void BM_RenderBlockHostAutomation(benchmark::State& state) {
  Rig rig;
  int step = 0;
  for (auto _ : state) {
    rig.QueueHits();
    const double t = (step++ % 200) / 200.0;
    for (int idx : {kDecay, kAccent, kDistort}) {
      rig.plug.GetParam(idx)->Set(t);
      rig.plug.OnParamChange(idx);
    }
    rig.Render();
    benchmark::DoNotOptimize(rig.left.data());
  }
  Report(state);
}
BENCHMARK(BM_RenderBlockHostAutomation);

// A learned MIDI controller sweeping Decay, one control change per block.
void BM_RenderBlockLearnedController(benchmark::State& state) {
  Rig rig;
  rig.plug.BindController(74, kDecay);
  int step = 0;
  for (auto _ : state) {
    rig.QueueHits();
    IMidiMsg cc(0, 0xB0, 74, static_cast<unsigned char>(step++ % 128));
    rig.plug.ProcessMidiMsg(&cc);
    rig.Render();
    benchmark::DoNotOptimize(rig.left.data());
  }
  Report(state);
}
BENCHMARK(BM_RenderBlockLearnedController);

// Hits only, no parameter traffic: the cost of the voice and the queue.
void BM_RenderBlockHitsOnly(benchmark::State& state) {
  Rig rig;
  for (auto _ : state) {
    rig.QueueHits();
    rig.Render();
    benchmark::DoNotOptimize(rig.left.data());
  }
  Report(state);
}
BENCHMARK(BM_RenderBlockHitsOnly);

// One 512-frame block that receives 10 000 MIDI events: note-ons and learned
// controllers, delivered in frame order (arg 0) or in random order (arg 1),
// all added before the render as a host delivers them. The queue's room, set
// at Reset, holds them all (none is dropped); the time is that of the MIDI
// delivery plus the render.
void BM_RenderBlockWith10000MidiEvents(benchmark::State& state) {
  constexpr int kEvents = 10000;
  const bool shuffled = state.range(0) != 0;
  Rig rig;
  rig.plug.BindController(74, kDecay);
  rig.plug.BindController(71, kTuneDepth);
  std::vector<IMidiMsg> msgs;
  unsigned seed = 1;
  for (int i = 0; i < kEvents; ++i) {
    seed = seed * 1103515245u + 12345u;
    const int offset = shuffled ? static_cast<int>((seed >> 16) % kBlock) : i * kBlock / kEvents;
    if (i % 3 == 0)
      msgs.emplace_back(offset, 0x90, 33 + i % 24, 100);
    else
      msgs.emplace_back(offset, 0xB0, i % 3 == 1 ? 74 : 71, static_cast<unsigned char>(i % 128));
  }
  for (auto _ : state) {
    for (IMidiMsg& m : msgs) rig.plug.ProcessMidiMsg(&m);
    rig.plug.ProcessDoubleReplacing(nullptr, rig.outs, kBlock);
    benchmark::DoNotOptimize(rig.left.data());
  }
  state.counters["events_per_block"] = kEvents;
}
BENCHMARK(BM_RenderBlockWith10000MidiEvents)->Arg(0)->Arg(1)->Unit(benchmark::kMicrosecond);

}  // namespace

BENCHMARK_MAIN();
