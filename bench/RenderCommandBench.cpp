// The command line end to end: `kt412 render` of ten minutes against the
// voice alone rendering the same hits in the same run, and `kt412 export` of
// 20 presets x 4 notes x 4 velocities with one worker and with one per core.
// Files go to /dev/shm (memory) when it exists, so the disk does not decide.
// The render runs on one thread, so its process CPU time is the figure to
// set beside the voice's; the file alone (the same bytes written the same
// way) shows what the kernel's share of it is at least.
#include <benchmark/benchmark.h>
#include <unistd.h>

#include <algorithm>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <memory>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

#include "ExportCommand.h"
#include "RenderCommand.h"
#include "RenderLoop.h"
#include "WavWriter.h"
#include "util/ScopedFlushDenormals.h"
#include "voice/VoiceSetup.h"
#include "voice/kt412.h"

namespace {

constexpr int kRate = 48000;
constexpr int kBlock = 512;
constexpr int kHits = 1200;  // one every half second: ten minutes

std::string ScratchFolder() {
  const std::string base = std::filesystem::exists("/dev/shm") ? "/dev/shm" : std::filesystem::temp_directory_path().string();
  const std::string dir = base + "/kt412-bench-" + std::to_string(getpid());
  std::filesystem::create_directories(dir);
  return dir;
}

// A format 0 file, 480 ticks per quarter at 120 bpm (960 ticks a second):
// note 33 every half second, each released a quarter of a second later.
std::string TenMinuteSong(const std::string& dir) {
  std::string track;
  auto vlq = [&](uint32_t v) {
    std::string b(1, static_cast<char>(v & 0x7F));
    while (v >>= 7) b.insert(b.begin(), static_cast<char>(0x80 | (v & 0x7F)));
    track += b;
  };
  for (int i = 0; i < kHits; ++i) {
    vlq(i == 0 ? 0 : 240);
    track += std::string("\x90\x21\x64", 3);
    vlq(240);
    track += std::string("\x90\x21\x00", 3);
  }
  track += std::string("\x00\xFF\x2F\x00", 4);
  auto be = [](uint32_t v, int n) {
    std::string s;
    for (int i = n - 1; i >= 0; --i) s.push_back(static_cast<char>((v >> (8 * i)) & 0xFF));
    return s;
  };
  const std::string path = dir + "/ten.mid";
  std::ofstream(path, std::ios::binary) << "MThd" << be(6, 4) << be(0, 2) << be(1, 2) << be(480, 2) << "MTrk"
                                        << be(static_cast<uint32_t>(track.size()), 4) << track;
  return path;
}

// The render's length: the song's end (600 s) plus the tail the command adds.
int64_t RenderFrames() {
  return static_cast<int64_t>(kHits) * kRate / 2 + static_cast<int64_t>(kTailSeconds * kRate) -
         kRate / 4;
}

void ReportAudio(benchmark::State& state, int64_t frames) {
  state.counters["x_realtime"] =
      benchmark::Counter(static_cast<double>(frames) / kRate * static_cast<double>(state.iterations()),
                         benchmark::Counter::kIsRate);
}

// The voice alone: the same hits in the same blocks, nothing written anywhere.
void BM_TenMinutesVoiceAlone(benchmark::State& state) {
  ScopedFlushDenormals flush;
  kt412 voice;
  voice.setSamplingRate(kRate);
  applyDefaultSound(voice);
  std::vector<float> buffer(kBlock);
  const int64_t frames = RenderFrames();
  for (auto _ : state) {
    for (int64_t f = 0; f < frames;) {
      if (f % (kRate / 2) == 0 && f / (kRate / 2) < kHits) voice.restart();
      const int n = static_cast<int>(std::min<int64_t>({kBlock, frames - f, kRate / 2 - f % (kRate / 2)}));
      voice.process(buffer.data(), n);
      f += n;
    }
    benchmark::DoNotOptimize(buffer.data());
  }
  ReportAudio(state, frames);
}
BENCHMARK(BM_TenMinutesVoiceAlone)->Unit(benchmark::kMillisecond)->UseRealTime()->MeasureProcessCPUTime();

// kt412 render of the same ten minutes to a float file, as the command runs
// it, with the CPU time of the whole process (the kernel's copying of the
// file included): into a new file (state.range(0) 0; the last one is
// removed untimed) or over the file of the previous run (1), which the
// kernel then frees in the timed rename.
void BM_TenMinutesRenderCommand(benchmark::State& state) {
  const std::string dir = ScratchFolder();
  RenderOptions opts;
  opts.inputPath = TenMinuteSong(dir);
  opts.inputs = {opts.inputPath};
  opts.outputPath = dir + "/ten.wav";
  const bool replace = state.range(0) != 0;
  RenderSummary summary;
  for (auto _ : state) {
    if (!replace) {
      state.PauseTiming();
      std::filesystem::remove(opts.outputPath);
      state.ResumeTiming();
    }
    std::ostringstream out, err;
    if (RunRender(opts, out, err, &summary) != 0) state.SkipWithError(err.str().c_str());
  }
  ReportAudio(state, summary.frames);
  std::filesystem::remove_all(dir);
}
BENCHMARK(BM_TenMinutesRenderCommand)->Arg(0)->Arg(1)->Unit(benchmark::kMillisecond)->UseRealTime()->MeasureProcessCPUTime();

// The file of that render alone: the same number of float frames through
// the WAV writer in runs of the render loop's size, into a new file each
// time, with no sound computed (the run is a constant).
void BM_TenMinutesFileAlone(benchmark::State& state) {
  const std::string dir = ScratchFolder();
  const std::string path = dir + "/ten.wav";
  const int64_t frames = RenderFrames();
  std::vector<float> run(static_cast<size_t>(2 * kRenderChunkFrames), 0.25f);
  for (auto _ : state) {
    state.PauseTiming();
    std::filesystem::remove(path);
    state.ResumeTiming();
    WavWriter writer;
    std::string error;
    bool ok = writer.Open(path, kRate, 2, WavSampleFormat::kFloat32, &error);
    for (int64_t f = 0; ok && f < frames; f += kRenderChunkFrames)
      ok = writer.Write(run.data(), std::min(kRenderChunkFrames, frames - f), &error);
    if (!ok || !writer.Commit(&error)) state.SkipWithError(error.c_str());
  }
  ReportAudio(state, frames);
  std::filesystem::remove_all(dir);
}
BENCHMARK(BM_TenMinutesFileAlone)->Unit(benchmark::kMillisecond)->UseRealTime()->MeasureProcessCPUTime();

// kt412 export of the factory presets (20) at 4 notes and 4 velocities, with
// state.range(0) workers (0: one per core).
void BM_ExportFactoryPack(benchmark::State& state) {
  const std::string dir = ScratchFolder();
  ExportOptions opts;
  opts.notes = {24, 30, 36, 42};
  opts.velocities = {32, 64, 96, 127};
  opts.sfz = true;
  opts.outputDir = dir + "/pack";
  opts.jobs = static_cast<int>(state.range(0));
  for (auto _ : state) {
    std::ostringstream out, err;
    if (RunExport(opts, out, err, false) != 0) state.SkipWithError(err.str().c_str());
  }
  state.counters["workers"] = opts.jobs > 0 ? opts.jobs : std::thread::hardware_concurrency();
  std::filesystem::remove_all(dir);
}
BENCHMARK(BM_ExportFactoryPack)->Arg(1)->Arg(0)->Unit(benchmark::kMillisecond)->UseRealTime()->MeasureProcessCPUTime();

}  // namespace

BENCHMARK_MAIN();
