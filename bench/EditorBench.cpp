// The editor's costs: building an instrument with its editor and first preset, and redrawing it.
#include <benchmark/benchmark.h>
#include <stdlib.h>

#include <filesystem>
#include <memory>
#include <string>

#include "graphics/IGraphics.h"
#include "instrument/PresetBrowser.h"
#include "instrument/QiKt412.h"

namespace {

// A preset folder holding the shipped factory presets, made once per run
// and removed with everything in it at exit.
class BenchPresetFolder {
public:
  BenchPresetFolder() {
    std::string tmpl = (std::filesystem::temp_directory_path() / "kt412-bench-XXXXXX").string();
    if (::mkdtemp(tmpl.data())) mPath = tmpl + "/";
    int copied = 0;
    SeedFactoryPresets(mPath, &copied, nullptr);
  }
  ~BenchPresetFolder() {
    std::error_code ec;
    if (!mPath.empty()) std::filesystem::remove_all(mPath, ec);
  }
  const std::string& Path() const { return mPath; }

private:
  std::string mPath;
};

const std::string& PresetFolder() {
  static BenchPresetFolder folder;
  return folder.Path();
}

// The first instrument of a process. Its skin images are only sized here
// (they are decoded when the editor is first drawn: see the next benchmark).
// It can only be measured once, so it runs first, one iteration.
void BM_ConstructFirstInstance(benchmark::State& state) {
  const std::string& folder = PresetFolder();
  for (auto _ : state) {
    auto plug = std::make_unique<QiKt412>(folder);
    benchmark::DoNotOptimize(plug.get());
    state.PauseTiming();
    plug.reset();
    state.ResumeTiming();
  }
}
BENCHMARK(BM_ConstructFirstInstance)->Iterations(1)->Unit(benchmark::kMillisecond);

// Opening the first editor of a process: the instrument built and its editor
// painted once, which decodes every skin image and makes every font. Like the
// one above it counts only as the first of its process: run it on its own
// (--benchmark_filter=FirstEditor); after other benchmarks it shows a warm cache.
void BM_FirstEditorBuiltAndPainted(benchmark::State& state) {
  const std::string& folder = PresetFolder();
  for (auto _ : state) {
    auto plug = std::make_unique<QiKt412>(folder);
    IGraphics* g = plug->Graphics();
    IRECT all(0, 0, g->Width(), g->Height());
    g->Draw(&all);
    benchmark::DoNotOptimize(g->GetBits());
    state.PauseTiming();
    plug.reset();
    state.ResumeTiming();
  }
}
BENCHMARK(BM_FirstEditorBuiltAndPainted)->Iterations(1)->Unit(benchmark::kMillisecond);

// Another instance with the image cache warm: the editor's 20 controls, a
// scan of the preset folder and the first factory preset loaded.
void BM_ConstructSecondInstance(benchmark::State& state) {
  const std::string& folder = PresetFolder();
  for (auto _ : state) {
    auto plug = std::make_unique<QiKt412>(folder);
    benchmark::DoNotOptimize(plug.get());
    state.PauseTiming();
    plug.reset();
    state.ResumeTiming();
  }
}
BENCHMARK(BM_ConstructSecondInstance)->Unit(benchmark::kMillisecond);

// What a window's first paint (or an uncovered window) costs: every control drawn.
void BM_FullRedraw(benchmark::State& state) {
  QiKt412 plug(PresetFolder());
  IGraphics* g = plug.Graphics();
  IRECT all(0, 0, g->Width(), g->Height());
  g->Draw(&all);
  for (auto _ : state) {
    g->SetAllControlsDirty();
    g->Draw(&all);
  }
}
BENCHMARK(BM_FullRedraw)->Unit(benchmark::kMicrosecond);

// One timer tick after the host moved one knob: find the dirty area, redraw it.
void BM_OneKnobRedraw(benchmark::State& state) {
  QiKt412 plug(PresetFolder());
  IGraphics* g = plug.Graphics();
  IRECT all(0, 0, g->Width(), g->Height());
  g->Draw(&all);
  int step = 0;
  for (auto _ : state) {
    g->SetParameterFromPlug(kDecay, (step++ % 64) / 63.0, true);
    IRECT dirty;
    if (g->IsDirty(&dirty)) g->Draw(&dirty);
    benchmark::DoNotOptimize(dirty);
  }
}
BENCHMARK(BM_OneKnobRedraw)->Unit(benchmark::kMicrosecond);

}  // namespace

BENCHMARK_MAIN();
