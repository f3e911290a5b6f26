// The wrapper's render path, MIDI delivery, listeners, host time, the views
// and the parameter events of editor moves.
#include <atomic>
#include <chrono>
#include <thread>

#include "AUTestPlug.h"

using AURender = AUFixture;

namespace {
struct Calls {
  std::vector<AudioUnitRenderActionFlags> flags;
};
OSStatus Note(void* ref, AudioUnitRenderActionFlags* f, const AudioTimeStamp*, UInt32, UInt32, AudioBufferList*) {
  static_cast<Calls*>(ref)->flags.push_back(*f);
  return noErr;
}
}  // namespace

TEST_F(AURender, RendersIntoTheHostsBuffersOrItsOwnScratch) {
  std::vector<float> l(1024, 9.0f), r(1024, 9.0f);
  AudioUnitSetParameter(mUnit, 0, 0, 0, -50.0f, 0);
  ASSERT_EQ(AudioUnitInitialize(mUnit), noErr);
  ASSERT_EQ(Render(1024, l.data(), r.data()), noErr);
  EXPECT_EQ(l[0], -0.5f);
  EXPECT_EQ(r[1023], 0.5f);
  EXPECT_EQ(plug->blocks, 1);
  // A host that gives no memory gets the scratch area: no error, nothing written.
  ASSERT_EQ(Render(16, nullptr, nullptr, 1024.0), noErr);
  EXPECT_EQ(plug->blocks, 2);
  // Bypassed: the base's own pass-through (no inputs, so silence), not the
  // plug-in's processing; the plug-in is handed the block to skip instead.
  UInt32 on = 1;
  ASSERT_EQ(AudioUnitSetProperty(mUnit, kAudioUnitProperty_BypassEffect, 0, 0, &on, 4), noErr);
  ASSERT_EQ(Render(64, l.data(), r.data(), 2048.0), noErr);
  EXPECT_EQ(plug->blocks, 2);
  EXPECT_EQ(l[0], 0.0f);
  EXPECT_EQ(r[63], 0.0f);
  EXPECT_EQ(plug->skipped, std::vector<int>{64});
}

TEST_F(AURender, OnlyAnInitialisedUnitRenders) {
  std::vector<float> l(256, 9.0f), r(256, 9.0f);
  Calls calls;
  ASSERT_EQ(AudioUnitAddRenderNotify(mUnit, Note, &calls), noErr);
  EXPECT_EQ(Render(256, l.data(), r.data()), kAudioUnitErr_Uninitialized);
  ASSERT_EQ(AudioUnitInitialize(mUnit), noErr);
  EXPECT_EQ(Render(256, l.data(), r.data(), 256.0), noErr);
  ASSERT_EQ(AudioUnitUninitialize(mUnit), noErr);
  EXPECT_EQ(Render(256, l.data(), r.data(), 512.0), kAudioUnitErr_Uninitialized);
  EXPECT_EQ(plug->blocks, 1);
  EXPECT_EQ(calls.flags.size(), 2u);  // only the one render was announced
}

TEST_F(AURender, EveryResetOfTheBindingAlsoSilences) {
  // A host resets on stop, locate and bypass, and initialises afresh: each
  // time it expects silence, not only a re-tuned plug-in.
  const int resets = plug->resets;
  ASSERT_EQ(AudioUnitReset(mUnit, kAudioUnitScope_Global, 0), noErr);
  EXPECT_EQ(plug->resets, resets + 1);
  EXPECT_EQ(plug->silences, 1);
  ASSERT_EQ(AudioUnitInitialize(mUnit), noErr);
  EXPECT_EQ(plug->silences, 2);
  UInt32 on = 1;
  ASSERT_EQ(AudioUnitSetProperty(mUnit, kAudioUnitProperty_BypassEffect, 0, 0, &on, 4), noErr);
  EXPECT_EQ(plug->silences, 3);
  // Setting the rate re-tunes the plug-in only.
  ASSERT_EQ(AudioUnitUninitialize(mUnit), noErr);
  double rate = 48000.0;
  ASSERT_EQ(AudioUnitSetProperty(mUnit, kAudioUnitProperty_SampleRate, 0, 0, &rate, 8), noErr);
  EXPECT_EQ(plug->silences, 3);
}

