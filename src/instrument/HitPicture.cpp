// One hit rendered off the audio thread and reduced to drawing columns.
#include "instrument/HitPicture.h"

#include <algorithm>
#include <cmath>
#include <memory>

#include "instrument/QiKt412.h"
#include "util/ScopedFlushDenormals.h"
#include "voice/kt412.h"

HitPicture::HitPicture(int columns)
    : mSamples((std::size_t)std::lround(kSpanSeconds * kSampleRate)),
      mLow((std::size_t)std::max(columns, 1)),
      mHigh(mLow.size()),
      mPeak(mLow.size()) {}

HitPicture::~HitPicture() = default;

void HitPicture::SetColumns(int columns) {
  const std::size_t n = (std::size_t)std::max(columns, 1);
  if (n == mLow.size()) return;
  mLow.assign(n, 0.0f);
  mHigh.assign(n, 0.0f);
  mPeak.assign(n, 0.0f);
  mHaveValues = false;
}

bool HitPicture::Render(const double (&values)[kNumValues]) {
  if (mHaveValues && std::equal(values, values + kNumValues, mValues)) return false;
  std::copy(values, values + kNumValues, mValues);
  mHaveValues = true;
  ++mRenders;

  // A new voice is exactly a new instance's: no earlier hit rings into this one.
  mVoice = std::make_unique<kt412>();
  mVoice->setSamplingRate(kSampleRate);
  for (int p = 0; p < kNumValues; ++p) QiKt412::SetVoiceParameter(*mVoice, p, values[p]);
  // As the trigger pad plays it, at full velocity.
  mVoice->setMidiNote(QiKt412::kTriggerNote);
  mVoice->setMidiVelocity(1.0);
  mVoice->restart();
  {
    ScopedFlushDenormals ftz;
    mVoice->process(mSamples.data(), (int)mSamples.size());
  }

  const std::size_t n = mSamples.size(), cols = mLow.size();
  for (std::size_t c = 0; c < cols; ++c) {
    const std::size_t a = c * n / cols, b = std::max(a + 1, (c + 1) * n / cols);
    float lo = mSamples[a], hi = lo;
    for (std::size_t i = a + 1; i < b && i < n; ++i) {
      lo = std::min(lo, mSamples[i]);
      hi = std::max(hi, mSamples[i]);
    }
    // The instrument plays the voice halved.
    lo = std::clamp(lo * 0.5f, -1.0f, 1.0f);
    hi = std::clamp(hi * 0.5f, -1.0f, 1.0f);
    mLow[c] = lo;
    mHigh[c] = hi;
    mPeak[c] = std::max(-lo, hi);
  }
  // The envelope follows the peaks down without dipping between the cycles
  // of a low tone: each column's level falls no faster than a time constant
  // of 30 ms allows (44100 Hz, 0.5 s over the columns).
  const float fall = std::exp(-(float)(kSpanSeconds / (double)cols) / 0.03f);
  for (std::size_t c = 1; c < cols; ++c) mPeak[c] = std::max(mPeak[c], mPeak[c - 1] * fall);
  return true;
}
