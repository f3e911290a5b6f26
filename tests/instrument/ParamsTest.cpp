// The seventeen parameters as declared, and what each change does to the
// voice and the instrument.
#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <string>

#include "InstrumentRig.h"

using namespace kttest;

namespace {

struct Declared {
  const char* name;
  IParam::EParamType type;
  double def, min, max, step;
  int precision;
  bool meta;
};

const Declared kTable[kNumParams] = {
    {"Pitch", IParam::kTypeDouble, 0, -12, 12, 1, 0, false},
    {"Accent", IParam::kTypeDouble, 0.5, 0, 1, 0.0001, 4, false},
    {"Decay", IParam::kTypeDouble, 0.5, 0, 1, 0.0001, 4, false},
    {"TuneDecay", IParam::kTypeDouble, 0.5, 0, 1, 0.0001, 4, false},
    {"Attack", IParam::kTypeDouble, 0.5, 0, 1, 0.0001, 4, false},
    {"Hold", IParam::kTypeDouble, 0.5, 0, 1, 0.0001, 4, false},
    {"TuneDepth", IParam::kTypeDouble, 0.5, 0, 1, 0.0001, 4, false},
    {"NoiseDecay", IParam::kTypeDouble, 0.5, 0, 1, 0.0001, 4, false},
    {"Distort", IParam::kTypeDouble, 0.5, 0, 1, 0.0001, 4, false},
    {"MidiTuneFlag", IParam::kTypeBool, 0, 0, 1, 1, 0, false},
    {"MidiAccentFlag", IParam::kTypeBool, 0, 0, 1, 1, 0, false},
    {"Learn", IParam::kTypeBool, 0, 0, 1, 1, 0, false},
    {"clear", IParam::kTypeBool, 0, 0, 1, 1, 0, false},
    {"Trigger", IParam::kTypeBool, 0, 0, 1, 1, 0, false},
    {"Led", IParam::kTypeEnum, 0, 0, 1, 1, 0, false},
    {"Left", IParam::kTypeBool, 0, 0, 1, 1, 0, true},
    {"Right", IParam::kTypeBool, 0, 0, 1, 1, 0, true},
};

// Renders n frames and returns the left channel.
std::vector<double> Frames(QiKt412& plug, int n) { return Render(plug, n).left; }

std::vector<double> RefFrames(RefVoice& ref, int n) {
  std::vector<double> out(static_cast<size_t>(n));
  for (auto& x : out) x = ref.Next();
  return out;
}

class ParamsTest : public ::testing::Test {
protected:
  void SetUp() override {
      Prepare(plug, 512);
  }
  QiKt412 plug;
};

}  // namespace

TEST_F(ParamsTest, EveryParameterIsDeclaredWithItsNameTypeRangeStepAndDefault) {
  ASSERT_EQ(plug.NParams(), kNumParams);
  for (int i = 0; i < kNumParams; ++i) {
    const IParam* p = plug.GetParam(i);
    const Declared& d = kTable[i];
    SCOPED_TRACE(d.name);
    EXPECT_STREQ(p->GetNameForHost(), d.name);
    EXPECT_EQ(p->Type(), d.type);
    EXPECT_EQ(p->GetDefault(), d.def);
    EXPECT_EQ(p->Value(), d.def);
    EXPECT_EQ(p->GetMin(), d.min);
    EXPECT_EQ(p->GetMax(), d.max);
    EXPECT_EQ(p->GetStep(), d.step);
    EXPECT_EQ(p->GetShape(), 1.0);
    EXPECT_EQ(p->GetPrecision(), d.precision);
    EXPECT_EQ(p->GetIsMeta(), d.meta);
    EXPECT_STREQ(p->GetLabelForHost(), "");
    EXPECT_STREQ(p->GetParamGroupForHost(), "");
    if (d.type == IParam::kTypeBool) {
      EXPECT_STREQ(p->GetDisplayText(0), "off");
      EXPECT_STREQ(p->GetDisplayText(1), "on");
    } else {
      EXPECT_EQ(p->GetNDisplayTexts(), 0);
    }
  }
}

