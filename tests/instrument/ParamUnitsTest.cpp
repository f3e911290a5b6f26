// Parameter values in a musician's units: what the editor shows, against what the voice does.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>

#include "InstrumentRig.h"
#include "instrument/ParamUnits.h"

using namespace kttest;

namespace {

// The mean level of out over [from, to) seconds.
double LevelBetween(const std::vector<double>& out, double from, double to) {
  double sum = 0.0;
  size_t n = 0;
  for (size_t i = static_cast<size_t>(from * kRate); i < static_cast<size_t>(to * kRate) && i < out.size(); ++i, ++n)
    sum += std::fabs(out[i]);
  return n ? sum / n : 0.0;
}

}  // namespace

// The Decay figure the bubble shows is the time constant of the rendered
// tail. The tone's VCA opens only above a threshold, so the tail is
// A e^(-t/tau) - c rather than a plain exponential: three levels a step D
// apart give (y1 - y2) / (y2 - y3) = e^(D/tau) whatever c is.
TEST(ParamUnits, TheDecayShownIsTheTimeConstantOfTheRenderedTail) {
  for (double decay : {0.35, 0.5, 0.9}) {
    QiKt412 plug;
    Prepare(plug, 512);
    SetParam(plug, kDecay, decay);
    SetParam(plug, kHold, 0.0);
    SetParam(plug, kTuneDepth, 0.0);
    SetParam(plug, kDistort, 0.0);
    SetParam(plug, kTrigger, 1.0);
    const double tau = ParamValueInUnits(kDecay, decay) / 1000.0;
    std::vector<double> out;
    while (out.size() < static_cast<size_t>(kRate * (0.1 + 2 * tau))) {
      const Block block = Render(plug, 512);
      out.insert(out.end(), block.left.begin(), block.left.end());
    }
    // Past the attack; levels over three periods of the 55 Hz tone.
    const double t = 0.06, d = tau / 2.0, w = 3.0 / 55.0;
    const double y1 = LevelBetween(out, t, t + w), y2 = LevelBetween(out, t + d, t + d + w);
    const double y3 = LevelBetween(out, t + 2 * d, t + 2 * d + w);
    const double measured = d / std::log((y1 - y2) / (y2 - y3));
    EXPECT_NEAR(measured, tau, 0.05 * tau) << "Decay " << decay;
  }
}

TEST(ParamUnits, EachParameterReadsInItsUnitAndTypedTextComesBackToTheSameValue) {
  QiKt412 plug;
  struct Case {
    int param;
    double value;
    const char* bubble;
  } cases[] = {
      {kPitch, -7.99999, "Pitch -8 st"},  // a preset's six decimals play at -8
      {kPitch, -0.2, "Pitch 0 st"},
      {kDecay, 0.0, "Decay 15.5 ms"},    // 0.01551 s
      {kDecay, 1.0, "Decay 346 ms"},     // 0.34551 s
      {kHold, 1.0, "Hold 205 ms"},
      {kTuneDecay, 0.0, "TuneDecay 5.8 ms"},
      {kNoiseDecay, 1.0, "NoiseDecay 212 ms"},
      {kAccent, 0.5, "Accent 50 %"},
      {kDistort, 0.25, "Distort 25 %"},
      {kMidiTuneFlag, 1.0, "MidiTuneFlag on"},
  };
  for (const Case& c : cases) {
    const IParam& p = *plug.GetParam(c.param);
    EXPECT_EQ(ParamBubbleText(p, c.param, c.value), c.bubble);
    double back = -1.0;
    std::string error;
    ASSERT_TRUE(ParamValueFromUnitsText(p, c.param, ParamUnitsText(c.param, c.value), &back, &error)) << c.bubble;
    // Within the figure's shown precision.
    EXPECT_NEAR(ParamValueInUnits(c.param, back), ParamValueInUnits(c.param, c.value),
                c.param == kNoiseDecay || c.param == kHold || c.param == kDecay ? 0.6 : 0.06)
        << c.bubble;
  }
}

TEST(ParamUnits, TypedTextTakesAUnitLabelAndIsRefusedWhenNoNumberOrOutOfRange) {
  QiKt412 plug;
  const IParam& decay = *plug.GetParam(kDecay);
  double v = -1.0;
  std::string error;
  ASSERT_TRUE(ParamValueFromUnitsText(decay, kDecay, " 100 ms ", &v, &error));
  EXPECT_NEAR(ParamValueInUnits(kDecay, v), 100.0, 0.05);
  EXPECT_NEAR(v, 0.2560, 1e-12);  // on the 0.0001 step
  ASSERT_TRUE(ParamValueFromUnitsText(*plug.GetParam(kPitch), kPitch, "-5st", &v, &error));
  EXPECT_EQ(v, -5.0);
  ASSERT_TRUE(ParamValueFromUnitsText(*plug.GetParam(kAccent), kAccent, "40%", &v, &error));
  EXPECT_DOUBLE_EQ(v, 0.4);
  struct Bad {
    int param;
    const char* text;
    const char* error;
  } bad[] = {
      {kDecay, "abc", "'abc' is not a number"},
      {kDecay, "", "'' is not a number"},
      {kDecay, "12ms5", "'12ms5' is not a number"},
      {kDecay, "10", "Decay lies between 15.5 and 346 ms"},
      {kDecay, "400 ms", "Decay lies between 15.5 and 346 ms"},
      {kPitch, "13", "Pitch lies between -12 and 12 st"},
      {kAccent, "-1", "Accent lies between 0 and 100 %"},
      {kMidiTuneFlag, "maybe", "MidiTuneFlag is on or off"},
  };
  for (const Bad& b : bad) {
    v = -1.0;
    EXPECT_FALSE(ParamValueFromUnitsText(*plug.GetParam(b.param), b.param, b.text, &v, &error)) << b.text;
    EXPECT_EQ(error, b.error);
    EXPECT_EQ(v, -1.0) << "a refused text leaves the value alone";
  }
}
