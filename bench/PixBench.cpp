// Blit and fill throughput of the drawing library beside memcpy and pixman on
// the same pixels: a 592 x 442 editor-sized destination, 64 x 64 and
// full-size sources. Reported as megapixels (destination pixels) per second.
#include <benchmark/benchmark.h>
#include <pixman.h>

#include <cstring>
#include <random>

#include "pix/PIX_Blit.h"

namespace {

constexpr int kDstW = 592, kDstH = 442;

void fillRandom(PIX_IBitmap* bm, uint32_t seed)
{
  std::mt19937 rng(seed);
  for (int y = 0; y < bm->getHeight(); ++y)
  {
    PIX_pixel* row = bm->getBits() + (ptrdiff_t)y * bm->getRowSpan();
    for (int x = 0; x < bm->getWidth(); ++x)
    {
      PIX_pixel p = rng();
      const int kind = (int)(rng() % 8);  // some fully clear and fully opaque pixels
      if (kind == 0) p &= 0xFFFFFF00u;
      if (kind == 1) p |= 0xFFu;
      row[x] = p;
    }
  }
}

// Source side for argument 0: 64 x 64; argument 1: the full editor size.
struct Fixture
{
  PIX_MemBitmap dst{kDstW, kDstH, 16};
  PIX_MemBitmap src;
  int w, h;
  explicit Fixture(int full) : src(full ? kDstW : 64, full ? kDstH : 64, 16)
  {
    w = src.getWidth();
    h = src.getHeight();
    fillRandom(&dst, 1);
    fillRandom(&src, 2);
  }
};

// Pixels per second of CPU time; the reporter adds the "/s" and a prefix ("412.5M/s").
void setRate(benchmark::State& state, int pixels)
{
  state.counters["pixels"] =
      benchmark::Counter(pixels, benchmark::Counter::kIsIterationInvariantRate);
}

void BM_Memcpy(benchmark::State& state)
{
  Fixture f((int)state.range(0));
  for (auto _ : state)
  {
    for (int y = 0; y < f.h; ++y)
      memcpy(f.dst.getBits() + (ptrdiff_t)y * f.dst.getRowSpan(),
             f.src.getBits() + (ptrdiff_t)y * f.src.getRowSpan(), (size_t)f.w * 4);
    benchmark::ClobberMemory();
  }
  setRate(state, f.w * f.h);
}

void blitBench(benchmark::State& state, float alpha, int mode)
{
  Fixture f((int)state.range(0));
  for (auto _ : state)
  {
    PIX_Blit(&f.dst, &f.src, 0, 0, 0, 0, f.w, f.h, alpha, mode);
    benchmark::ClobberMemory();
  }
  setRate(state, f.w * f.h);
}
void BM_PixCopy(benchmark::State& s) { blitBench(s, 1.0f, PIX_BLIT_MODE_COPY); }
void BM_PixCopySrcAlpha(benchmark::State& s) { blitBench(s, 1.0f, PIX_BLIT_MODE_COPY | PIX_BLIT_USE_SRC_ALPHA); }
void BM_PixCopySrcAlphaHalf(benchmark::State& s) { blitBench(s, 0.6f, PIX_BLIT_MODE_COPY | PIX_BLIT_USE_SRC_ALPHA); }
void BM_PixAdd(benchmark::State& s) { blitBench(s, 1.0f, PIX_BLIT_MODE_ADD); }
void BM_PixMultiply(benchmark::State& s) { blitBench(s, 1.0f, PIX_BLIT_MODE_MUL); }

// Bilinear enlargement: 64 x 64 to 96 x 96, or a full-size source slightly
// magnified onto the whole destination (a real interpolating path, not the
// same-size shortcut).
void BM_PixScaledBilinear(benchmark::State& state)
{
  Fixture f((int)state.range(0));
  const int dw = state.range(0) ? kDstW : 96, dh = state.range(0) ? kDstH : 96;
  const float sw = state.range(0) ? kDstW * 0.9f : 64.0f, sh = state.range(0) ? kDstH * 0.9f : 64.0f;
  for (auto _ : state)
  {
    PIX_ScaledBlit(&f.dst, &f.src, 0, 0, dw, dh, 0.0f, 0.0f, sw, sh, 1.0f, PIX_BLIT_FILTER_BILINEAR);
    benchmark::ClobberMemory();
  }
  setRate(state, dw * dh);
}

void BM_PixFill(benchmark::State& state)
{
  Fixture f((int)state.range(0));
  for (auto _ : state)
  {
    PIX_FillRect(&f.dst, 0, 0, f.w, f.h, 0x80C04020u, 0.6f, PIX_BLIT_MODE_COPY);
    benchmark::ClobberMemory();
  }
  setRate(state, f.w * f.h);
}

void BM_PixFillOpaque(benchmark::State& state)
{
  Fixture f((int)state.range(0));
  for (auto _ : state)
  {
    PIX_FillRect(&f.dst, 0, 0, f.w, f.h, 0x80C04020u, 1.0f, PIX_BLIT_MODE_COPY);
    benchmark::ClobberMemory();
  }
  setRate(state, f.w * f.h);
}

// pixman on the same buffers (its a8r8g8b8 puts alpha in the top byte and
// expects premultiplied colour; for timing only the amount of work matters).
void pixmanBench(benchmark::State& state, pixman_op_t op)
{
  Fixture f((int)state.range(0));
  pixman_image_t* d = pixman_image_create_bits(PIXMAN_a8r8g8b8, kDstW, kDstH, (uint32_t*)f.dst.getBits(),
                                               f.dst.getRowSpan() * 4);
  pixman_image_t* s = pixman_image_create_bits(PIXMAN_a8r8g8b8, f.w, f.h, (uint32_t*)f.src.getBits(),
                                               f.src.getRowSpan() * 4);
  for (auto _ : state)
  {
    pixman_image_composite32(op, s, nullptr, d, 0, 0, 0, 0, 0, 0, f.w, f.h);
    benchmark::ClobberMemory();
  }
  pixman_image_unref(s);
  pixman_image_unref(d);
  setRate(state, f.w * f.h);
}
void BM_PixmanSrc(benchmark::State& s) { pixmanBench(s, PIXMAN_OP_SRC); }
void BM_PixmanOver(benchmark::State& s) { pixmanBench(s, PIXMAN_OP_OVER); }
void BM_PixmanAdd(benchmark::State& s) { pixmanBench(s, PIXMAN_OP_ADD); }
void BM_PixmanMultiply(benchmark::State& s) { pixmanBench(s, PIXMAN_OP_MULTIPLY); }

void BM_PixmanScaledBilinear(benchmark::State& state)
{
  Fixture f((int)state.range(0));
  const int dw = state.range(0) ? kDstW : 96, dh = state.range(0) ? kDstH : 96;
  const double sx = state.range(0) ? 0.9 : 64.0 / 96.0, sy = state.range(0) ? 0.9 : 64.0 / 96.0;
  pixman_image_t* d = pixman_image_create_bits(PIXMAN_a8r8g8b8, kDstW, kDstH, (uint32_t*)f.dst.getBits(),
                                               f.dst.getRowSpan() * 4);
  pixman_image_t* s = pixman_image_create_bits(PIXMAN_a8r8g8b8, f.w, f.h, (uint32_t*)f.src.getBits(),
                                               f.src.getRowSpan() * 4);
  pixman_transform_t t;
  pixman_transform_init_scale(&t, pixman_double_to_fixed(sx), pixman_double_to_fixed(sy));
  pixman_image_set_transform(s, &t);
  pixman_image_set_filter(s, PIXMAN_FILTER_BILINEAR, nullptr, 0);
  for (auto _ : state)
  {
    pixman_image_composite32(PIXMAN_OP_SRC, s, nullptr, d, 0, 0, 0, 0, 0, 0, dw, dh);
    benchmark::ClobberMemory();
  }
  pixman_image_unref(s);
  pixman_image_unref(d);
  setRate(state, dw * dh);
}

}  // namespace