TEST_F(ParamsTest, PluginDescriptionIsAStereoOutputInstrumentWithMidi) {
  EXPECT_STREQ(plug.GetEffectName(), "Quorvane KT-412");
  EXPECT_STREQ(plug.GetProductName(), "");
  EXPECT_STREQ(plug.GetMfrName(), "Quorvane Instruments");
  EXPECT_EQ(plug.GetUniqueID(), ('Q' << 24) | ('i' << 16) | ('p' << 8) | '2');
  EXPECT_EQ(plug.GetMfrID(), ('-' << 24) | ('Q' << 16) | ('I' << 8) | '-');
  EXPECT_EQ(plug.NInChannels(), 0);
  EXPECT_EQ(plug.NOutChannels(), 2);
  EXPECT_EQ(plug.NPresets(), 0);
  EXPECT_TRUE(plug.IsInst());
  EXPECT_TRUE(plug.DoesMIDI());
  EXPECT_FALSE(plug.DoesStateChunks());
  EXPECT_EQ(plug.GetLatency(), 0);
}

TEST_F(ParamsTest, DisplayStringsPrintPitchWholeAndSoundControlsWithFourDecimals) {
  char text[32];
  plug.GetParam(kPitch)->GetDisplayForHost(64.0 / 127.0, true, text, true);
  EXPECT_STREQ(text, "0");  // 0.094 semitones shows the nearest semitone
  plug.GetParam(kPitch)->GetDisplayForHost(-2.7, false, text, true);
  EXPECT_STREQ(text, "-3");
  plug.GetParam(kDecay)->GetDisplayForHost(0.25, false, text, true);
  EXPECT_STREQ(text, "0.2500");
  plug.GetParam(kLearn)->GetDisplayForHost(1.0, false, text, true);
  EXPECT_STREQ(text, "on");
}

// The envelopes keep their times in single precision, hence the tolerance.
constexpr double kTimeTol = 5e-8;

TEST_F(ParamsTest, DecayMapsToTheAmplitudeDecayTimeConstant) {
  SetParam(plug, kDecay, 0.0);
  EXPECT_NEAR(plug.Voice().getAmpEnv().getDecay(), 0.01551, kTimeTol);
  SetParam(plug, kDecay, 1.0);
  EXPECT_NEAR(plug.Voice().getAmpEnv().getDecay(), 0.34551, kTimeTol);
  SetParam(plug, kDecay, 0.5);
  EXPECT_NEAR(plug.Voice().getAmpEnv().getDecay(), 0.18051, kTimeTol);
}

TEST_F(ParamsTest, HoldMapsToTheAmplitudeHold) {
  SetParam(plug, kHold, 1.0);
  EXPECT_NEAR(plug.Voice().getAmpEnv().getHold(), 0.205, kTimeTol);
  SetParam(plug, kHold, 0.0);
  EXPECT_NEAR(plug.Voice().getAmpEnv().getHold(), 0.005, kTimeTol);
  SetParam(plug, kHold, 0.5);
  EXPECT_NEAR(plug.Voice().getAmpEnv().getHold(), 0.105, kTimeTol);
}

TEST_F(ParamsTest, TuneDecayMapsToThePitchDecayTimeConstant) {
  SetParam(plug, kTuneDecay, 0.0);
  EXPECT_NEAR(plug.Voice().getPitchEnv().getDecay(), 0.005808, kTimeTol);
  SetParam(plug, kTuneDecay, 1.0);
  EXPECT_NEAR(plug.Voice().getPitchEnv().getDecay(), 0.005808 + 0.0528, kTimeTol);
  SetParam(plug, kTuneDecay, 0.5);
  EXPECT_NEAR(plug.Voice().getPitchEnv().getDecay(), 0.032208, kTimeTol);
}