TEST_F(AURender, BadRenderRequestsAreRefusedWithoutTouchingMemory) {
  std::vector<float> l(2048, 9.0f), r(2048, 9.0f);
  // Once the host configured two channels, one buffer is too few.
  AudioStreamBasicDescription f{};
  UInt32 size = sizeof f;
  AudioUnitGetProperty(mUnit, kAudioUnitProperty_StreamFormat, kAudioUnitScope_Output, 0, &f, &size);
  ASSERT_EQ(AudioUnitSetProperty(mUnit, kAudioUnitProperty_StreamFormat, kAudioUnitScope_Output, 0, &f, sizeof f), noErr);
  ASSERT_EQ(AudioUnitInitialize(mUnit), noErr);
  EXPECT_EQ(Render(1025, l.data(), r.data()), kAudioUnitErr_InvalidPropertyValue);
  EXPECT_EQ(Render(512, l.data(), r.data(), 0.0, 0), kAudioUnitErr_InvalidPropertyValue);
  EXPECT_EQ(Render(512, l.data(), r.data(), 0.0, 1), kAudioUnitErr_InvalidPropertyValue);
  struct {
    UInt32 n;
    AudioBuffer b[2];
  } shortList{2, {{1, 100 * 4, l.data()}, {1, 512 * 4, r.data()}}};
  AudioTimeStamp ts{};
  ts.mFlags = kAudioTimeStampSampleTimeValid;
  EXPECT_EQ(AudioUnitRender(mUnit, nullptr, &ts, 0, 512, reinterpret_cast<AudioBufferList*>(&shortList)),
            kAudioUnitErr_InvalidPropertyValue);
  EXPECT_EQ(AudioUnitRender(mUnit, nullptr, &ts, 0, 512, nullptr), kAudioUnitErr_InvalidPropertyValue);
  EXPECT_EQ(AudioUnitRender(mUnit, nullptr, nullptr, 0, 512, reinterpret_cast<AudioBufferList*>(&shortList)),
            kAudioUnitErr_InvalidPropertyValue);
  for (size_t i = 0; i < l.size(); ++i) ASSERT_TRUE(l[i] == 9.0f && r[i] == 9.0f) << i;
  EXPECT_EQ(plug->blocks, 0);
}

TEST_F(AURender, RenderNotifyProceduresSeeOnePreAndOnePostPerRender) {
  ASSERT_EQ(AudioUnitInitialize(mUnit), noErr);
  Calls calls;
  ASSERT_EQ(AudioUnitAddRenderNotify(mUnit, Note, &calls), noErr);
  std::vector<float> l(256), r(256);
  Render(256, l.data(), r.data());
  Render(256, l.data(), r.data(), 256.0);
  Render(2000, l.data(), r.data());  // refused: no calls
  EXPECT_EQ(calls.flags, (std::vector<AudioUnitRenderActionFlags>{4, 8, 4, 8}));
  AudioUnitRemoveRenderNotify(mUnit, Note, &calls);
  Render(256, l.data(), r.data(), 512.0);
  EXPECT_EQ(calls.flags.size(), 4u);
}

TEST_F(AURender, MidiArrivesWithItsOffsetAndStartNoteUsesThePitch) {
  ASSERT_EQ(MusicDeviceMIDIEvent(mUnit, 0x90, 36, 100, 0), noErr);
  ASSERT_EQ(MusicDeviceMIDIEvent(mUnit, 0x91, 38, 90, 100), noErr);
  MusicDeviceNoteParams note{2, 36.7f, 99.9f, {{0, 0}}};
  NoteInstanceID id = 0;
  ASSERT_EQ(MusicDeviceStartNote(mUnit, 0, 0, &id, 17, &note), noErr);
  EXPECT_EQ(id, 36u);
  ASSERT_EQ(MusicDeviceStopNote(mUnit, 0, id, 33), noErr);
  ASSERT_EQ(plug->midi.size(), 4u);
  EXPECT_EQ(plug->midi[1].offset, 100);
  EXPECT_EQ(plug->midi[1].status, 0x91);
  EXPECT_EQ(plug->midi[2].data1, 36);
  EXPECT_EQ(plug->midi[2].data2, 99);
  EXPECT_EQ(plug->midi[2].offset, 17);
  EXPECT_EQ(plug->midi[3].status >> 4, 8);
  const UInt8 bytes[] = {0xF0, 1, 2, 0xF7};
  ASSERT_EQ(MusicDeviceSysEx(mUnit, bytes, 4), noErr);
  EXPECT_EQ(plug->sysexSizes, std::vector<int>{4});
}

