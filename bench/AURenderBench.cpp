// Cost of the Audio Unit binding: the plug-in library's render procedure,
// reached through fast dispatch as a host calls it, against the bare
// instrument rendering the same blocks with the same hits, in one run. Their
// ratio is the binding's overhead (argument checks, render notifications,
// buffer binding, float conversion through the base's buffers).
#include <benchmark/benchmark.h>

#include <dlfcn.h>
#include <vector>

#include "BareInstrument.h"
#include "platform/au/AUComponent.h"

namespace {

using benchrig::BareInstrument;
using benchrig::CpuNs;
using benchrig::HitIn;
using benchrig::kRate;

// The plug-in library opened as a host opens it: the component through its
// entry, rate and slice size set, initialised, and the render procedure
// taken from the fast-dispatch property. MIDI goes through the dispatcher.
class AuUnit {
public:
  explicit AuUnit(int block) : mBlock(block), mLeft(static_cast<size_t>(block)), mRight(static_cast<size_t>(block)) {
    mLib = dlopen(KT412_AU_LIBRARY, RTLD_NOW | RTLD_LOCAL);
    if (!mLib) return;
    auto entry = reinterpret_cast<ComponentRoutine>(dlsym(mLib, "QiKt412_Entry"));
    if (!entry || OpenAComponent(entry, ComponentDescription{AUFourCC("aumu"), AUFourCC("Qip2"), AUFourCC("-QI-"), 0, 0},
                                 &mUnit) != noErr)
      return;
    double rate = kRate;
    UInt32 slice = static_cast<UInt32>(block);
    UInt32 size = sizeof mRender;
    if (AudioUnitSetProperty(mUnit, kAudioUnitProperty_SampleRate, 0, 0, &rate, sizeof rate) != noErr ||
        AudioUnitSetProperty(mUnit, kAudioUnitProperty_MaximumFramesPerSlice, 0, 0, &slice, sizeof slice) != noErr ||
        AudioUnitInitialize(mUnit) != noErr ||
        AudioUnitGetProperty(mUnit, kAudioUnitProperty_FastDispatch, 0, kAudioUnitRenderSelect, &mRender, &size) !=
            noErr)
      mRender = nullptr;
    mPlug = GetComponentInstanceStorage(mUnit);
  }
  ~AuUnit() {
    if (mUnit) CloseComponent(mUnit);
    if (mLib) dlclose(mLib);
  }
  AuUnit(const AuUnit&) = delete;
  AuUnit& operator=(const AuUnit&) = delete;

  bool Ok() const { return mRender != nullptr; }
  void Block() {
    const long hit = HitIn(mFrame, mBlock);
    if (hit >= 0) MusicDeviceMIDIEvent(mUnit, 0x90, 33, 100, static_cast<UInt32>(hit));
    struct {
      UInt32 n;
      AudioBuffer b[2];
    } list{2, {{1, static_cast<UInt32>(mBlock) * 4, mLeft.data()}, {1, static_cast<UInt32>(mBlock) * 4, mRight.data()}}};
    AudioTimeStamp ts{};
    ts.mSampleTime = static_cast<Float64>(mFrame);
    ts.mFlags = kAudioTimeStampSampleTimeValid;
    AudioUnitRenderActionFlags flags = 0;
    benchmark::DoNotOptimize(mRender(mPlug, &flags, &ts, 0, static_cast<UInt32>(mBlock),
                                     reinterpret_cast<AudioBufferList*>(&list)));
    benchmark::DoNotOptimize(mLeft.data());
    mFrame += mBlock;
  }

private:
  int mBlock;
  void* mLib = nullptr;
  ComponentInstance mUnit = nullptr;
  AudioUnitRenderProc mRender = nullptr;
  void* mPlug = nullptr;
  std::vector<float> mLeft, mRight;
  long mFrame = 0;
};

void BM_BareInstrument(benchmark::State& state) {
  const int block = static_cast<int>(state.range(0));
  BareInstrument bare(block);
  for (auto _ : state) bare.Block();
  state.SetItemsProcessed(state.iterations() * block);
}

void BM_AuRender(benchmark::State& state) {
  const int block = static_cast<int>(state.range(0));
  AuUnit unit(block);
  if (!unit.Ok()) {
    state.SkipWithError("the Audio Unit library did not open");
    return;
  }
  for (auto _ : state) unit.Block();
  state.SetItemsProcessed(state.iterations() * block);
}

// Both in one loop, taking turns every few dozen blocks, so that what the
// shared machine does to the processor's speed falls on both alike: the
// counter au_overhead_pct is the render's cost over the bare instrument's,
// in per cent. The time shown is that of one turn of both.
void BM_AuRenderOverBare(benchmark::State& state) {
  const int block = static_cast<int>(state.range(0));
  constexpr int kBlocksPerTurn = 64;
  BareInstrument bare(block);
  AuUnit unit(block);
  if (!unit.Ok()) {
    state.SkipWithError("the Audio Unit library did not open");
    return;
  }
  double bareNs = 0.0, auNs = 0.0;
  for (auto _ : state) {
    const double t0 = CpuNs();
    for (int b = 0; b < kBlocksPerTurn; ++b) bare.Block();
    const double t1 = CpuNs();
    for (int b = 0; b < kBlocksPerTurn; ++b) unit.Block();
    const double t2 = CpuNs();
    bareNs += t1 - t0;
    auNs += t2 - t1;
  }
  state.counters["au_overhead_pct"] = bareNs > 0.0 ? 100.0 * (auNs - bareNs) / bareNs : 0.0;
  state.SetItemsProcessed(state.iterations() * kBlocksPerTurn * block);
}

}  // namespace

BENCHMARK(BM_BareInstrument)->Arg(64)->Arg(512);
BENCHMARK(BM_AuRender)->Arg(64)->Arg(512);
BENCHMARK(BM_AuRenderOverBare)->Arg(64)->Arg(512);
BENCHMARK_MAIN();
