// The plug-in library's reset and bypass as a host uses them: on stop,
// locate and bypass the host expects silence, and MIDI sent while bypassed
// must not pile up for the first block after it.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <vector>

#include "AUHost.h"

namespace {

constexpr UInt32 kBlock = 512;
constexpr UInt32 kDecay = 2;
constexpr UInt32 kLearn = 11;

class AUResetBypass : public ::testing::Test {
protected:
  void SetUp() override {
    std::string error;
    ASSERT_TRUE(lib.Load(DefaultAULibraryPath(), &error)) << error;
  }

  // The largest magnitude over blocks rendered blocks; -1 when one was refused.
  static float Peak(AUHostUnit& unit, int blocks, std::vector<float>* all = nullptr) {
    std::vector<float> l(kBlock), r(kBlock);
    float peak = 0.0f;
    for (int b = 0; b < blocks; ++b) {
      if (unit.Render(kBlock, l.data(), r.data()) != noErr) return -1.0f;
      for (float x : l) peak = std::max(peak, std::fabs(x));
      if (all) all->insert(all->end(), l.begin(), l.end());
    }
    return peak;
  }

  AUPluginLibrary lib;
};

TEST_F(AUResetBypass, EveryResetEndsTheRingingHitAndTheNextHitIsAFreshOnesTwin) {
  // The first hit of a new instance after as many silent blocks as follow
  // the reset below, for comparison.
  AUHostUnit fresh(lib);
  ASSERT_EQ(fresh.Prepare(48000.0, kBlock), noErr);
  ASSERT_EQ(Peak(fresh, 8), 0.0f);
  MusicDeviceMIDIEvent(fresh.Unit(), 0x90, 36, 100, 0);
  std::vector<float> first;
  ASSERT_GT(Peak(fresh, 8, &first), 0.0f);

  struct Way {
    const char* name;
    OSStatus (*reset)(AudioUnit);
  };
  const Way ways[] = {
      {"AudioUnitReset", [](AudioUnit u) { return AudioUnitReset(u, kAudioUnitScope_Global, 0); }},
      {"Uninitialize and Initialize",
       [](AudioUnit u) {
         const OSStatus r = AudioUnitUninitialize(u);
         return r != noErr ? r : AudioUnitInitialize(u);
       }},
  };
  for (const Way& way : ways) {
    AUHostUnit unit(lib);
    ASSERT_EQ(unit.Prepare(48000.0, kBlock), noErr);
    MusicDeviceMIDIEvent(unit.Unit(), 0x90, 36, 100, 0);
    ASSERT_GT(Peak(unit, 2), 0.1f) << way.name;
    // A note waiting for the next block is forgotten too.
    MusicDeviceMIDIEvent(unit.Unit(), 0x90, 36, 100, 700);
    ASSERT_EQ(way.reset(unit.Unit()), noErr) << way.name;
    const float after = Peak(unit, 8);
    std::printf("%s: peak %.6f in the 8 blocks after\n", way.name, after);
    EXPECT_EQ(after, 0.0f) << way.name;
    MusicDeviceMIDIEvent(unit.Unit(), 0x90, 36, 100, 0);
    std::vector<float> next;
    Peak(unit, 8, &next);
    EXPECT_TRUE(next == first) << way.name << ": the hit after the reset differs from a new instance's first";
  }
}

TEST_F(AUResetBypass, WhileBypassedNotesAreDroppedAndLearnedControllersStillMove) {
  AUHostUnit unit(lib);
  ASSERT_EQ(unit.Prepare(48000.0, kBlock), noErr);
  // Controller 74 learned for Decay.
  ASSERT_EQ(unit.SetParam(kLearn, 1.0f), noErr);
  ASSERT_EQ(unit.SetParam(kDecay, 0.5f), noErr);
  MusicDeviceMIDIEvent(unit.Unit(), 0xB0, 74, 64, 0);
  ASSERT_EQ(Peak(unit, 1), 0.0f);
  ASSERT_EQ(unit.SetParam(kLearn, 0.0f), noErr);

  UInt32 on = 1;
  ASSERT_EQ(AudioUnitSetProperty(unit.Unit(), kAudioUnitProperty_BypassEffect, 0, 0, &on, sizeof on), noErr);
  // 30 s of a song that plays on: a note every block, a controller every 16th.
  const int blocks = 30 * 48000 / static_cast<int>(kBlock);
  int lastValue = 0;
  for (int b = 0; b < blocks; ++b) {
    MusicDeviceMIDIEvent(unit.Unit(), 0x90, 36, 100, static_cast<UInt32>(b % kBlock));
    if (b % 16 == 0) {
      lastValue = b / 16 % 128;
      MusicDeviceMIDIEvent(unit.Unit(), 0xB0, 74, static_cast<UInt32>(lastValue), 3);
    }
    ASSERT_EQ(Peak(unit, 1), 0.0f);
  }
  EXPECT_EQ(unit.GetParam(kDecay), static_cast<Float32>(lastValue / 127.0)) << "the learned controller did not move Decay";
  UInt32 off = 0;
  ASSERT_EQ(AudioUnitSetProperty(unit.Unit(), kAudioUnitProperty_BypassEffect, 0, 0, &off, sizeof off), noErr);
  const float stale = Peak(unit, 4);
  std::printf("first blocks after %d bypassed ones: peak %.6f\n", blocks, stale);
  EXPECT_EQ(stale, 0.0f) << "notes sent while bypassed sounded afterwards";
  MusicDeviceMIDIEvent(unit.Unit(), 0x90, 36, 100, 0);
  EXPECT_GT(Peak(unit, 2), 0.1f) << "a note after the bypass is not played";
}

}  // namespace
