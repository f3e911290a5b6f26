// One-shots: render, normalise, trim.
#include "OneShot.h"

#include <algorithm>
#include <cmath>

#include "RenderLoop.h"
#include "instrument/QiKt412.h"

namespace {

// Frames up to and including the last frame holding a sample at or above floor.
int64_t AudibleFrames(const float* stereo, int64_t frames, float floor) {
  for (int64_t f = frames; f > 0; --f) {
    if (std::fabs(stereo[2 * f - 2]) >= floor || std::fabs(stereo[2 * f - 1]) >= floor) return f;
  }
  return 0;
}

// Collects the hit and says when enough of its silent tail has been rendered
// to place the end: at the floor of the level the file will have, which with
// normalisation depends on the peak (so far: it only grows, raising the
// floor, so a decision to stop stays right).
class OneShotSink : public MemorySink {
public:
  OneShotSink(int sampleRate, const OneShotSpec& spec) : mRate(sampleRate), mSpec(spec) {}

  bool Take(const float* interleaved, int64_t frames, std::string* error) override {
    MemorySink::Take(interleaved, frames, error);
    if (mSpec.lengthSeconds > 0.0) return true;
    double peak = 0.0;
    int64_t overs = 0;
    MeasurePeak(interleaved, 2 * frames, &peak, &overs);
    mPeak = std::max(mPeak, peak);
    if (mPeak <= 0.0) return true;
    const double scale = mSpec.normalize ? std::pow(10.0, mSpec.normalizeDb / 20.0) / mPeak : mSpec.gain;
    const float floor = static_cast<float>(OneShotFloor() / scale);
    const int64_t total = static_cast<int64_t>(samples.size() / 2);
    const int64_t audible = AudibleFrames(samples.data(), total, floor);
    mDone = audible > 0 && total - audible >= static_cast<int64_t>(kOneShotQuietSeconds * mRate);
    return true;
  }
  bool Done() const override { return mDone; }

private:
  int mRate;
  OneShotSpec mSpec;
  double mPeak = 0.0;
  bool mDone = false;
};

}  // namespace

float OneShotFloor() { return static_cast<float>(std::pow(10.0, kOneShotFloorDb / 20.0)); }

OneShotEnd FindOneShotEnd(const std::vector<float>& stereo, int sampleRate, float floor) {
  OneShotEnd end;
  const int64_t frames = static_cast<int64_t>(stereo.size() / 2);
  end.audibleFrames = AudibleFrames(stereo.data(), frames, floor);
  const int64_t fade = static_cast<int64_t>(std::floor(kOneShotFadeSeconds * sampleRate));
  end.fadeFrames = std::min(fade, frames - end.audibleFrames);
  return end;
}

void TrimOneShot(std::vector<float>* stereo, const OneShotEnd& end) {
  const int64_t frames = end.audibleFrames + end.fadeFrames;
  stereo->resize(static_cast<size_t>(2 * frames));
  // A straight line from the last audible level to zero at the last frame.
  for (int64_t i = 0; i < end.fadeFrames; ++i) {
    const float g = static_cast<float>(end.fadeFrames - 1 - i) / static_cast<float>(end.fadeFrames);
    float* f = stereo->data() + 2 * (end.audibleFrames + i);
    f[0] *= g;
    f[1] *= g;
  }
}

bool RenderOneShot(QiKt412& plug, int sampleRate, int blockSize, const OneShotSpec& spec, OneShot* shot,
                   std::string* error) {
  const bool fixed = spec.lengthSeconds > 0.0;
  const int64_t maxFrames =
      static_cast<int64_t>(std::llround((fixed ? spec.lengthSeconds : kOneShotMaxSeconds) * sampleRate));
  const std::vector<MidiFileEvent> hit = {
      {0, 0x90, static_cast<unsigned char>(spec.note), static_cast<unsigned char>(spec.velocity)}};
  OneShotSink sink(sampleRate, spec);
  RenderLoopResult loop;
  if (!RunRenderLoop(plug, nullptr, hit, maxFrames, blockSize, spec.normalize ? 1.0f : spec.gain, sink, &loop,
                     error))
    return false;
  std::vector<float>& s = sink.samples;

  shot->gainDb = 0.0;
  if (spec.normalize && loop.peak > 0.0) {
    const double gain = std::pow(10.0, spec.normalizeDb / 20.0) / loop.peak;
    const float g = static_cast<float>(gain);
    for (float& x : s) x *= g;
    shot->gainDb = 20.0 * std::log10(gain);
  }
  if (fixed) {
    s.resize(static_cast<size_t>(2 * maxFrames));
    shot->audibleFrames = AudibleFrames(s.data(), maxFrames, OneShotFloor());
  } else {
    const OneShotEnd end = FindOneShotEnd(s, sampleRate, OneShotFloor());
    TrimOneShot(&s, end);
    shot->audibleFrames = end.audibleFrames;
  }
  shot->frames = static_cast<int64_t>(s.size() / 2);
  shot->peak = 0.0;
  shot->overs = 0;
  MeasurePeak(s.data(), static_cast<int64_t>(s.size()), &shot->peak, &shot->overs);
  shot->samples = std::move(s);
  return true;
}
