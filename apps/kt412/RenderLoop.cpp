// The block loop of every command-line render.
#include "RenderLoop.h"

#include <algorithm>
#include <atomic>
#include <cmath>

#if defined(__SSE2__)
#include <emmintrin.h>
#endif
// AVX2 code is compiled for every x86-64 build and chosen at run time.
#if defined(__x86_64__) && defined(__GNUC__)
#define KT_RENDER_AVX2 1
#include <immintrin.h>
#endif

#include "AUHost.h"
#include "instrument/QiKt412.h"

bool MemorySink::Take(const float* interleaved, int64_t frames, std::string* /*error*/) {
  samples.insert(samples.end(), interleaved, interleaved + 2 * frames);
  return true;
}

void MeasurePeak(const float* samples, int64_t n, double* peak, int64_t* overs) {
  // "a > m ? a : m" skips a NaN as the double comparison did, and a float
  // compare with 1 gives the same answer as the widened double; that is
  // exactly what the processor's vector maximum and compare do, four lanes at
  // a time, each in a register of its own.
  float best = static_cast<float>(*peak);
  int64_t total = 0;
  int64_t i = 0;
#if defined(__SSE2__)
  const __m128 absMask = _mm_castsi128_ps(_mm_set1_epi32(0x7FFFFFFF));
  const __m128 one = _mm_set1_ps(1.0f);
  __m128 m0 = _mm_set1_ps(best), m1 = m0;
  while (i + 8 <= n) {
    // The 32-bit lane counters are emptied before they could fill.
    const int64_t stop = std::min<int64_t>(n - (n - i) % 8, i + (int64_t{1} << 30));
    __m128i o0 = _mm_setzero_si128(), o1 = o0;
    for (; i < stop; i += 8) {
      const __m128 a = _mm_and_ps(_mm_loadu_ps(samples + i), absMask);
      const __m128 b = _mm_and_ps(_mm_loadu_ps(samples + i + 4), absMask);
      m0 = _mm_max_ps(a, m0);
      m1 = _mm_max_ps(b, m1);
      o0 = _mm_sub_epi32(o0, _mm_castps_si128(_mm_cmpgt_ps(a, one)));
      o1 = _mm_sub_epi32(o1, _mm_castps_si128(_mm_cmpgt_ps(b, one)));
    }
    alignas(16) int32_t counts[8];
    _mm_store_si128(reinterpret_cast<__m128i*>(counts), o0);
    _mm_store_si128(reinterpret_cast<__m128i*>(counts + 4), o1);
    for (int32_t c : counts) total += c;
  }
  alignas(16) float lanes[8];
  _mm_store_ps(lanes, m0);
  _mm_store_ps(lanes + 4, m1);
  for (float x : lanes) best = x > best ? x : best;
#endif
  for (; i < n; ++i) {
    const float a = std::fabs(samples[i]);
    best = a > best ? a : best;
    total += a > 1.0f;
  }
  *peak = std::max(*peak, static_cast<double>(best));
  *overs += total;
}