namespace {
struct Host {
  static OSStatus Tempo(void*, Float64* beat, Float64* tempo) {
    *beat = 8.5;
    *tempo = 90.0;
    return noErr;
  }
  static OSStatus Meter(void*, UInt32*, Float32* num, UInt32* denom, Float64* downBeat) {
    *num = 7.9f;
    *denom = 8;
    *downBeat = 4.0;
    return noErr;
  }
  static OSStatus Transport(void*, Boolean* playing, Boolean*, Float64* sample, Boolean* cycling, Float64* start,
                            Float64* end) {
    *playing = true;
    *sample = 1000.6;
    *cycling = false;
    *start = 0.0;
    *end = 16.0;
    return noErr;
  }
};
}  // namespace

TEST_F(AURender, HostTimeComesThroughTheCallbacks) {
  EXPECT_EQ(plug->GetTempo(), 120.0);  // until the host gives one
  EXPECT_EQ(plug->GetSamplePos(), 0);
  HostCallbackInfo cb{nullptr, Host::Tempo, Host::Meter, Host::Transport};
  ASSERT_EQ(AudioUnitSetProperty(mUnit, kAudioUnitProperty_HostCallbacks, 0, 0, &cb, sizeof cb), noErr);
  EXPECT_EQ(plug->GetTempo(), 90.0);
  EXPECT_EQ(plug->GetSamplePos(), 1001);
  int num = 0, denom = 0;
  plug->GetTimeSig(&num, &denom);
  EXPECT_EQ(num, 7);
  EXPECT_EQ(denom, 8);
  ITimeInfo t;
  plug->GetTime(&t);
  EXPECT_EQ(t.mPPQPos, 8.5);
  EXPECT_EQ(t.mLastBar, 4.0);
  EXPECT_EQ(t.mCycleStart, -1.0);  // not positive: left alone
  EXPECT_EQ(t.mCycleEnd, 16.0);
  EXPECT_TRUE(t.mTransportIsRunning);
  EXPECT_EQ(AudioUnitSetProperty(mUnit, kAudioUnitProperty_HostCallbacks, 0, 0, &cb, 16), kAudioUnitErr_InvalidPropertyValue);
}

namespace {
int gListenerCalls = 0;
void Listen(void*, AudioUnit, AudioUnitPropertyID, AudioUnitScope, AudioUnitElement) { ++gListenerCalls; }
}  // namespace

TEST_F(AURender, ListenersHearTheHostIdentifierOnlyWhenItWasTaken) {
  gListenerCalls = 0;
  AudioUnitAddPropertyListener(mUnit, kAudioUnitProperty_AUHostIdentifier, Listen, nullptr);
  AUHostIdentifier id{CFStringCreateWithCString(nullptr, "Logic Pro", kCFStringEncodingUTF8), {0, 0, 0x52, 10}};
  ASSERT_EQ(AudioUnitSetProperty(mUnit, kAudioUnitProperty_AUHostIdentifier, 0, 0, &id, sizeof id), noErr);
  EXPECT_EQ(plug->GetHost(), kHostLogic);
  EXPECT_EQ(plug->GetHostVersion(false), (10 << 16) + (5 << 8) + 2);
  EXPECT_EQ(AudioUnitSetProperty(mUnit, kAudioUnitProperty_AUHostIdentifier, 0, 0, &id, 8), kAudioUnitErr_InvalidPropertyValue);
  EXPECT_EQ(gListenerCalls, 1);
  CFRelease(id.hostName);
}

namespace {
struct RateSeen {
  int calls = 0;
  Float64 rate = 0.0;
};
// Reads the rate back inside the notification, as a host does.
void ReadRate(void* ref, AudioUnit unit, AudioUnitPropertyID, AudioUnitScope, AudioUnitElement) {
  auto* seen = static_cast<RateSeen*>(ref);
  ++seen->calls;
  UInt32 size = sizeof seen->rate;
  AudioUnitGetProperty(unit, kAudioUnitProperty_SampleRate, 0, 0, &seen->rate, &size);
}
}  // namespace

TEST_F(AURender, ListenersAreToldAfterTheChangeAndNeverOfARefusedOne) {
  RateSeen seen;
  ASSERT_EQ(AudioUnitAddPropertyListener(mUnit, kAudioUnitProperty_SampleRate, ReadRate, &seen), noErr);
  double rate = 1.0;
  EXPECT_EQ(AudioUnitSetProperty(mUnit, kAudioUnitProperty_SampleRate, 0, 0, &rate, 8), kAudioUnitErr_InvalidPropertyValue);
  EXPECT_EQ(seen.calls, 0);
  rate = 96000.0;
  ASSERT_EQ(AudioUnitSetProperty(mUnit, kAudioUnitProperty_SampleRate, 0, 0, &rate, 8), noErr);
  EXPECT_EQ(seen.calls, 1);
  EXPECT_EQ(seen.rate, 96000.0);
  ASSERT_EQ(AudioUnitInitialize(mUnit), noErr);
  rate = 48000.0;
  EXPECT_EQ(AudioUnitSetProperty(mUnit, kAudioUnitProperty_SampleRate, 0, 0, &rate, 8), kAudioUnitErr_Initialized);
  EXPECT_EQ(seen.calls, 1);
}

