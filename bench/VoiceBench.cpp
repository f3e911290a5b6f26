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

void BM_Kt412Voice(benchmark::State& state) { renderVoice<kt412>(state); }
void BM_ReferenceVoice(benchmark::State& state) { renderVoice<reference::Voice>(state); }

BENCHMARK(BM_Kt412Voice)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_ReferenceVoice)->Unit(benchmark::kMillisecond);

}  // namespace

BENCHMARK_MAIN();