namespace {

#if defined(__SSE2__)
// Four samples of a channel as floats.
inline __m128 Load4(const float* p) { return _mm_loadu_ps(p); }
inline __m128 Load4(const double* p) {
  return _mm_movelh_ps(_mm_cvtpd_ps(_mm_loadu_pd(p)), _mm_cvtpd_ps(_mm_loadu_pd(p + 2)));
}
#endif

#if defined(KT_RENDER_AVX2)
// Eight samples of a channel as floats.
__attribute__((target("avx2"))) inline __m256 Load8(const float* p) { return _mm256_loadu_ps(p); }
__attribute__((target("avx2"))) inline __m256 Load8(const double* p) {
  return _mm256_insertf128_ps(_mm256_castps128_ps256(_mm256_cvtpd_ps(_mm256_loadu_pd(p))),
                              _mm256_cvtpd_ps(_mm256_loadu_pd(p + 4)), 1);
}

// The vector part of InterleaveScaledT eight frames at a time, where the
// processor has AVX2: the same operations on twice the lanes, so the same
// bits. Returns the frames done.
template <typename Sample>
__attribute__((target("avx2"))) int64_t InterleaveScaledAvx2(const Sample* left, const Sample* right,
                                                             int64_t frames, float gain, float* dst,
                                                             float* best, int64_t* total) {
  const __m256 absMask = _mm256_castsi256_ps(_mm256_set1_epi32(0x7FFFFFFF));
  const __m256 one = _mm256_set1_ps(1.0f);
  const __m256 g = _mm256_set1_ps(gain);
  __m256 m = _mm256_set1_ps(*best);
  int64_t i = 0;
  while (i + 8 <= frames) {
    const int64_t stop = std::min<int64_t>(frames - (frames - i) % 8, i + (int64_t{1} << 29));
    __m256i o = _mm256_setzero_si256();
    for (; i < stop; i += 8) {
      const __m256 l = _mm256_mul_ps(Load8(left + i), g);
      const __m256 r = _mm256_mul_ps(Load8(right + i), g);
      // Within each half: l0 r0 l1 r1 | l4 r4 l5 r5 and l2 r2 l3 r3 | l6 r6 l7 r7.
      const __m256 lo = _mm256_unpacklo_ps(l, r);
      const __m256 hi = _mm256_unpackhi_ps(l, r);
      _mm256_storeu_ps(dst + 2 * i, _mm256_permute2f128_ps(lo, hi, 0x20));
      _mm256_storeu_ps(dst + 2 * i + 8, _mm256_permute2f128_ps(lo, hi, 0x31));
      const __m256 al = _mm256_and_ps(l, absMask);
      const __m256 ar = _mm256_and_ps(r, absMask);
      m = _mm256_max_ps(ar, _mm256_max_ps(al, m));
      o = _mm256_sub_epi32(o, _mm256_castps_si256(_mm256_cmp_ps(al, one, _CMP_GT_OQ)));
      o = _mm256_sub_epi32(o, _mm256_castps_si256(_mm256_cmp_ps(ar, one, _CMP_GT_OQ)));
    }
    alignas(32) int32_t counts[8];
    _mm256_store_si256(reinterpret_cast<__m256i*>(counts), o);
    for (int32_t c : counts) *total += c;
  }
  alignas(32) float lanes[8];
  _mm256_store_ps(lanes, m);
  for (float x : lanes) *best = x > *best ? x : *best;
  return i;
}

std::atomic<bool> gAvx2Allowed{true};

bool UseAvx2() {
  static const bool has = __builtin_cpu_supports("avx2");
  return has && gAvx2Allowed.load(std::memory_order_relaxed);
}
#endif

template <typename Sample>
void InterleaveScaledT(const Sample* left, const Sample* right, int64_t frames, float gain, float* dst,
                       double* peak, int64_t* overs) {
  // The same comparisons as MeasurePeak, made while the samples are in
  // registers instead of in a second pass over the written run.
  float best = static_cast<float>(*peak);
  int64_t total = 0;
  int64_t i = 0;
#if defined(KT_RENDER_AVX2)
  if (UseAvx2()) i = InterleaveScaledAvx2(left, right, frames, gain, dst, &best, &total);
#endif
#if defined(__SSE2__)
  const __m128 absMask = _mm_castsi128_ps(_mm_set1_epi32(0x7FFFFFFF));
  const __m128 one = _mm_set1_ps(1.0f);
  const __m128 g = _mm_set1_ps(gain);
  __m128 m = _mm_set1_ps(best);
  while (i + 4 <= frames) {
    // The 32-bit lane counters are emptied before they could fill.
    const int64_t stop = std::min<int64_t>(frames - (frames - i) % 4, i + (int64_t{1} << 29));
    __m128i o = _mm_setzero_si128();
    for (; i < stop; i += 4) {
      const __m128 l = _mm_mul_ps(Load4(left + i), g);
      const __m128 r = _mm_mul_ps(Load4(right + i), g);
      _mm_storeu_ps(dst + 2 * i, _mm_unpacklo_ps(l, r));
      _mm_storeu_ps(dst + 2 * i + 4, _mm_unpackhi_ps(l, r));
      const __m128 al = _mm_and_ps(l, absMask);
      const __m128 ar = _mm_and_ps(r, absMask);
      m = _mm_max_ps(ar, _mm_max_ps(al, m));
      o = _mm_sub_epi32(o, _mm_castps_si128(_mm_cmpgt_ps(al, one)));
      o = _mm_sub_epi32(o, _mm_castps_si128(_mm_cmpgt_ps(ar, one)));
    }
    alignas(16) int32_t counts[4];
    _mm_store_si128(reinterpret_cast<__m128i*>(counts), o);
    for (int32_t c : counts) total += c;
  }
  alignas(16) float lanes[4];
  _mm_store_ps(lanes, m);
  for (float x : lanes) best = x > best ? x : best;
#endif
  for (; i < frames; ++i) {
    const float l = static_cast<float>(left[i]) * gain;
    const float r = static_cast<float>(right[i]) * gain;
    dst[2 * i] = l;
    dst[2 * i + 1] = r;
    for (const float a : {std::fabs(l), std::fabs(r)}) {
      best = a > best ? a : best;
      total += a > 1.0f;
    }
  }
  *peak = std::max(*peak, static_cast<double>(best));
  *overs += total;
}

}  // namespace

