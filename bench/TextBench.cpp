// Text drawing speed: the portable path with a warm glyph cache against the
// native renderer (into a context and through the scratch bitmap), measuring,
// and the cost of a cold cache.
#include <benchmark/benchmark.h>

#include "pix/PIX_Blit.h"
#include "pix/PIX_CachedFont.h"
#include "pix/PIX_SysBitmap.h"
#include "pix/gdi/GDI.h"

namespace {

// The editor's readout: 12 pixel Verdana, monochrome, centred, no clipping.
constexpr const char* kText = "Decay 0.734 s";
constexpr unsigned kFormat = DT_NOCLIP | DT_CENTER;

HFONT Readout(int quality)
{
  return CreateFont(12, 0, 0, 0, FW_NORMAL, 0, 0, 0, DEFAULT_CHARSET, OUT_DEFAULT_PRECIS,
                    CLIP_DEFAULT_PRECIS, quality, DEFAULT_PITCH, "Verdana");
}

void BM_PortableWarm(benchmark::State& state)
{
  PIX_CachedFont font;
  font.SetFromHFont(Readout((int)state.range(0)), PIX_FONT_FLAG_OWNS_HFONT);
  PIX_MemBitmap bm(200, 30);
  PIX_Clear(&bm, PIX_RGBA(255, 255, 255, 255));
  for (auto _ : state) {
    RECT r{0, 0, 200, 30};
    benchmark::DoNotOptimize(font.DrawText(&bm, kText, -1, &r, kFormat));
  }
}
BENCHMARK(BM_PortableWarm)->Arg(NONANTIALIASED_QUALITY)->Arg(ANTIALIASED_QUALITY);

void BM_NativeIntoContext(benchmark::State& state)
{
  PIX_CachedFont font;
  font.SetFromHFont(Readout((int)state.range(0)), PIX_FONT_FLAG_OWNS_HFONT | PIX_FONT_FLAG_FORCE_NATIVE);
  PIX_SysBitmap bm(200, 30);
  PIX_Clear(&bm, PIX_RGBA(255, 255, 255, 255));
  for (auto _ : state) {
    RECT r{0, 0, 200, 30};
    benchmark::DoNotOptimize(font.DrawText(&bm, kText, -1, &r, kFormat));
  }
}
BENCHMARK(BM_NativeIntoContext)->Arg(NONANTIALIASED_QUALITY)->Arg(ANTIALIASED_QUALITY);

void BM_NativeThroughScratch(benchmark::State& state)
{
  PIX_CachedFont font;
  font.SetFromHFont(Readout(NONANTIALIASED_QUALITY), PIX_FONT_FLAG_OWNS_HFONT | PIX_FONT_FLAG_FORCE_NATIVE);
  PIX_MemBitmap bm(200, 30);
  PIX_Clear(&bm, PIX_RGBA(255, 255, 255, 255));
  for (auto _ : state) {
    RECT r{0, 0, 200, 30};
    benchmark::DoNotOptimize(font.DrawText(&bm, kText, -1, &r, kFormat));
  }
}
BENCHMARK(BM_NativeThroughScratch);

void BM_PortableMeasure(benchmark::State& state)
{
  PIX_CachedFont font;
  font.SetFromHFont(Readout(NONANTIALIASED_QUALITY), PIX_FONT_FLAG_OWNS_HFONT);
  for (auto _ : state) {
    RECT r{0, 0, 0, 0};
    benchmark::DoNotOptimize(font.DrawText(nullptr, kText, -1, &r, DT_CALCRECT));
  }
}
BENCHMARK(BM_PortableMeasure);

// Setting the font forgets the cache: every glyph of the text is rendered again.
void BM_PortableCold(benchmark::State& state)
{
  PIX_CachedFont font;
  HFONT hf = Readout(ANTIALIASED_QUALITY);
  PIX_MemBitmap bm(200, 30);
  for (auto _ : state) {
    font.SetFromHFont(hf, 0);
    RECT r{0, 0, 200, 30};
    benchmark::DoNotOptimize(font.DrawText(&bm, kText, -1, &r, kFormat));
  }
  font.SetFromHFont(nullptr, 0);
  DeleteObject(hf);
}
BENCHMARK(BM_PortableCold);

}  // namespace

BENCHMARK_MAIN();
