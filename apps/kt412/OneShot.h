// One-shots: a single hit rendered without a MIDI file, its length either
// fixed or ending where its tail falls silent, optionally normalised.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

class QiKt412;

// A tail is silent below this level...
constexpr double kOneShotFloorDb = -90.0;
// ...and a one-shot of automatic length ends with at most this much of that
// silent tail, faded to zero, so that the file ends without a step.
constexpr double kOneShotFadeSeconds = 0.005;
// The longest a one-shot of automatic length may become. The longest tails
// the voice makes (Decay, Hold and NoiseDecay at their ends) fall below the
// floor within about 1.3 s.
constexpr double kOneShotMaxSeconds = 10.0;
// Rendering stops once the sound has stayed below the floor this long: the
// voice's envelopes only fall after the hold, so it does not come back.
constexpr double kOneShotQuietSeconds = 0.25;
constexpr double kDefaultNormalizeDb = -0.3;

struct OneShotSpec {
  int note = 36;
  int velocity = 127;
  double lengthSeconds = 0.0;   // > 0: exactly this long; 0: automatic
  bool normalize = false;
  double normalizeDb = kDefaultNormalizeDb;
  float gain = 1.0f;            // applied to the rendered hit (ignored with normalize)
};

struct OneShot {
  std::vector<float> samples;   // interleaved stereo, the file's content
  int64_t frames = 0;
  int64_t audibleFrames = 0;    // frames up to the last sample at or above the floor
  double gainDb = 0.0;          // the normalising gain, when normalised
  double peak = 0.0;            // largest magnitude in the file, linear
  int64_t overs = 0;            // samples beyond full scale
};

// Where a one-shot of automatic length ends, in frames of interleaved stereo:
// audibleFrames is one past the last frame with a sample at or above floor
// (0 when none is), fadeFrames the frames after it that are kept and faded
// (at most kOneShotFadeSeconds, fewer when the render ends sooner).
struct OneShotEnd {
  int64_t audibleFrames = 0;
  int64_t fadeFrames = 0;
};
OneShotEnd FindOneShotEnd(const std::vector<float>& stereo, int sampleRate, float floor);

// Cuts stereo after the end and fades the kept silent frames linearly to
// zero; the audible frames are left as they are.
void TrimOneShot(std::vector<float>* stereo, const OneShotEnd& end);

// The floor as a linear level.
float OneShotFloor();

// Plays one note-on at frame 0 (channel 1) through plug, which the caller
// has prepared (sample rate, block size, parameters), and makes the file's
// samples. False with a message when the render fails.
bool RenderOneShot(QiKt412& plug, int sampleRate, int blockSize, const OneShotSpec& spec, OneShot* shot,
                   std::string* error);