class AUView : public AUFixture {
protected:
  void SetUp() override {
    TestAUPlug::sWithEditor = true;
    AUFixture::SetUp();
    TestAUPlug::sWithEditor = false;
  }
};

TEST_F(AUView, CocoaViewInfoAndFactoryOpenTheEditor) {
  plug->SetInstanceInfo(IPluginInstanceInfo{"com.example.test.view", "QiKt412_View"});
  AudioUnitCocoaViewInfo info{};
  UInt32 size = sizeof info;
  ASSERT_EQ(AudioUnitGetProperty(mUnit, kAudioUnitProperty_CocoaUI, 0, 0, &info, &size), noErr);
  EXPECT_STREQ(CFStringGetCStringPtr(info.mCocoaAUViewClass[0], kCFStringEncodingUTF8), "QiKt412_View");
  CFRelease(info.mCocoaAUViewBundleLocation);
  CFRelease(info.mCocoaAUViewClass[0]);
  ComponentDescription cd{};
  size = sizeof cd;
  ASSERT_EQ(AudioUnitGetProperty(mUnit, kAudioUnitProperty_GetUIComponentList, 0, 0, &cd, &size), noErr);
  EXPECT_EQ(cd.componentType, AUFourCC("auvw"));
  EXPECT_EQ(cd.componentSubType, 0x54657374u);

  QiKt412_View factory;
  EXPECT_EQ(factory.init()->Plug(), nullptr);
  EXPECT_STREQ(factory.description(), "Quorvane KT-412 View");
  void* view = factory.uiViewForAudioUnit(mUnit, 592, 442);
  EXPECT_NE(view, nullptr);
  EXPECT_EQ(plug->guiOpens, 1);
  plug->GetGraphics()->CloseWindow();
  // A unit without a plug-in gives no view and opens nothing.
  ComponentRecord empty;
  EXPECT_EQ(factory.uiViewForAudioUnit(&empty, 0, 0), nullptr);
}

TEST_F(AUView, EditorGesturesReachTheHostAsParameterEvents) {
  ClearComponentEvents(mUnit);
  IGraphics* gui = plug->GetGraphics();
  ASSERT_NE(gui, nullptr);
  IMouseMod mod;
  gui->OnMouseDown(10, 10, &mod);
  gui->OnMouseDrag(12, 12, &mod);
  gui->OnMouseUp(12, 12, &mod);
  std::vector<AudioUnitEventType> kinds;
  for (int i = 0; i < ComponentEventCount(mUnit); ++i) {
    const AudioUnitEvent* e = ComponentEventAt(mUnit, i);
    EXPECT_EQ(e->mArgument.mParameter.mAudioUnit, mUnit);
    EXPECT_EQ(e->mArgument.mParameter.mParameterID, 0u);
    EXPECT_EQ(e->mArgument.mParameter.mScope, kAudioUnitScope_Global);
    kinds.push_back(e->mEventType);
  }
  EXPECT_EQ(kinds, (std::vector<AudioUnitEventType>{1, 0, 2}));
  Float32 gain = 0;
  AudioUnitGetParameter(mUnit, 0, 0, 0, &gain);
  EXPECT_EQ(gain, static_cast<Float32>(-60.0 + 0.75 * 72.0));
}

TEST_F(AUView, CarbonViewsComeAndGoWhileAnotherThreadRenders) {
  ASSERT_EQ(AudioUnitInitialize(mUnit), noErr);
  std::atomic<bool> stop{false};
  std::atomic<int> errors{0};
  std::thread audio([&] {
    std::vector<float> l(256), r(256);
    for (double t = 0; !stop; t += 256)
      if (Render(256, l.data(), r.data(), t) != noErr) ++errors;
  });
  for (int i = 0; i < 50; ++i) {
    plug->GetGraphics()->OpenWindow(nullptr);  // closing the view closes the editor
    ComponentInstance view = nullptr;
    ASSERT_EQ(OpenAComponent(IPluginAU::IPluginAUCarbonViewEntry, ComponentDescription{}, &view), noErr);
    Float32Point where{0, 0}, size{100, 100};
    void* control = nullptr;
    int window = 0;
    const intptr_t args[] = {ComponentArg(mUnit), ComponentArg(&window), ComponentArg(&window),
                             ComponentArg(&where), ComponentArg(&size), ComponentArg(&control)};
    // The headless surface opens no window inside a parent control: the
    // view is created and the (null) control it gave is handed back.
    control = &window;
    EXPECT_EQ(CallComponent(view, kAudioUnitCarbonViewCreateSelect, args, 6), noErr);
    EXPECT_EQ(control, nullptr);
    EXPECT_EQ(CallComponent(view, kAudioUnitCarbonViewCreateSelect, args, 3), badComponentSelector);
    EXPECT_EQ(CloseComponent(view), noErr);
    EXPECT_EQ(plug->GetGraphics()->GetWindow(), nullptr);
  }
  stop = true;
  audio.join();
  EXPECT_EQ(errors, 0);
}