void AllowInterleaveAvx2(bool allow) {
#if defined(KT_RENDER_AVX2)
  gAvx2Allowed.store(allow, std::memory_order_relaxed);
#else
  (void)allow;
#endif
}

void InterleaveScaled(const double* left, const double* right, int64_t frames, float gain, float* dst,
                      double* peak, int64_t* overs) {
  InterleaveScaledT(left, right, frames, gain, dst, peak, overs);
}

void InterleaveScaled(const float* left, const float* right, int64_t frames, float gain, float* dst,
                      double* peak, int64_t* overs) {
  InterleaveScaledT(left, right, frames, gain, dst, peak, overs);
}

bool RunRenderLoop(QiKt412& plug, AUHostUnit* unit, const std::vector<MidiFileEvent>& events,
                   int64_t totalFrames, int blockSize, float gain, RenderSink& sink,
                   RenderLoopResult* result, std::string* error) {
  // The host's side of a render call. The built-in path takes the base's
  // double-precision outputs as they are and converts them to floats in the
  // pass that interleaves them, the very conversion the base would make for
  // a host of single-precision buffers; the plug-in library fills floats.
  const int block = blockSize;
  std::vector<float> left, right;
  std::vector<double> dLeft, dRight;
  if (unit) {
    left.resize(static_cast<size_t>(block));
    right.resize(static_cast<size_t>(block));
  } else {
    dLeft.resize(static_cast<size_t>(block));
    dRight.resize(static_cast<size_t>(block));
    double* outs[2] = {dLeft.data(), dRight.data()};
    plug.SetOutputChannelConnections(0, 2, true);
    plug.AttachOutputBuffers(0, 2, outs);
  }
  const int64_t chunkFrames = std::max<int64_t>(block, kRenderChunkFrames / block * block);
  // One run buffer, written out on this thread when full: a second thread
  // writing the previous run while this one fills costs more processor time
  // (a hand-over and two context switches a run, and the run's samples read
  // on another core) than it could save, and on a loaded machine even the
  // wall time is longer.
  std::vector<float> chunk(static_cast<size_t>(2 * chunkFrames));
  int64_t filled = 0;

  double peak = 0.0;
  int64_t overs = 0;
  auto flush = [&]() {
    const bool ok = sink.Take(chunk.data(), filled, error);
    filled = 0;
    // Where a host's editor timer would tick, once a run rather than once a
    // block (its ticks are far apart beside a render that outruns real
    // time): controller moves reach the (recorded) host from here, not from
    // the render.
    plug.OnIdle();
    return ok;
  };

  size_t next = 0;
  for (int64_t start = 0; start < totalFrames; start += block) {
    const int n = static_cast<int>(std::min<int64_t>(block, totalFrames - start));
    if (filled + n > chunkFrames) {
      if (!flush()) return false;
      if (sink.Done()) break;
    }
    for (; next < events.size() && events[next].frame < start + n; ++next) {
      const MidiFileEvent& e = events[next];
      if (unit) {
        MusicDeviceMIDIEvent(unit->Unit(), e.status, e.data1, e.data2, static_cast<UInt32>(e.frame - start));
      } else {
        IMidiMsg msg(static_cast<int>(e.frame - start), e.status, e.data1, e.data2);
        plug.ProcessMidiMsg(&msg);
      }
    }
    float* dst = chunk.data() + 2 * filled;
    if (unit) {
      if (unit->Render(static_cast<UInt32>(n), left.data(), right.data()) != noErr) {
        if (error) *error = "the plug-in library refused a render call";
        return false;
      }
      InterleaveScaled(left.data(), right.data(), n, gain, dst, &peak, &overs);
    } else {
      plug.ProcessBuffers(0.0, n);
      // A host's transport moves once per rendered block.
      plug.AdvanceSamplePos(n);
      InterleaveScaled(dLeft.data(), dRight.data(), n, gain, dst, &peak, &overs);
    }
    filled += n;
  }
  if (filled > 0 && !flush()) return false;
  if (result) {
    result->peak = peak;
    result->overs = overs;
  }
  return true;
}
