// The Audio Unit plug-in library on the audio thread, driven as a host
// drives it: the render reached through the fast-dispatch procedure, and
// between renders MIDI events (through the dispatcher) and fast-dispatch
// parameter changes, also while the unit is bypassed. The dispatcher and the
// parameter procedure take the plug-in's mutex by design; apart from that
// nothing on the audio thread may wait, allocate, touch a file or call the host.
#include <gtest/gtest.h>

#include <dlfcn.h>

#include <algorithm>
#include <atomic>
#include <cmath>
#include <cstdio>
#include <thread>
#include <vector>

#include "RealtimeInterposer.h"
#include "platform/au/AUComponent.h"

namespace {

constexpr UInt32 kBlock = 256;
constexpr UInt32 kDecay = 2;
constexpr UInt32 kTrigger = 13;

// Host calls counted when they arrive on the audio thread.
std::atomic<int> gHostCallsOnAudio{0};
thread_local bool tAudio = false;

void Listener(void*, AudioUnit, AudioUnitPropertyID, AudioUnitScope, AudioUnitElement) {
  if (tAudio) ++gHostCallsOnAudio;
}
OSStatus BeatAndTempo(void*, Float64*, Float64*) {
  if (tAudio) ++gHostCallsOnAudio;
  return noErr;
}
OSStatus Transport(void*, Boolean*, Boolean*, Float64*, Boolean*, Float64*, Float64*) {
  if (tAudio) ++gHostCallsOnAudio;
  return noErr;
}

struct Figures {
  long renders = 0, refused = 0;
  float peak = 0.0f;
};

}  // namespace

TEST(RealtimeSafety, TheAudioUnitRendersAndTakesMidiAndParametersWithoutAllocatingOrCallingTheHost) {
  void* lib = dlopen(KT412_AU_LIBRARY, RTLD_NOW | RTLD_LOCAL);
  ASSERT_NE(lib, nullptr) << dlerror();
  auto entry = reinterpret_cast<ComponentRoutine>(dlsym(lib, "QiKt412_Entry"));
  ASSERT_NE(entry, nullptr);
  ComponentInstance unit = nullptr;
  ASSERT_EQ(OpenAComponent(entry, ComponentDescription{AUFourCC("aumu"), AUFourCC("Qip2"), AUFourCC("-QI-"), 0, 0},
                           &unit),
            noErr);
  double rate = 48000.0;
  UInt32 slice = kBlock;
  ASSERT_EQ(AudioUnitSetProperty(unit, kAudioUnitProperty_SampleRate, 0, 0, &rate, sizeof rate), noErr);
  ASSERT_EQ(AudioUnitSetProperty(unit, kAudioUnitProperty_MaximumFramesPerSlice, 0, 0, &slice, sizeof slice), noErr);
  HostCallbackInfo host{nullptr, BeatAndTempo, nullptr, Transport};
  ASSERT_EQ(AudioUnitSetProperty(unit, kAudioUnitProperty_HostCallbacks, 0, 0, &host, sizeof host), noErr);
  for (AudioUnitPropertyID id = 0; id <= 50; ++id) AudioUnitAddPropertyListener(unit, id, Listener, nullptr);
  ASSERT_EQ(AudioUnitInitialize(unit), noErr);
  AudioUnitRenderProc render = nullptr;
  AudioUnitSetParameterProc setParam = nullptr;
  UInt32 size = sizeof render;
  ASSERT_EQ(AudioUnitGetProperty(unit, kAudioUnitProperty_FastDispatch, 0, kAudioUnitRenderSelect, &render, &size), noErr);
  size = sizeof setParam;
  ASSERT_EQ(AudioUnitGetProperty(unit, kAudioUnitProperty_FastDispatch, 0, kAudioUnitSetParameterSelect, &setParam, &size),
            noErr);
  void* plug = GetComponentInstanceStorage(unit);
  ClearComponentEvents(unit);
  rtcheck::ResetCounts();

  // One stretch of blocks on a fresh audio thread; the bypass is switched
  // between stretches, on the host's other thread, as hosts do.
  double sampleTime = 0.0;
  auto play = [&](int blocks, Figures* f) {
    std::thread audio([&] {
      tAudio = true;
      std::vector<float> l(kBlock), r(kBlock);
      rtcheck::RenderScope scope;
      for (int b = 0; b < blocks; ++b) {
        rtcheck::SetLocksAllowed(true);
        if (b % 4 == 0) MusicDeviceMIDIEvent(unit, 0x90, 36, 100, static_cast<UInt32>(b) % kBlock);
        MusicDeviceMIDIEvent(unit, 0xB0, 1, static_cast<UInt32>(b) % 128, 5);  // a controller nobody learned
        setParam(plug, kDecay, kAudioUnitScope_Global, 0, static_cast<Float32>(b % 100) / 100.0f, 0);
        if (b % 64 == 0) setParam(plug, kTrigger, kAudioUnitScope_Global, 0, 1.0f, 0);
        if (b % 64 == 1) setParam(plug, kTrigger, kAudioUnitScope_Global, 0, 0.0f, 0);
        rtcheck::SetLocksAllowed(false);
        struct {
          UInt32 n;
          AudioBuffer b[2];
        } list{2, {{1, kBlock * 4, l.data()}, {1, kBlock * 4, r.data()}}};
        AudioTimeStamp ts{};
        ts.mSampleTime = sampleTime;
        ts.mFlags = kAudioTimeStampSampleTimeValid;
        AudioUnitRenderActionFlags flags = 0;
        if (render(plug, &flags, &ts, 0, kBlock, reinterpret_cast<AudioBufferList*>(&list)) != noErr) ++f->refused;
        ++f->renders;
        sampleTime += kBlock;
        for (float x : l) f->peak = std::max(f->peak, std::fabs(x));
      }
    });
    audio.join();
  };
  Figures playing, bypassed, after;
  play(2000, &playing);
  UInt32 on = 1, off = 0;
  ASSERT_EQ(AudioUnitSetProperty(unit, kAudioUnitProperty_BypassEffect, 0, 0, &on, sizeof on), noErr);
  play(3000, &bypassed);
  ASSERT_EQ(AudioUnitSetProperty(unit, kAudioUnitProperty_BypassEffect, 0, 0, &off, sizeof off), noErr);
  play(1000, &after);

  std::printf("realtime AU: %ld + %ld bypassed + %ld renders through fast dispatch (peaks %.3f, %.3f, %.3f), "
              "%ld mutex locks by the dispatcher and the parameter procedure, %ld violations, %d host calls, "
              "%d parameter events\n",
              playing.renders, bypassed.renders, after.renders, playing.peak, bypassed.peak, after.peak,
              rtcheck::LocksTaken(), rtcheck::Violations(), gHostCallsOnAudio.load(), ComponentEventCount(unit));
  EXPECT_EQ(rtcheck::Violations(), 0) << "first: " << rtcheck::FirstViolation();
  EXPECT_EQ(gHostCallsOnAudio.load(), 0);
  EXPECT_EQ(ComponentEventCount(unit), 0);
  EXPECT_EQ(playing.refused + bypassed.refused + after.refused, 0);
  EXPECT_GT(playing.peak, 0.1f);
  EXPECT_EQ(bypassed.peak, 0.0f);
  EXPECT_GT(after.peak, 0.1f);
  EXPECT_GT(rtcheck::LocksTaken(), 0);  // the exemption was used, not idle
  CloseComponent(unit);
  dlclose(lib);
}