TEST_F(ParamsTest, NoiseDecayMapsToTheClickDecayTimeConstant) {
  SetParam(plug, kNoiseDecay, 0.0);
  EXPECT_NEAR(plug.Voice().getNoiseEnv().getDecay(), 0.004158, 1e-6);
  SetParam(plug, kNoiseDecay, 1.0);
  EXPECT_NEAR(plug.Voice().getNoiseEnv().getDecay(), 0.004158 + 0.2079, 1e-6);
  SetParam(plug, kNoiseDecay, 0.5);
  EXPECT_NEAR(plug.Voice().getNoiseEnv().getDecay(), 0.056133, 1e-6);
}

TEST_F(ParamsTest, AccentSetsBothEnvelopeAmplitudesAtOnce) {
  SetParam(plug, kAccent, 0.5);
  EXPECT_NEAR(plug.Voice().getAmpEnv().getAmp(), 6.5243, 1e-6);
  EXPECT_NEAR(plug.Voice().getNoiseEnv().getAmp(), 7.5, 1e-6);
  SetParam(plug, kAccent, 0.0);
  EXPECT_NEAR(plug.Voice().getAmpEnv().getAmp(), -0.9757, 1e-6);
  EXPECT_EQ(plug.Voice().getNoiseEnv().getAmp(), 0.0);
}

TEST_F(ParamsTest, PitchTakesEffectAtTheNextHitOnly) {
  NoteOn(plug, 0, 33, 100);
  Frames(plug, 512);
  EXPECT_FLOAT_EQ(plug.Voice().getFrequency(), 55.0f);
  SetParam(plug, kPitch, 12.0);
  Frames(plug, 512);
  EXPECT_FLOAT_EQ(plug.Voice().getFrequency(), 55.0f);  // the ringing hit is not bent
  NoteOn(plug, 0, 33, 100);
  Frames(plug, 512);
  EXPECT_FLOAT_EQ(plug.Voice().getFrequency(), 110.0f);
}

TEST_F(ParamsTest, MidiTuneFlagMakesThePitchFollowTheNote) {
  NoteOn(plug, 0, 45, 100);
  Frames(plug, 64);
  EXPECT_FLOAT_EQ(plug.Voice().getFrequency(), 55.0f);  // off: base note 33
  SetParam(plug, kMidiTuneFlag, 1.0);
  NoteOn(plug, 0, 45, 100);
  Frames(plug, 64);
  EXPECT_FLOAT_EQ(plug.Voice().getFrequency(), 110.0f);
}

// Attack, TuneDepth, Distort and MidiAccentFlag only change what getSample
// computes, so they are checked against a bare voice given the mapped value.
struct MappedSetter {
  int param;
  double value;
  void (*apply)(kt412&, double);
};