// Argument: 0 = 64 x 64 source, 1 = full-size source.
BENCHMARK(BM_Memcpy)->Arg(0)->Arg(1);
BENCHMARK(BM_PixCopy)->Arg(0)->Arg(1);
BENCHMARK(BM_PixmanSrc)->Arg(0)->Arg(1);
BENCHMARK(BM_PixCopySrcAlpha)->Arg(0)->Arg(1);
BENCHMARK(BM_PixCopySrcAlphaHalf)->Arg(0)->Arg(1);
BENCHMARK(BM_PixmanOver)->Arg(0)->Arg(1);
BENCHMARK(BM_PixAdd)->Arg(0)->Arg(1);
BENCHMARK(BM_PixmanAdd)->Arg(0)->Arg(1);
BENCHMARK(BM_PixMultiply)->Arg(0)->Arg(1);
BENCHMARK(BM_PixmanMultiply)->Arg(0)->Arg(1);
BENCHMARK(BM_PixScaledBilinear)->Arg(0)->Arg(1);
BENCHMARK(BM_PixmanScaledBilinear)->Arg(0)->Arg(1);
BENCHMARK(BM_PixFill)->Arg(0)->Arg(1);
BENCHMARK(BM_PixFillOpaque)->Arg(0)->Arg(1);

BENCHMARK_MAIN();