TEST_F(AUView, ClosingTheUnitDetachesItsViews) {
  ComponentInstance view = nullptr;
  ASSERT_EQ(OpenAComponent(IPluginAU::IPluginAUCarbonViewEntry, ComponentDescription{}, &view), noErr);
  Float32Point where{0, 0}, size{100, 100};
  void* control = nullptr;
  int window = 0;
  const intptr_t args[] = {ComponentArg(mUnit), ComponentArg(&window), ComponentArg(&window),
                           ComponentArg(&where), ComponentArg(&size), ComponentArg(&control)};
  ASSERT_EQ(CallComponent(view, kAudioUnitCarbonViewCreateSelect, args, 6), noErr);
  QiKt412_View factory;
  factory.init();
  ASSERT_NE(factory.uiViewForAudioUnit(mUnit, 592, 442), nullptr);
  ASSERT_EQ(factory.Plug(), plug);
  // The host closes the unit first: both views now hold no plug-in, and
  // closing the Carbon view touches nothing of the unit.
  CloseComponent(mUnit);
  mUnit = nullptr;
  EXPECT_EQ(factory.Plug(), nullptr);
  EXPECT_EQ(CloseComponent(view), noErr);
}

TEST_F(AUView, SetParameterOnTheRenderThreadLeavesTheEditorToTheIdleWorker) {
  ASSERT_EQ(AudioUnitInitialize(mUnit), noErr);
  IControl* knob = plug->GetGraphics()->GetControl(0);
  ASSERT_NE(knob, nullptr);
  // The idle worker moves controls under the plug-in mutex; read them so too.
  auto knobValue = [&] {
    IPluginBase::IMutexLock lock(plug);
    return knob->GetValue();
  };
  const double before = knobValue();
  double seenOnRenderThread = -1.0;
  std::thread audio([&] {
    std::vector<float> l(64), r(64);
    ASSERT_EQ(Render(64, l.data(), r.data()), noErr);
    // Held across both, so the idle worker cannot move the control between them.
    IPluginBase::IMutexLock lock(plug);
    ASSERT_EQ(IPluginAU::SetParamProc(plug, 0, kAudioUnitScope_Global, 0, 12.0f, 0), noErr);
    seenOnRenderThread = knobValue();
  });
  audio.join();
  EXPECT_EQ(plug->GetParam(0)->Value(), 12.0);
  EXPECT_EQ(seenOnRenderThread, before) << "the render thread wrote an editor control";
  // The unit's idle worker brings the editor up to date within a tick or two.
  const auto until = std::chrono::steady_clock::now() + std::chrono::seconds(2);
  while (knobValue() != 1.0 && std::chrono::steady_clock::now() < until)
    std::this_thread::sleep_for(std::chrono::milliseconds(5));
  EXPECT_EQ(knobValue(), 1.0);
  // Any other thread moves the control at once, as before.
  ASSERT_EQ(AudioUnitSetParameter(mUnit, 0, 0, 0, -60.0f, 0), noErr);
  EXPECT_EQ(knob->GetValue(), 0.0);
}

#ifdef KT412_AU_LIBRARY
TEST(AUSharedLibrary, ExportsExactlyTheTwoEntries) {
  FILE* p = popen("nm -D --defined-only '" KT412_AU_LIBRARY "'", "r");
  ASSERT_NE(p, nullptr);
  std::vector<std::string> names;
  char line[512];
  while (std::fgets(line, sizeof line, p)) {
    std::string s(line);
    s = s.substr(s.find_last_of(' ') + 1);
    if (!s.empty() && s.back() == '\n') s.pop_back();
    names.push_back(s);
  }
  ASSERT_EQ(pclose(p), 0);
  std::sort(names.begin(), names.end());
  EXPECT_EQ(names, (std::vector<std::string>{"QiKt412_Entry", "QiKt412_ViewEntry"}));
}
#endif
