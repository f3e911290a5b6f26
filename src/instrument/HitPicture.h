// The picture of one hit of the current sound: its waveform and envelope, column by column.
#pragma once

#include <memory>
#include <vector>

class kt412;

// Renders one hit of a set of parameter values with a voice of its own and
// reduces it to what a drawing needs: for each column of the picture the
// lowest and highest sample and the peak level, as fractions of full scale
// (the instrument's output, i.e. the voice halved; clipped to -1..1).
//
// The voice is built afresh for every hit, so the picture depends on the
// values alone, never on the hits before. It is not the instrument's voice:
// this runs on the editor's thread and never touches the audio thread.
//
// Lifecycle: construct, Render whenever the values change, read the columns.
// Threads: one thread at a time (the editor's).
class HitPicture {
public:
  // Seconds of the hit shown, and the rate it is rendered at.
  static constexpr double kSpanSeconds = 0.5;
  static constexpr double kSampleRate = 44100.0;
  // Values handed to Render: the sound parameters and the two MIDI switches
  // (indices 0..10 of the instrument), as IParam::Value() gives them.
  static constexpr int kNumValues = 11;

  explicit HitPicture(int columns);
  ~HitPicture();
  HitPicture(const HitPicture&) = delete;
  HitPicture& operator=(const HitPicture&) = delete;

  // Renders the hit the pad would play with these values. Returns false
  // (and renders nothing) when they equal those of the last render.
  bool Render(const double (&values)[kNumValues]);

  int Columns() const { return (int)mLow.size(); }
  // Another number of columns (for another drawing scale); the next Render
  // renders whatever the values.
  void SetColumns(int columns);
  const std::vector<float>& Low() const { return mLow; }
  const std::vector<float>& High() const { return mHigh; }
  const std::vector<float>& Peak() const { return mPeak; }
  // Renders so far; for checks that a picture is only made on a change.
  long Renders() const { return mRenders; }

private:
  std::unique_ptr<kt412> mVoice;
  std::vector<float> mSamples;
  std::vector<float> mLow, mHigh, mPeak;
  double mValues[kNumValues] = {};
  bool mHaveValues = false;
  long mRenders = 0;
};
