// What the binding benchmarks share: the bare instrument driven as a host
// binding drives it, the hit pattern every side plays, and the thread CPU
// clock their turn-taking comparisons read.
#pragma once

#include <benchmark/benchmark.h>

#include <time.h>

#include <vector>

#include "framework/IMidiMsg.h"
#include "instrument/QiKt412.h"

namespace benchrig {

constexpr double kRate = 48000.0;
constexpr int kHitEvery = 24000;  // frames: half a second

// First frame of a hit inside [frame, frame + n), or -1.
inline long HitIn(long frame, int n) {
  const long next = (frame + kHitEvery - 1) / kHitEvery * kHitEvery;
  return next < frame + n ? next - frame : -1;
}

// Thread CPU time in nanoseconds: time the scheduler gave another process is
// not counted.
inline double CpuNs() {
  timespec ts{};
  clock_gettime(CLOCK_THREAD_CPUTIME_ID, &ts);
  return static_cast<double>(ts.tv_sec) * 1e9 + static_cast<double>(ts.tv_nsec);
}

// The bare instrument as a host binding drives it: MIDI in, float out
// through the base's buffers.
class BareInstrument {
public:
  explicit BareInstrument(int block)
      : mBlock(block), mLeft(static_cast<size_t>(block)), mRight(static_cast<size_t>(block)) {
    mPlug.SetSampleRate(kRate);
    mPlug.SetBlockSize(block);
    mPlug.Reset();
    mPlug.OnParamReset();
    mPlug.SetOutputChannelConnections(0, 2, true);
  }
  void Block() {
    const long hit = HitIn(mFrame, mBlock);
    if (hit >= 0) {
      IMidiMsg msg(static_cast<int>(hit), 0x90, 33, 100);
      mPlug.ProcessMidiMsg(&msg);
    }
    float* outs[2] = {mLeft.data(), mRight.data()};
    mPlug.AttachOutputBuffers(0, 2, outs);
    mPlug.ProcessBuffers(0.0f, mBlock);
    benchmark::DoNotOptimize(mLeft.data());
    mFrame += mBlock;
  }

private:
  int mBlock;
  QiKt412 mPlug;
  std::vector<float> mLeft, mRight;
  long mFrame = 0;
};

}  // namespace benchrig
