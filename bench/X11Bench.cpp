// Time from a knob's parameter change to its pixels at the X server, for one knob and for the whole editor.
#include <benchmark/benchmark.h>

#include <cstdio>
#include <cstdlib>
#include <memory>
#include <string>

#include "instrument/QiKt412.h"
#include "platform/cli/GraphicsFactory.h"
#include "platform/x11/IGraphicsX11.h"
#include "platform/x11/XvfbServer.h"  // tests/: the same private server the tests use

namespace {

// One private Xvfb for the whole run, and the instrument's editor in a
// top-level window on it; the timer is not involved: each iteration does
// what one tick does (draw the dirty rectangle, put it on screen) and then
// waits for the server (XSync), so the time ends when the pixels are there.
struct Rig {
  XvfbServer server;
  std::unique_ptr<QiKt412> plug;
  IGraphicsX11* gui = nullptr;
  bool ok = false;

  Rig() {
    if (!server.Start()) return;
    SetGraphicsFactory(&MakeGraphicsX11);
    plug = std::make_unique<QiKt412>();
    SetGraphicsFactory(nullptr);
    gui = dynamic_cast<IGraphicsX11*>(static_cast<IGraphics*>(plug->GetGUI()));
    ok = gui != nullptr;
  }
  // scale: the host's factor (1, 1.5 or 2), drawn natively at it.
  bool Open(bool shm, double scale) {
    gui->CloseWindow();
    gui->SetUseShm(shm);
    gui->SetOutputScale(scale);
    if (!gui->OpenWindow(nullptr)) return false;
    for (int i = 0; i < 10; ++i) gui->Idle();
    gui->Sync();
    return gui->UsingShm() == shm;
  }
};

Rig* gRig = nullptr;
Rig& TheRig() {
  if (!gRig) gRig = new Rig();
  return *gRig;
}

void BM_KnobChangeToScreen(benchmark::State& state) {
  Rig& rig = TheRig();
  const bool shm = state.range(0) != 0;
  const double scale = (double)state.range(1) / 2.0;
  if (!rig.ok || !rig.Open(shm, scale)) {
    state.SkipWithError("no X server (Xvfb) or no shared memory");
    return;
  }
  int i = 0;
  for (auto _ : state) {
    // Alternate between two far-apart frames so every change repaints the knob.
    rig.gui->SetParameterFromPlug(kDecay, (i++ & 1) ? 0.9 : 0.1, true);
    rig.gui->RedrawDirty();
    rig.gui->Sync();
  }
  state.SetLabel(std::string(shm ? "MIT-SHM " : "XPutImage ") + (scale == 1.5 ? "1.5" : scale == 2.0 ? "2" : "1") + "x");
}

void BM_FullRedrawToScreen(benchmark::State& state) {
  Rig& rig = TheRig();
  const bool shm = state.range(0) != 0;
  const double scale = (double)state.range(1) / 2.0;
  if (!rig.ok || !rig.Open(shm, scale)) {
    state.SkipWithError("no X server (Xvfb) or no shared memory");
    return;
  }
  int i = 0;
  for (auto _ : state) {
    rig.gui->SetParameterFromPlug(kDecay, (i++ & 1) ? 0.9 : 0.1, true);
    rig.gui->SetAllControlsDirty();
    rig.gui->RedrawDirty();
    rig.gui->Sync();
  }
  state.SetLabel(std::string(shm ? "MIT-SHM " : "XPutImage ") + (scale == 1.5 ? "1.5" : scale == 2.0 ? "2" : "1") + "x");
}

}  // namespace

// Arguments: shared memory on or off, twice the scale (2, 3, 4: 1x, 1.5x, 2x).
BENCHMARK(BM_KnobChangeToScreen)->ArgsProduct({{1, 0}, {2, 3, 4}})->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_FullRedrawToScreen)->ArgsProduct({{1, 0}, {2, 3, 4}})->Unit(benchmark::kMicrosecond);
// The editor and the server go away before the process-wide caches do, and
// the server is stopped even when no benchmark ran.
int main(int argc, char** argv) {
  benchmark::Initialize(&argc, argv);
  if (benchmark::ReportUnrecognizedArguments(argc, argv)) return 1;
  benchmark::RunSpecifiedBenchmarks();
  benchmark::Shutdown();
  delete gRig;
  return 0;
}
