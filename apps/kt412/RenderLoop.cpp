// The block loop of every command-line render.
#include "RenderLoop.h"

#include <algorithm>
#include <cmath>
#include <memory>
#include <condition_variable>
#include <mutex>
#include <thread>

#if defined(__SSE2__)
#include <emmintrin.h>
#endif

#include "AUHost.h"
#include "instrument/QiKt412.h"

bool MemorySink::Take(const float* interleaved, int64_t frames, std::string* /*error*/) {
  samples.insert(samples.end(), interleaved, interleaved + 2 * frames);
  return true;
}

namespace {

// Hands runs of samples to a sink on a thread of its own, one at a time: the
// caller renders into a second buffer meanwhile and hands it over once the
// first is written.
class BackgroundTaker {
public:
  explicit BackgroundTaker(RenderSink& sink) : mSink(sink), mThread([this] { Run(); }) {}
  ~BackgroundTaker() { Finish(nullptr); }

  // Waits until the previous run is written, then passes this one on; data
  // must stay untouched until the next Hand or Finish returns. False (with
  // the sink's message) when an earlier run failed.
  bool Hand(const float* data, int64_t frames, std::string* error) {
    std::unique_lock<std::mutex> lock(mMutex);
    mIdle.wait(lock, [this] { return mData == nullptr; });
    if (mFailed) return Failed(error);
    mData = data;
    mFrames = frames;
    mWork.notify_one();
    return true;
  }
  // Waits for the last run and ends the thread.
  bool Finish(std::string* error) {
    {
      std::unique_lock<std::mutex> lock(mMutex);
      mIdle.wait(lock, [this] { return mData == nullptr; });
      mStop = true;
      mWork.notify_one();
    }
    if (mThread.joinable()) mThread.join();
    std::lock_guard<std::mutex> lock(mMutex);
    return mFailed ? Failed(error) : true;
  }

private:
  bool Failed(std::string* error) {
    if (error) *error = mError;
    return false;
  }
  void Run() {
    std::unique_lock<std::mutex> lock(mMutex);
    while (true) {
      mWork.wait(lock, [this] { return mData != nullptr || mStop; });
      if (!mData) return;
      const float* data = mData;
      const int64_t frames = mFrames;
      lock.unlock();
      std::string error;
      const bool ok = mFailed || mSink.Take(data, frames, &error);
      lock.lock();
      if (!ok && !mFailed) {
        mFailed = true;
        mError = error;
      }
      mData = nullptr;
      mIdle.notify_one();
    }
  }

  RenderSink& mSink;
  std::mutex mMutex;
  std::condition_variable mWork, mIdle;
  const float* mData = nullptr;
  int64_t mFrames = 0;
  bool mStop = false;
  bool mFailed = false;
  std::string mError;
  std::thread mThread;  // last: starts once everything above exists
};

}  // namespace

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

bool RunRenderLoop(QiKt412& plug, AUHostUnit* unit, const std::vector<MidiFileEvent>& events,
                   int64_t totalFrames, int blockSize, float gain, RenderSink& sink,
                   RenderLoopResult* result, std::string* error) {
  // The host's side of a render call: two connected outputs in single
  // precision, which the base fills from the instrument's render entry.
  const int block = blockSize;
  std::vector<float> left(static_cast<size_t>(block)), right(static_cast<size_t>(block));
  float* outs[2] = {left.data(), right.data()};
  if (!unit) {
    plug.SetOutputChannelConnections(0, 2, true);
    plug.AttachOutputBuffers(0, 2, outs);
  }
  const int64_t chunkFrames = std::max<int64_t>(block, kRenderChunkFrames / block * block);
  // Two buffers when the sink writes in the background: one being written
  // while the other fills.
  // (The buffers are declared first so that they outlive the writing thread.)
  std::vector<float> chunks[2];
  std::unique_ptr<BackgroundTaker> background;
  if (sink.InBackground()) background = std::make_unique<BackgroundTaker>(sink);
  chunks[0].resize(static_cast<size_t>(2 * chunkFrames));
  if (background) chunks[1].resize(static_cast<size_t>(2 * chunkFrames));
  int current = 0;
  int64_t filled = 0;

  double peak = 0.0;
  int64_t overs = 0;
  auto flush = [&]() {
    const float* data = chunks[current].data();
    MeasurePeak(data, 2 * filled, &peak, &overs);
    bool ok;
    if (background) {
      ok = background->Hand(data, filled, error);
      current ^= 1;
    } else {
      ok = sink.Take(data, filled, error);
    }
    filled = 0;
    return ok;
  };

  size_t next = 0;
  for (int64_t start = 0; start < totalFrames; start += block) {
    const int n = static_cast<int>(std::min<int64_t>(block, totalFrames - start));
    for (; next < events.size() && events[next].frame < start + n; ++next) {
      const MidiFileEvent& e = events[next];
      if (unit) {
        MusicDeviceMIDIEvent(unit->Unit(), e.status, e.data1, e.data2, static_cast<UInt32>(e.frame - start));
      } else {
        IMidiMsg msg(static_cast<int>(e.frame - start), e.status, e.data1, e.data2);
        plug.ProcessMidiMsg(&msg);
      }
    }
    if (unit) {
      if (unit->Render(static_cast<UInt32>(n), left.data(), right.data()) != noErr) {
        if (error) *error = "the plug-in library refused a render call";
        return false;
      }
    } else {
      plug.ProcessBuffers(0.0f, n);
      // A host's transport moves once per rendered block.
      plug.AdvanceSamplePos(n);
    }
    if (filled + n > chunkFrames) {
      if (!flush()) return false;
      if (sink.Done()) break;
    }
    float* dst = chunks[current].data() + 2 * filled;
    for (int i = 0; i < n; ++i) {
      dst[2 * i] = left[static_cast<size_t>(i)] * gain;
      dst[2 * i + 1] = right[static_cast<size_t>(i)] * gain;
    }
    filled += n;
    // Where a host's editor timer would tick: controller moves reach the
    // (recorded) host from here, not from the render.
    plug.OnIdle();
  }
  if (filled > 0 && !flush()) return false;
  if (background && !background->Finish(error)) return false;
  if (result) {
    result->peak = peak;
    result->overs = overs;
  }
  return true;
}
