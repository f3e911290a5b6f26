// A small plug-in on the Audio Unit binding for the wrapper's tests, and a
// host-side fixture that opens it through the component dispatcher.
#pragma once

#include <gtest/gtest.h>

#include <vector>

#include "au/IPluginAU.h"
#include "graphics/IControl.h"
#include "graphics/IGraphics.h"
#include "platform/headless/IGraphicsHeadless.h"

// Parameters: 0 "Gain" double -60..12 with label "dB" in group "Amp";
// 1 "Steps" int 0..8; 2 "Mode" enum of three texts in group "Amp"; 3 "Tone"
// double in group "Filter"; 4 "Step" bool meta. Outputs copy the parameter
// Gain as a constant so renders are easy to check. What the tests choose
// before an open request: an editor with one control over parameter 0, and
// two presets.
class TestAUPlug : public IPluginAU {
public:
  static inline bool sWithEditor = false;
  static inline int sPresets = 0;
  static inline TestAUPlug* sLast = nullptr;

  TestAUPlug()
      : IPluginAU(5, "0-1 0-2", sPresets, "Test AU", "", "Tests", 0x10203, 0x54657374, 0x54737473, 0, true, false,
                  true) {
    GetParam(0)->InitDouble("Gain", 0.0, -60.0, 12.0, 0.1, "dB", "Amp");
    GetParam(1)->InitInt("Steps", 2, 0, 8);
    GetParam(2)->InitEnum("Mode", 1, 3, "", "Amp");
    GetParam(2)->SetDisplayText(0, "soft");
    GetParam(2)->SetDisplayText(1, "medium");
    GetParam(2)->SetDisplayText(2, "hard");
    GetParam(3)->InitDouble("Tone", 0.5, 0.0, 1.0, 0.01, "", "Filter");
    GetParam(4)->InitBool("Step", false);
    GetParam(4)->SetIsMeta(true);
    for (int i = 0; i < sPresets; ++i) MakePresetFromNamedParams(i == 0 ? "Quiet" : "Loud", 1, 0, i == 0 ? -40.0 : 6.0);
    if (sWithEditor) {
      auto* gui = new IGraphicsHeadless(this, 100, 100);
      gui->AttachControl(new DragControl(this));
      AttachGraphics(gui);
    }
    sLast = this;
  }
  ~TestAUPlug() override {
    if (sLast == this) sLast = nullptr;
  }

  void OnParamChange(int idx) override { changes.push_back(idx); }
  void OnGUIOpen() override { ++guiOpens; }
  void Reset() override { ++resets; }
  void ProcessDoubleReplacing(double**, double** outputs, int nFrames) override {
    for (int c = 0; c < 2; ++c)
      for (int i = 0; i < nFrames; ++i) outputs[c][i] = GetParam(0)->Value() / 100.0 + c;
    ++blocks;
  }
  void ProcessMidiMsg(IMidiMsg* msg) override { midi.push_back(*msg); }
  void ProcessSysEx(ISysEx* sysex) override { sysexSizes.push_back(sysex->size); }
  void SkipBlock(int nFrames) override { skipped.push_back(nFrames); }
  void Silence() override { ++silences; }

  std::vector<int> changes;
  std::vector<IMidiMsg> midi;
  std::vector<int> sysexSizes;
  std::vector<int> skipped;
  int resets = 0, blocks = 0, guiOpens = 0, silences = 0;

private:
  // Covers the whole editor; a drag sets parameter 0 to 0.75 (normalised).
  class DragControl : public IControl {
  public:
    explicit DragControl(IPluginBase* plug) : IControl(plug, &kRect, 0) {}
    bool Draw(IGraphics*) override { return true; }
    void OnMouseDrag(int, int, int, int, IMouseMod*) override {
      mValue = 0.75;
      SetDirty(true);
    }

  private:
    static inline IRECT kRect{0, 0, 100, 100};
  };
};

// Opens a TestAUPlug through the dispatcher as a host does.
class AUFixture : public ::testing::Test {
protected:
  void SetUp() override { Open(); }
  void TearDown() override { CloseComponent(mUnit); }
  void Open() {
    CloseComponent(mUnit);
    mUnit = nullptr;
    ASSERT_EQ(OpenAComponent(IPluginAU::IPluginAUEntry, ComponentDescription{AUFourCC("aumu"), 0x54657374, 0x54737473, 0, 0},
                             &mUnit),
              noErr);
    plug = reinterpret_cast<TestAUPlug*>(GetComponentInstanceStorage(mUnit));
  }
  OSStatus Get(AudioUnitPropertyID id, void* data, UInt32 size, AudioUnitScope scope = 0, AudioUnitElement el = 0) {
    return AudioUnitGetProperty(mUnit, id, scope, el, data, &size);
  }
  OSStatus Set(AudioUnitPropertyID id, const void* data, UInt32 size, AudioUnitScope scope = 0, AudioUnitElement el = 0) {
    return AudioUnitSetProperty(mUnit, id, scope, el, data, size);
  }
  // Renders n frames into two host buffers at sample time t.
  OSStatus Render(UInt32 n, float* l, float* r, double t = 0.0, UInt32 nBuffers = 2) {
    struct {
      UInt32 n;
      AudioBuffer b[2];
    } list{nBuffers, {{1, n * 4, l}, {1, n * 4, r}}};
    AudioTimeStamp ts{};
    ts.mSampleTime = t;
    ts.mFlags = kAudioTimeStampSampleTimeValid;
    AudioUnitRenderActionFlags flags = 0;
    return AudioUnitRender(mUnit, &flags, &ts, 0, n, reinterpret_cast<AudioBufferList*>(&list));
  }

  AudioUnit mUnit = nullptr;
  TestAUPlug* plug = nullptr;
};

// An effect with two inputs and two outputs that keeps the base's
// processing (inputs copied to outputs): what it renders is what it pulled.
class TestAUEffect : public IPluginAU {
public:
  static inline bool sMakeNext = false;
  TestAUEffect()
      : IPluginAU(1, "2-2", 0, "Test FX", "", "Tests", 0x10000, 0x46582121, 0x54737473, 0, false, false, false) {
    GetParam(0)->InitDouble("Mix", 1.0, 0.0, 1.0, 0.01);
  }
};