TEST_F(ParamsTest, SoundSettersReceiveTheMappedValues) {
  const MappedSetter cases[] = {
      {kAttack, 0.8, [](kt412& v, double x) { v.setAttack(static_cast<float>(x)); }},
      {kTuneDepth, 0.3, [](kt412& v, double x) { v.setTuneDepth(static_cast<float>(x + x)); }},
      {kDistort, 0.9, [](kt412& v, double x) { v.setDistortion(static_cast<float>(x)); }},
      {kAccent, 0.7, [](kt412& v, double x) { v.setAccent(static_cast<float>(x)); }},
      {kDecay, 0.2, [](kt412& v, double x) { v.setDecay(static_cast<float>(x + x)); }},
      {kHold, 0.9, [](kt412& v, double x) { v.setHold(static_cast<float>(x + x)); }},
      {kTuneDecay, 0.1, [](kt412& v, double x) { v.setTuneDecay(static_cast<float>(x + x)); }},
      {kNoiseDecay, 0.77, [](kt412& v, double x) { v.setNoiseDecay(static_cast<float>(x)); }},
      {kPitch, -5.0, [](kt412& v, double x) { v.setTune(static_cast<float>(x)); }},
      {kMidiAccentFlag, 1.0, [](kt412& v, double x) { v.setMidiAccentFlag(static_cast<int>(x)); }},
  };
  for (const MappedSetter& c : cases) {
    SCOPED_TRACE(plug.GetParam(c.param)->GetNameForHost());
    QiKt412 fresh;
    Prepare(fresh, 512);
    RefVoice ref;
    SetParam(fresh, c.param, c.value);
    c.apply(ref.voice, c.value);
    NoteOn(fresh, 0, 33, 40);
    ref.Hit(33, 40);
    // Half a second: long enough for hold and decay to show.
    std::vector<double> got = Frames(fresh, 24000);
    std::vector<double> want = RefFrames(ref, 24000);
    ASSERT_EQ(got, want);
    // And the parameter really changes the sound compared with the default.
    QiKt412 untouched;
    Prepare(untouched, 512);
    NoteOn(untouched, 0, 33, 40);
    EXPECT_NE(Frames(untouched, 24000), got);
  }
}

TEST_F(ParamsTest, LedLeftAndRightLeaveTheVoiceAlone) {
  RefVoice ref;
  NoteOn(plug, 0, 33, 100);
  ref.Hit(33, 100);
  SetParam(plug, kLed, 1.0);
  SetParam(plug, kLeft, 1.0);
  SetParam(plug, kLeft, 0.0);
  SetParam(plug, kRight, 1.0);
  SetParam(plug, kRight, 0.0);
  EXPECT_EQ(Frames(plug, 2048), RefFrames(ref, 2048));
  EXPECT_EQ(plug.LedState(), 1);
}

TEST_F(ParamsTest, TriggerPlaysAHitOnlyForExactlyOne) {
  RefVoice ref;
  SetParam(plug, kTrigger, 0.5);
  SetParam(plug, kTrigger, 0.0);
  plug.GetParam(kTrigger)->Set(0.9999999);
  plug.OnParamChange(kTrigger);
  EXPECT_EQ(plug.LedState(), 0);
  EXPECT_EQ(Frames(plug, 1024), RefFrames(ref, 1024));

  SetParam(plug, kTrigger, 1.0);
  EXPECT_EQ(plug.LedState(), 1);
  EXPECT_EQ(plug.LedCounter(), 0);
  // The pad plays note 33 with the last note-on's velocity (0 before any).
  ref.Hit(33, 0);
  EXPECT_EQ(Frames(plug, 2048), RefFrames(ref, 2048));
  EXPECT_FLOAT_EQ(plug.Voice().getFrequency(), 55.0f);
}

TEST_F(ParamsTest, TriggerUsesNote33EvenWhenThePitchFollowsMidi) {
  SetParam(plug, kMidiTuneFlag, 1.0);
  NoteOn(plug, 0, 69, 100);
  Frames(plug, 64);
  EXPECT_FLOAT_EQ(plug.Voice().getFrequency(), 440.0f);
  SetParam(plug, kTrigger, 1.0);
  EXPECT_FLOAT_EQ(plug.Voice().getFrequency(), 55.0f);
}

TEST_F(ParamsTest, TriggerWithMidiAccentAndNoNoteYetIsASilentHit) {
  SetParam(plug, kMidiAccentFlag, 1.0);
  SetParam(plug, kTrigger, 1.0);
  std::vector<double> out = Frames(plug, 4096);
  for (double x : out) ASSERT_EQ(x, 0.0);
}

