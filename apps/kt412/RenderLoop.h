// The block loop shared by every render of the command line: MIDI events
// into the instrument at their frames, blocks out to a sink.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "MidiFileReader.h"

class QiKt412;
class AUHostUnit;

// Where rendered sound goes: interleaved stereo floats, the gain applied,
// in runs of many blocks at a time.
class RenderSink {
public:
  virtual ~RenderSink() = default;
  virtual bool Take(const float* interleaved, int64_t frames, std::string* error) = 0;
  // True when the sink has all it needs: the render stops early.
  virtual bool Done() const { return false; }
};

// Keeps everything in memory (one-shots, which are trimmed afterwards).
class MemorySink : public RenderSink {
public:
  bool Take(const float* interleaved, int64_t frames, std::string* error) override;
  std::vector<float> samples;  // interleaved stereo
};

struct RenderLoopResult {
  double peak = 0.0;         // largest magnitude after the gain, linear
  int64_t overs = 0;         // samples (each channel counted) beyond full scale
};

// Plays events (frames from the start of the render) through plug, or
// through unit when one is given, for totalFrames frames in blocks of
// blockSize, as a host does: each block's events are queued with their
// offsets, the block rendered and the host's sample position advanced once
// by the block. The output goes to sink in runs of about kRenderChunkFrames
// frames, so a file writer makes few large writes, and the idle tick follows
// each run.
// False with a message when the unit refuses a render or the sink fails.
bool RunRenderLoop(QiKt412& plug, AUHostUnit* unit, const std::vector<MidiFileEvent>& events,
                   int64_t totalFrames, int blockSize, float gain, RenderSink& sink,
                   RenderLoopResult* result, std::string* error);

// Frames handed to the sink at once (128 KiB of float stereo): large enough
// that a write costs little beside the rendering, small enough that the
// memory of a render does not grow with its length.
constexpr int64_t kRenderChunkFrames = 16384;

// Interleaves frames frames of the two channels into dst (2 * frames floats),
// each sample converted to single precision and then scaled by gain there,
// and folds their largest magnitude and count beyond full scale into *peak
// and *overs as MeasurePeak does: the one pass a rendered block takes on its
// way to the file. A NaN is written as it is and never becomes the peak.
void InterleaveScaled(const double* left, const double* right, int64_t frames, float gain, float* dst,
                      double* peak, int64_t* overs);
void InterleaveScaled(const float* left, const float* right, int64_t frames, float gain, float* dst,
                      double* peak, int64_t* overs);
// InterleaveScaled uses AVX2 where the processor has it unless told not to
// (tests check the older instructions' path this way too).
void AllowInterleaveAvx2(bool allow);

// Largest magnitude and count of samples beyond full scale of n samples,
// folded into *peak and *overs. Accumulates in locals so that one sample's
// comparison never waits on the previous one's store.
void MeasurePeak(const float* samples, int64_t n, double* peak, int64_t* overs);
