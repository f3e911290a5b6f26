// The wrapper's input side: render callbacks and direct connections pull
// the input once per time stamp into the plug-in's input channels.
#include "AUTestPlug.h"

namespace {

ComponentInstance OpenEffect() {
  TestAUEffect::sMakeNext = true;
  ComponentInstance ci = nullptr;
  OpenAComponent(IPluginAU::IPluginAUEntry, ComponentDescription{AUFourCC("aufx"), 0x46582121, 0x54737473, 0, 0}, &ci);
  TestAUEffect::sMakeNext = false;
  return ci;
}

struct Source {
  int calls = 0;
  UInt32 lastBus = 99;
};

// Fills channel c with c + 0.25 and counts the pulls.
OSStatus Fill(void* ref, AudioUnitRenderActionFlags*, const AudioTimeStamp*, UInt32 bus, UInt32 frames,
              AudioBufferList* list) {
  auto* src = static_cast<Source*>(ref);
  ++src->calls;
  src->lastBus = bus;
  for (UInt32 c = 0; c < list->mNumberBuffers; ++c)
    for (UInt32 i = 0; i < frames; ++i) static_cast<float*>(list->mBuffers[c].mData)[i] = c + 0.25f;
  return noErr;
}

OSStatus Fail(void*, AudioUnitRenderActionFlags*, const AudioTimeStamp*, UInt32, UInt32, AudioBufferList*) {
  return -1234;
}

OSStatus RenderAt(ComponentInstance ci, double t, std::vector<float>& l, std::vector<float>& r) {
  struct {
    UInt32 n;
    AudioBuffer b[2];
  } list{2, {{1, static_cast<UInt32>(l.size() * 4), l.data()}, {1, static_cast<UInt32>(r.size() * 4), r.data()}}};
  AudioTimeStamp ts{};
  ts.mSampleTime = t;
  ts.mFlags = kAudioTimeStampSampleTimeValid;
  return AudioUnitRender(ci, nullptr, &ts, 0, static_cast<UInt32>(l.size()), reinterpret_cast<AudioBufferList*>(&list));
}

}  // namespace

TEST(AUInputs, ARenderCallbackIsPulledOncePerTimeStamp) {
  ComponentInstance fx = OpenEffect();
  ASSERT_NE(fx, nullptr);
  UInt32 n = 0, size = 4;
  AudioUnitGetProperty(fx, kAudioUnitProperty_ElementCount, kAudioUnitScope_Input, 0, &n, &size);
  EXPECT_EQ(n, 1u);
  Source src;
  AURenderCallbackStruct cb{Fill, &src};
  EXPECT_EQ(AudioUnitSetProperty(fx, kAudioUnitProperty_SetRenderCallback, kAudioUnitScope_Input, 1, &cb, sizeof cb),
            kAudioUnitErr_InvalidProperty);  // no second input bus
  ASSERT_EQ(AudioUnitSetProperty(fx, kAudioUnitProperty_SetRenderCallback, kAudioUnitScope_Input, 0, &cb, sizeof cb), noErr);
  ASSERT_EQ(AudioUnitInitialize(fx), noErr);
  std::vector<float> l(128), r(128);
  ASSERT_EQ(RenderAt(fx, 0.0, l, r), noErr);
  EXPECT_EQ(src.calls, 1);
  EXPECT_EQ(src.lastBus, 0u);
  EXPECT_EQ(l[5], 0.25f);
  EXPECT_EQ(r[127], 1.25f);
  ASSERT_EQ(RenderAt(fx, 0.0, l, r), noErr);  // the same time stamp: no second pull
  EXPECT_EQ(src.calls, 1);
  ASSERT_EQ(RenderAt(fx, 128.0, l, r), noErr);
  EXPECT_EQ(src.calls, 2);
  // An upstream error becomes the render's result.
  AURenderCallbackStruct bad{Fail, nullptr};
  AudioUnitSetProperty(fx, kAudioUnitProperty_SetRenderCallback, kAudioUnitScope_Input, 0, &bad, sizeof bad);
  EXPECT_EQ(RenderAt(fx, 256.0, l, r), -1234);
  CloseComponent(fx);
}

TEST(AUInputs, ADirectConnectionRendersTheUpstreamUnitThroughItsFastProcedure) {
  ComponentInstance up = nullptr;
  ASSERT_EQ(OpenAComponent(IPluginAU::IPluginAUEntry, ComponentDescription{}, &up), noErr);
  AudioUnitSetParameter(up, 0, 0, 0, -25.0f, 0);
  ComponentInstance fx = OpenEffect();
  ASSERT_NE(fx, nullptr);
  AudioUnitConnection conn{up, 0, 0};
  ASSERT_EQ(AudioUnitSetProperty(fx, kAudioUnitProperty_MakeConnection, kAudioUnitScope_Input, 0, &conn, sizeof conn), noErr);
  AudioStreamBasicDescription f{};
  UInt32 size = sizeof f;
  AudioUnitGetProperty(fx, kAudioUnitProperty_StreamFormat, kAudioUnitScope_Input, 0, &f, &size);
  EXPECT_EQ(f.mChannelsPerFrame, 2u);  // taken from the upstream unit's output
  ASSERT_EQ(AudioUnitInitialize(up), noErr);
  ASSERT_EQ(AudioUnitInitialize(fx), noErr);
  std::vector<float> l(64), r(64);
  ASSERT_EQ(RenderAt(fx, 0.0, l, r), noErr);
  EXPECT_EQ(l[0], -0.25f);  // the upstream test plug-in's output: gain / 100 + channel
  EXPECT_EQ(r[63], 0.75f);
  conn.destInputNumber = 3;
  EXPECT_EQ(AudioUnitSetProperty(fx, kAudioUnitProperty_MakeConnection, kAudioUnitScope_Input, 0, &conn, sizeof conn),
            kAudioUnitErr_InvalidProperty);
  CloseComponent(fx);
  CloseComponent(up);
}