TEST_F(ParamsTest, LearnAndClearSwitchEachOtherOff) {
  SetParam(plug, kLearn, 1.0);
  EXPECT_EQ(plug.LearnMode(), 1);
  SetParam(plug, kClear, 1.0);
  EXPECT_EQ(plug.ClearMode(), 1);
  EXPECT_EQ(plug.LearnMode(), 0);
  // Only the mode changes: the parameter values stay as they were set.
  EXPECT_EQ(plug.GetParam(kLearn)->Value(), 1.0);

  SetParam(plug, kLearn, 1.0);
  EXPECT_EQ(plug.LearnMode(), 1);
  EXPECT_EQ(plug.ClearMode(), 0);
  EXPECT_EQ(plug.GetParam(kClear)->Value(), 1.0);

  SetParam(plug, kLearn, 0.0);
  EXPECT_EQ(plug.LearnMode(), 0);
  EXPECT_EQ(plug.ClearMode(), 0);
}

TEST_F(ParamsTest, TheLastChangedSoundOrSwitchParameterBecomesTheLearnTarget) {
  EXPECT_EQ(plug.LearnParam(), -1);
  SetParam(plug, kDecay, 0.3);
  EXPECT_EQ(plug.LearnParam(), -1);  // not learning yet
  SetParam(plug, kLearn, 1.0);
  SetParam(plug, kTuneDecay, 0.3);
  EXPECT_EQ(plug.LearnParam(), kTuneDecay);
  SetParam(plug, kMidiAccentFlag, 1.0);
  EXPECT_EQ(plug.LearnParam(), kMidiAccentFlag);
  for (int idx : {kLearn, kTrigger, kLed, kLeft, kRight}) {
    SetParam(plug, idx, 0.0);
    EXPECT_EQ(plug.LearnParam(), kMidiAccentFlag) << idx;
  }
  SetParam(plug, kClear, 0.0);  // clear off does not end learning
  EXPECT_EQ(plug.LearnParam(), kMidiAccentFlag);
}

TEST_F(ParamsTest, ARestoredStateReachesTheVoice) {
  // The state chunk path (every parameter set, then every handler called)
  // ends in the same voice settings as the host's setters.
  ByteChunk chunk;
  QiKt412 source;
  Prepare(source, 512);
  SetParam(source, kDecay, 0.9);
  SetParam(source, kPitch, -5.0);
  ASSERT_TRUE(source.SerializeState(&chunk));
  ASSERT_EQ(chunk.Size(), 136);
  EXPECT_EQ(plug.UnserializeState(&chunk, 0), 136);
  EXPECT_EQ(plug.GetParam(kPitch)->Value(), -5.0);
  ApplyPending(plug);  // the voice takes the values at the start of the next block
  EXPECT_NEAR(plug.Voice().getAmpEnv().getDecay(), 0.01551 + 0.33 * 0.9, 1e-6);
  NoteOn(plug, 0, 33, 100);
  NoteOn(source, 0, 33, 100);
  EXPECT_EQ(Frames(plug, 4096), Frames(source, 4096));
}

TEST(ParamsLifecycle, ConstructionLeavesTheVoiceAtItsOwnSettingsUntilAParameterChanges) {
  // The constructor declares the parameters but hands none of them to the
  // voice: only the wrapper's initialisation (or any later change) does.
  QiKt412 plug;
  plug.SetSampleRate(kRate);
  plug.SetBlockSize(512);
  plug.Reset();
  kt412 bare;
  bare.setSamplingRate(kRate);
  NoteOn(plug, 0, 33, 100);
  bare.setMidiNote(33);
  bare.setMidiVelocity(static_cast<double>(static_cast<float>(100)) / 128.0);
  bare.restart();
  Block got = Render(plug, 4096);
  for (int i = 0; i < 4096; ++i)
    ASSERT_EQ(got.left[static_cast<size_t>(i)], static_cast<double>(bare.getSample() / 2.0f)) << i;

  // Once every parameter has been handed over, the same hit sounds different.
  QiKt412 initialised;
  Prepare(initialised, 512);
  NoteOn(initialised, 0, 33, 100);
  EXPECT_NE(Render(initialised, 4096).left, got.left);
}
