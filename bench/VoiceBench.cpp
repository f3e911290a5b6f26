// Speed of the drum voice: the voice as built against the straightforward reference model.
#include <benchmark/benchmark.h>

#include <memory>

#include "voice/ReferenceVoice.h"
#include "voice/VoiceSetup.h"
#include "voice/kt412.h"

namespace {

constexpr double rate = 48000.0;
constexpr int secondsPerIteration = 1;
constexpr int hitEvery = 24000;  // two hits per second, each cutting the last one's tail

// One second of audio per iteration at 48 kHz, the instrument's default sound, retriggered twice.
template <typename Voice>
void renderVoice(benchmark::State& state)
{
    auto voice = std::make_unique<Voice>();
    voice->setSamplingRate(rate);
    applyDefaultSound(*voice);
    const int frames = static_cast<int>(rate) * secondsPerIteration;
    for (auto _ : state) {
        float sum = 0.0f;
        for (int i = 0; i < frames; ++i) {
            if (i % hitEvery == 0)
                voice->restart();
            sum += voice->getSample();
        }
        benchmark::DoNotOptimize(sum);
    }
    const double samples = static_cast<double>(state.iterations()) * frames;
    state.SetItemsProcessed(static_cast<int64_t>(samples));
    state.counters["ns_per_sample"] =
        benchmark::Counter(samples * 1e-9, benchmark::Counter::kIsRate | benchmark::Counter::kInvert);
    state.counters["x_realtime"] = benchmark::Counter(samples / rate, benchmark::Counter::kIsRate);
}

// The same with a sound setter between samples every `state.range(0)` samples: the voice renders a
// short block ahead and must catch up on each such call, so this measures that cost (a host
// automating a knob sample by sample is the worst case).
template <typename Voice>
void renderVoiceAutomated(benchmark::State& state)
{
    auto voice = std::make_unique<Voice>();
    voice->setSamplingRate(rate);
    applyDefaultSound(*voice);
    const int frames = static_cast<int>(rate) * secondsPerIteration;
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
    const double samples = static_cast<double>(state.iterations()) * frames;
    state.SetItemsProcessed(static_cast<int64_t>(samples));
    state.counters["ns_per_sample"] =
        benchmark::Counter(samples * 1e-9, benchmark::Counter::kIsRate | benchmark::Counter::kInvert);
    state.counters["x_realtime"] = benchmark::Counter(samples / rate, benchmark::Counter::kIsRate);
}

void BM_Kt412Voice(benchmark::State& state) { renderVoice<kt412>(state); }
void BM_Kt412VoiceAutomated(benchmark::State& state) { renderVoiceAutomated<kt412>(state); }
void BM_ReferenceVoiceAutomated(benchmark::State& state)
{
    renderVoiceAutomated<reference::Voice>(state);
}
void BM_ReferenceVoice(benchmark::State& state) { renderVoice<reference::Voice>(state); }

BENCHMARK(BM_Kt412Voice)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_ReferenceVoice)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_Kt412VoiceAutomated)->Arg(1)->Arg(7)->Arg(64)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_ReferenceVoiceAutomated)->Arg(1)->Unit(benchmark::kMillisecond);

}  // namespace

BENCHMARK_MAIN();
