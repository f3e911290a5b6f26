// Speed of the drum voice: the voice as built against the straightforward reference model, while
// playing, long after a hit, and at rest. Every case runs with flush-to-zero and denormals-are-zero set, as
// the instrument renders, unless its name says NoFlush.
#include <benchmark/benchmark.h>

#include <algorithm>
#include <memory>
#include <vector>

#include "util/ScopedFlushDenormals.h"
#include "voice/ReferenceVoice.h"
#include "voice/VoiceSetup.h"
#include "voice/kt412.h"

namespace {

constexpr double rate = 48000.0;
constexpr int frames = 48000;    // one second of audio per iteration while playing
constexpr int hitEvery = 24000;  // two hits per second, each cutting the last one's tail

// time_per_sample prints as a time (e.g. "14.2ns"); audio_s is seconds of audio rendered per
// second, the factor by which the voice runs faster than real time.
void reportSamples(benchmark::State& state, double perIteration)
{
    const double samples = static_cast<double>(state.iterations()) * perIteration;
    state.SetItemsProcessed(static_cast<int64_t>(samples));
    state.counters["time_per_sample"] =
        benchmark::Counter(samples, benchmark::Counter::kIsRate | benchmark::Counter::kInvert);
    state.counters["audio_s"] = benchmark::Counter(samples / rate, benchmark::Counter::kIsRate);
}

template <typename Voice>
std::unique_ptr<Voice> makeVoice()
{
    auto voice = std::make_unique<Voice>();
    voice->setSamplingRate(rate);
    applyDefaultSound(*voice);
    return voice;
}

// One second of audio per iteration at 48 kHz, the instrument's default sound, retriggered twice,
// written to an output buffer as a host's would be.
template <typename Voice>
void renderVoice(benchmark::State& state)
{
    ScopedFlushDenormals flush;
    auto voice = makeVoice<Voice>();
    std::vector<float> buffer(frames);
    for (auto _ : state) {
        for (int hit = 0; hit < frames; hit += hitEvery) {
            voice->restart();
            for (int i = hit; i < hit + hitEvery; ++i)
                buffer[static_cast<size_t>(i)] = voice->getSample();
        }
        benchmark::DoNotOptimize(buffer.data());
        benchmark::ClobberMemory();
    }
    reportSamples(state, frames);
}

// The same through the block entry, as the instrument calls it: runs of up to `state.range(0)`
// frames, cut at each hit.
void renderVoiceBlocks(benchmark::State& state, bool avx2)
{
    ScopedFlushDenormals flush;
    auto voice = makeVoice<kt412>();
    voice->allowAvx2(avx2);
    if (avx2 && !voice->usesAvx2())
        state.SkipWithError("the processor has no AVX2");
    const int block = static_cast<int>(state.range(0));
    std::vector<float> buffer(frames);
    for (auto _ : state) {
        for (int i = 0; i < frames;) {
            if (i % hitEvery == 0)
                voice->restart();
            const int m = std::min(block, hitEvery - i % hitEvery);
            voice->process(buffer.data() + i, m);
            i += m;
        }
        benchmark::DoNotOptimize(buffer.data());
        benchmark::ClobberMemory();
    }
    reportSamples(state, frames);
}

// A voice left alone after one hit: `state.range(0)` seconds are rendered untimed, then ten
// windows of 0.1 s are timed, so the figure is the cost over the following second. The envelopes
// and the fader end on subnormal floats (the pitch after about 3 s, the amplitude after 17 s, the
// fader after 74 s); with the processor's flush modes those become zeros.
template <typename Voice, bool flushed>
void renderIdle(benchmark::State& state)
{
    auto run = [&] {
        auto voice = makeVoice<Voice>();
        voice->restart();
        const long before = static_cast<long>(state.range(0) * rate);
        for (long i = 0; i < before; ++i)
            benchmark::DoNotOptimize(voice->getSample());
        const int window = static_cast<int>(rate / 10);
        std::vector<float> buffer(static_cast<size_t>(window));
        for (auto _ : state) {
            for (int i = 0; i < window; ++i)
                buffer[static_cast<size_t>(i)] = voice->getSample();
            benchmark::DoNotOptimize(buffer.data());
            benchmark::ClobberMemory();
        }
        reportSamples(state, window);
    };
    if (flushed) {
        ScopedFlushDenormals flush;
        run();
    } else {
        run();
    }
}

// A voice at rest, through the block entry in blocks of 512 frames as the instrument renders:
// never hit (`state.range(0)` 0), or `state.range(0)` seconds after a hit, rendered untimed
// first. One second of audio per iteration, as in the playing case, so the two compare directly.
void renderResting(benchmark::State& state)
{
    ScopedFlushDenormals flush;
    auto voice = makeVoice<kt412>();
    const int block = 512;
    std::vector<float> buffer(frames);
    if (state.range(0) > 0) {
        voice->restart();
        for (long i = 0; i < static_cast<long>(state.range(0) * rate); i += block)
            voice->process(buffer.data(), block);
    }
    if (!voice->isResting())
        state.SkipWithError("the voice is not at rest");
    for (auto _ : state) {
        for (int i = 0; i < frames; i += block)
            voice->process(buffer.data() + i, std::min(block, frames - i));
        benchmark::DoNotOptimize(buffer.data());
        benchmark::ClobberMemory();
    }
    reportSamples(state, frames);
}

// A voice at rest after a hit that cut a negative sample, so that the de-click bridge has ended
// at -0 (80 s later): with an attack of `state.range(0)` / 10. A weak attack lets no noise turn the
// click VCA and the voice rests on +0; a stronger one rests quietly, computing the noise and the
// oscillator's phase. The counter `resting` is 1 for either.
void renderRestingAtNegativeZero(benchmark::State& state)
{
    ScopedFlushDenormals flush;
    auto voice = makeVoice<kt412>();
    voice->setAttack(static_cast<float>(state.range(0)) / 10.0f);
    voice->restart();
    float last = 0.0f;
    for (int i = 0; i < frames && !(last < -0.01f); ++i)
        last = voice->getSample();
    voice->restart();
    const int block = 512;
    std::vector<float> buffer(frames);
    for (long i = 0; i < static_cast<long>(80 * rate); i += block)
        voice->process(buffer.data(), block);
    const bool resting = voice->isResting() || voice->isRestingQuietly();
    for (auto _ : state) {
        for (int i = 0; i < frames; i += block)
            voice->process(buffer.data() + i, std::min(block, frames - i));
        benchmark::DoNotOptimize(buffer.data());
        benchmark::ClobberMemory();
    }
    reportSamples(state, frames);
    state.counters["resting"] = resting ? 1.0 : 0.0;
}

// A sound setter between samples every `state.range(0)` samples, as a host automating a knob
// sample by sample (the worst case) or every few samples does.
template <typename Voice>
void renderVoiceAutomated(benchmark::State& state)
{
    ScopedFlushDenormals flush;
    auto voice = makeVoice<Voice>();
    const int every = static_cast<int>(state.range(0));
    for (auto _ : state) {
        float sum = 0.0f;
        for (int i = 0; i < frames; ++i) {
            if (i % hitEvery == 0)
                voice->restart();
            if (i % every == 0)
                voice->setDistortion(static_cast<float>(i % 1000) * 0.001f);
            sum += voice->getSample();
        }
        benchmark::DoNotOptimize(sum);
    }
    reportSamples(state, frames);
}

void BM_Kt412Voice(benchmark::State& state) { renderVoice<kt412>(state); }
void BM_ReferenceVoice(benchmark::State& state) { renderVoice<reference::Voice>(state); }
void BM_Kt412VoiceProcess(benchmark::State& state) { renderVoiceBlocks(state, true); }
void BM_Kt412VoiceProcessSse2(benchmark::State& state) { renderVoiceBlocks(state, false); }
void BM_Kt412VoiceIdle(benchmark::State& state) { renderIdle<kt412, true>(state); }
void BM_Kt412VoiceResting(benchmark::State& state) { renderResting(state); }
void BM_Kt412VoiceRestingAtNegativeZero(benchmark::State& state) { renderRestingAtNegativeZero(state); }
void BM_ReferenceVoiceIdle(benchmark::State& state) { renderIdle<reference::Voice, true>(state); }
void BM_Kt412VoiceIdleNoFlush(benchmark::State& state) { renderIdle<kt412, false>(state); }
void BM_Kt412VoiceAutomated(benchmark::State& state) { renderVoiceAutomated<kt412>(state); }
void BM_ReferenceVoiceAutomated(benchmark::State& state)
{
    renderVoiceAutomated<reference::Voice>(state);
}

BENCHMARK(BM_Kt412Voice)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_ReferenceVoice)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_Kt412VoiceProcess)->Arg(32)->Arg(64)->Arg(512)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_Kt412VoiceProcessSse2)->Arg(512)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_Kt412VoiceResting)->Arg(0)->Arg(80)->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_Kt412VoiceRestingAtNegativeZero)->Arg(1)->Arg(5)->Arg(10)->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_Kt412VoiceIdle)->Arg(1)->Arg(5)->Arg(20)->Arg(80)->Iterations(10)->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_ReferenceVoiceIdle)->Arg(1)->Arg(5)->Arg(20)->Arg(80)->Iterations(10)->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_Kt412VoiceIdleNoFlush)->Arg(1)->Arg(5)->Arg(20)->Arg(80)->Iterations(10)->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_Kt412VoiceAutomated)->Arg(1)->Arg(7)->Arg(64)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_ReferenceVoiceAutomated)->Arg(1)->Unit(benchmark::kMillisecond);

}  // namespace

BENCHMARK_MAIN();
