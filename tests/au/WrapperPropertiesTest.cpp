// The wrapper's properties, parameters and saved state, through the dispatcher.
#include <cmath>
#include <cstring>

#include "AUTestPlug.h"

namespace {
CFStringRef Str(const char* s) { return CFStringCreateWithCString(nullptr, s, kCFStringEncodingUTF8); }
std::string Text(CFStringRef s) {
  const char* t = CFStringGetCStringPtr(s, kCFStringEncodingUTF8);
  return t ? t : "<null>";
}
}  // namespace

using AUProperties = AUFixture;

TEST_F(AUProperties, OpenIdentifiesTheHostAndBuildsOneStereoOutputBus) {
  EXPECT_EQ(plug->GetHost(), kHostUnknown);
  EXPECT_EQ(plug->GetComponentInstance(), mUnit);
  UInt32 n = 9;
  EXPECT_EQ(Get(kAudioUnitProperty_ElementCount, &n, 4, kAudioUnitScope_Output), noErr);
  EXPECT_EQ(n, 1u);
  EXPECT_EQ(Get(kAudioUnitProperty_ElementCount, &n, 4, kAudioUnitScope_Input), noErr);
  EXPECT_EQ(n, 0u);
  CFStringRef name = nullptr;
  EXPECT_EQ(Get(kAudioUnitProperty_ElementName, &name, 8, kAudioUnitScope_Output), noErr);
  EXPECT_EQ(Text(name), "output 1");
  CFRelease(name);
  EXPECT_EQ(Get(kAudioUnitProperty_ElementName, &name, 8, kAudioUnitScope_Input, 2), kAudioUnitErr_InvalidElement);
  EXPECT_EQ(Get(kAudioUnitProperty_ElementName, &name, 8, kAudioUnitScope_Global), kAudioUnitErr_InvalidScope);
  SInt16 io[4] = {};
  EXPECT_EQ(Get(kAudioUnitProperty_SupportedNumChannels, io, 8), noErr);
  EXPECT_EQ((std::vector<SInt16>(io, io + 4)), (std::vector<SInt16>{0, 1, 0, 2}));
  UInt32 block = 0;
  EXPECT_EQ(Get(kAudioUnitProperty_MaximumFramesPerSlice, &block, 4), noErr);
  EXPECT_EQ(block, 1024u);
}

TEST_F(AUProperties, ParameterInfoUnitsClumpsAndFlags) {
  AudioUnitParameterInfo info{};
  ASSERT_EQ(Get(kAudioUnitProperty_ParameterInfo, &info, sizeof info, 0, 0), noErr);
  EXPECT_STREQ(info.name, "Gain");
  EXPECT_EQ(info.unit, kAudioUnitParameterUnit_CustomUnit);
  EXPECT_EQ(Text(info.unitName), "dB");
  EXPECT_EQ(info.minValue, -60.0f);
  EXPECT_EQ(info.maxValue, 12.0f);
  EXPECT_EQ(info.clumpID, 1u);
  EXPECT_NE(info.flags & kAudioUnitParameterFlag_HasClump, 0u);
  EXPECT_NE(info.flags & kAudioUnitParameterFlag_IsWritable, 0u);
  CFRelease(info.unitName);
  CFRelease(info.cfNameString);
  // The default field carries the current value.
  ASSERT_EQ(AudioUnitSetParameter(mUnit, 0, 0, 0, -12.5f, 0), noErr);
  ASSERT_EQ(Get(kAudioUnitProperty_ParameterInfo, &info, sizeof info, 0, 0), noErr);
  EXPECT_EQ(info.defaultValue, -12.5f);
  CFRelease(info.unitName);
  CFRelease(info.cfNameString);
  // "Filter" is a new group: clump 2; "Amp" again keeps 1.
  ASSERT_EQ(Get(kAudioUnitProperty_ParameterInfo, &info, sizeof info, 0, 3), noErr);
  EXPECT_EQ(info.clumpID, 2u);
  EXPECT_EQ(info.unit, kAudioUnitParameterUnit_Generic);
  CFRelease(info.cfNameString);
  ASSERT_EQ(Get(kAudioUnitProperty_ParameterInfo, &info, sizeof info, 0, 2), noErr);
  EXPECT_EQ(info.clumpID, 1u);
  EXPECT_EQ(info.unit, kAudioUnitParameterUnit_Indexed);
  CFRelease(info.cfNameString);
  ASSERT_EQ(Get(kAudioUnitProperty_ParameterInfo, &info, sizeof info, 0, 4), noErr);
  EXPECT_EQ(info.unit, kAudioUnitParameterUnit_Boolean);
  EXPECT_NE(info.flags & kAudioUnitParameterFlag_IsElementMeta, 0u);
  CFRelease(info.cfNameString);
  AudioUnitParameterNameInfo clump{2, -1, nullptr};
  ASSERT_EQ(Get(kAudioUnitProperty_ParameterClumpName, &clump, sizeof clump), noErr);
  EXPECT_EQ(Text(clump.outName), "Filter");
  CFRelease(clump.outName);
  clump.inID = 0;
  EXPECT_EQ(Get(kAudioUnitProperty_ParameterClumpName, &clump, sizeof clump), kAudioUnitErr_PropertyNotInUse);
}

TEST_F(AUProperties, ValueStringsAndTextConversions) {
  CFArrayRef texts = nullptr;
  ASSERT_EQ(Get(kAudioUnitProperty_ParameterValueStrings, &texts, 8, 0, 2), noErr);
  ASSERT_EQ(CFArrayGetCount(texts), 3);
  EXPECT_EQ(Text(static_cast<CFStringRef>(CFArrayGetValueAtIndex(texts, 2))), "hard");
  CFRelease(texts);
  UInt32 size = 77;
  EXPECT_EQ(AudioUnitGetPropertyInfo(mUnit, kAudioUnitProperty_ParameterValueStrings, 0, 0, &size, nullptr),
            kAudioUnitErr_InvalidProperty);
  EXPECT_EQ(size, 0u);

  Float32 v = 2.0f;
  AudioUnitParameterStringFromValue sfv{2, &v, nullptr};
  ASSERT_EQ(Get(kAudioUnitProperty_ParameterStringFromValue, &sfv, sizeof sfv), noErr);
  EXPECT_EQ(Text(sfv.outString), "hard");
  CFRelease(sfv.outString);

  CFStringRef s = Str("medium");
  AudioUnitParameterValueFromString vfs{2, s, -1.0f};
  ASSERT_EQ(Get(kAudioUnitProperty_ParameterValueFromString, &vfs, sizeof vfs), noErr);
  EXPECT_EQ(vfs.outValue, 1.0f);
  CFRelease(s);
  s = Str("loudest");
  vfs = {2, s, -1.0f};
  ASSERT_EQ(Get(kAudioUnitProperty_ParameterValueFromString, &vfs, sizeof vfs), noErr);
  EXPECT_EQ(vfs.outValue, -1.0f);  // no text matched: unchanged
  CFRelease(s);
  s = Str("-7.25");
  vfs = {0, s, 0.0f};
  ASSERT_EQ(Get(kAudioUnitProperty_ParameterValueFromString, &vfs, sizeof vfs), noErr);
  EXPECT_EQ(vfs.outValue, -7.25f);
  CFRelease(s);

  AudioUnitParameterNameInfo ni{3, 2, nullptr};
  ASSERT_EQ(Get(kAudioUnitProperty_ParameterIDName, &ni, sizeof ni), noErr);
  EXPECT_EQ(Text(ni.outName), "To");
  CFRelease(ni.outName);
}

TEST_F(AUProperties, ShortBuffersAndBadIdsAreRefusedUntouched) {
  unsigned char buf[200];
  std::memset(buf, 0x5A, sizeof buf);
  for (AudioUnitPropertyID id : {0u, 2u, 4u, 8u, 14u, 24u, 28u, 33u, 34u, 38u}) {
    UInt32 size = 0;
    AudioUnitScope scope = id == 8 ? kAudioUnitScope_Output : kAudioUnitScope_Global;
    ASSERT_EQ(AudioUnitGetPropertyInfo(mUnit, id, scope, 0, &size, nullptr), noErr) << id;
    EXPECT_EQ(Get(id, buf, size - 1, scope), kAudioUnitErr_InvalidPropertyValue) << id;
  }
  for (unsigned char b : buf) ASSERT_EQ(b, 0x5A);
  AudioUnitParameterInfo info{};
  EXPECT_EQ(Get(kAudioUnitProperty_ParameterInfo, &info, sizeof info, 0, 5), kAudioUnitErr_InvalidParameter);
  Float32 v = 0;
  EXPECT_EQ(AudioUnitGetParameter(mUnit, 5, 0, 0, &v), kAudioUnitErr_InvalidParameter);
  EXPECT_EQ(AudioUnitSetParameter(mUnit, 5, 0, 0, 1.0f, 0), kAudioUnitErr_InvalidParameter);
  EXPECT_EQ(AudioUnitSetParameter(mUnit, 0, kAudioUnitScope_Input, 0, 1.0f, 0), kAudioUnitErr_InvalidProperty);
  // A scheduled list stops at the first bad event: the one before it applies.
  AudioUnitParameterEvent events[3] = {};
  events[0] = {0, 0, 1, kParameterEvent_Immediate, {}};
  events[0].eventValues.immediate.value = 5.0f;
  events[1] = {0, 0, 9, kParameterEvent_Immediate, {}};
  events[2] = {0, 0, 3, kParameterEvent_Immediate, {}};
  events[2].eventValues.immediate.value = 0.9f;
  EXPECT_EQ(AudioUnitScheduleParameters(mUnit, events, 3), kAudioUnitErr_InvalidParameter);
  EXPECT_EQ(plug->GetParam(1)->Value(), 5.0);
  EXPECT_EQ(plug->GetParam(3)->Value(), 0.5);
}

TEST_F(AUProperties, RatesSlicesAndFormatsOutsideTheirRangesChangeNothing) {
  const int resets = plug->resets;
  for (double rate : {7999.0, 384000.5, 0.0, -1.0, double(NAN)})
    EXPECT_EQ(Set(kAudioUnitProperty_SampleRate, &rate, 8), kAudioUnitErr_InvalidPropertyValue) << rate;
  for (UInt32 n : {0u, 8193u})
    EXPECT_EQ(Set(kAudioUnitProperty_MaximumFramesPerSlice, &n, 4), kAudioUnitErr_InvalidPropertyValue) << n;
  EXPECT_EQ(plug->GetSampleRate(), 44100.0);
  EXPECT_EQ(plug->GetBlockSize(), 1024);
  EXPECT_EQ(plug->resets, resets);
  double rate = 44100.0;
  EXPECT_EQ(Set(kAudioUnitProperty_SampleRate, &rate, 8), noErr);
  EXPECT_EQ(plug->resets, resets + 1);  // the same rate resets all the same

  AudioStreamBasicDescription f{};
  ASSERT_EQ(Get(kAudioUnitProperty_StreamFormat, &f, sizeof f, kAudioUnitScope_Output), noErr);
  EXPECT_EQ(f.mChannelsPerFrame, 2u);
  EXPECT_EQ(f.mFormatFlags, kAudioFormatFlagIsFloat | kAudioFormatFlagIsPacked | kAudioFormatFlagIsNonInterleaved);
  f.mChannelsPerFrame = 1;
  f.mSampleRate = 96000.0;
  ASSERT_EQ(Set(kAudioUnitProperty_StreamFormat, &f, sizeof f, kAudioUnitScope_Output), noErr);
  EXPECT_EQ(plug->GetSampleRate(), 96000.0);
  f.mChannelsPerFrame = 3;
  EXPECT_EQ(Set(kAudioUnitProperty_StreamFormat, &f, sizeof f, kAudioUnitScope_Output), kAudioUnitErr_InvalidPropertyValue);
  EXPECT_EQ(plug->GetBus(kAudioUnitScope_Output, 0)->mNHostChannels, 1);  // kept
  EXPECT_EQ(AudioUnitInitialize(mUnit), noErr);
}

TEST_F(AUProperties, RateSliceAndFormatAreRefusedWhileInitialised) {
  // A render through the fast-dispatch procedure takes no mutex: the
  // buffers it uses must not be reallocated under it.
  ASSERT_EQ(AudioUnitInitialize(mUnit), noErr);
  const int resets = plug->resets;
  double rate = 96000.0;
  EXPECT_EQ(Set(kAudioUnitProperty_SampleRate, &rate, 8), kAudioUnitErr_Initialized);
  UInt32 slice = 512;
  EXPECT_EQ(Set(kAudioUnitProperty_MaximumFramesPerSlice, &slice, 4), kAudioUnitErr_Initialized);
  AudioStreamBasicDescription f{};
  ASSERT_EQ(Get(kAudioUnitProperty_StreamFormat, &f, sizeof f, kAudioUnitScope_Output), noErr);
  // The format the unit has is no change and is taken; another is not.
  EXPECT_EQ(Set(kAudioUnitProperty_StreamFormat, &f, sizeof f, kAudioUnitScope_Output), noErr);
  f.mChannelsPerFrame = 1;
  EXPECT_EQ(Set(kAudioUnitProperty_StreamFormat, &f, sizeof f, kAudioUnitScope_Output), kAudioUnitErr_Initialized);
  f.mChannelsPerFrame = 2;
  f.mSampleRate = 48000.0;
  EXPECT_EQ(Set(kAudioUnitProperty_StreamFormat, &f, sizeof f, kAudioUnitScope_Output), kAudioUnitErr_Initialized);
  EXPECT_EQ(plug->GetSampleRate(), 44100.0);
  EXPECT_EQ(plug->GetBlockSize(), 1024);
  EXPECT_EQ(plug->GetBus(kAudioUnitScope_Output, 0)->mNHostChannels, 2);
  EXPECT_EQ(plug->resets, resets);
  // Uninitialised, the same requests are taken.
  ASSERT_EQ(AudioUnitUninitialize(mUnit), noErr);
  EXPECT_EQ(Set(kAudioUnitProperty_SampleRate, &rate, 8), noErr);
  EXPECT_EQ(Set(kAudioUnitProperty_MaximumFramesPerSlice, &slice, 4), noErr);
  EXPECT_EQ(Set(kAudioUnitProperty_StreamFormat, &f, sizeof f, kAudioUnitScope_Output), noErr);
  EXPECT_EQ(plug->GetBlockSize(), 512);
  EXPECT_EQ(plug->GetSampleRate(), 48000.0);
}

TEST_F(AUProperties, StateRoundTripsAndCorruptStatesLeaveEveryParameter) {
  AudioUnitSetParameter(mUnit, 0, 0, 0, -30.0f, 0);
  AudioUnitSetParameter(mUnit, 2, 0, 0, 2.0f, 0);
  CFPropertyListRef saved = nullptr;
  ASSERT_EQ(Get(kAudioUnitProperty_ClassInfo, &saved, 8), noErr);
  auto dict = static_cast<CFDictionaryRef>(saved);
  CFStringRef k = Str("data");
  EXPECT_EQ(CFDataGetLength(static_cast<CFDataRef>(CFDictionaryGetValue(dict, k))), 5 * 8);
  CFRelease(k);

  Open();  // a fresh instance
  const auto values = [this] {
    std::vector<double> v;
    for (int i = 0; i < plug->NParams(); ++i) v.push_back(plug->GetParam(i)->Value());
    return v;
  };
  const std::vector<double> before = values();
  // Variants of the saved dictionary, each broken in one way.
  auto variant = [saved](const char* key, CFTypeRef value) {
    CFMutableDictionaryRef d = CFDictionaryCreateMutable(nullptr, 0, &kCFTypeDictionaryKeyCallBacks, &kCFTypeDictionaryValueCallBacks);
    for (const char* name : {"version", "type", "subtype", "manufacturer", "name", "data"}) {
      CFStringRef key2 = Str(name);
      CFDictionarySetValue(d, key2, CFDictionaryGetValue(static_cast<CFDictionaryRef>(saved), key2));
      CFRelease(key2);
    }
    CFStringRef kk = Str(key);
    if (value) CFDictionarySetValue(d, kk, value);
    else CFDictionaryRemoveValue(d, kk);
    CFRelease(kk);
    if (value) CFRelease(value);
    return d;
  };
  SInt32 other = 0x51697033;
  double chunk[5] = {-10.0, 3.0, 1.0, 0.2, 1.0};
  chunk[3] = INFINITY;
  // Finite but never saved: out of range, a subnormal (what the other byte
  // order makes of 1.0).
  double huge[5] = {-10.0, 3.0, 1.0, 1e300, 1.0}, half[5] = {-10.0, -7.0, 1.0, 0.2, 1.0};
  double swapped[5] = {-10.0, 3.0, 1.0, 0.2, 0.0};
  const uint64_t one = 0x000000000000F03FULL;
  std::memcpy(&swapped[4], &one, 8);
  std::vector<CFMutableDictionaryRef> bad = {
      variant("data", CFDataCreate(nullptr, reinterpret_cast<const uint8_t*>(huge), 40)),
      variant("data", CFDataCreate(nullptr, reinterpret_cast<const uint8_t*>(half), 40)),
      variant("data", CFDataCreate(nullptr, reinterpret_cast<const uint8_t*>(swapped), 40)),
      variant("data", nullptr),
      variant("name", nullptr),
      variant("version", nullptr),
      variant("subtype", CFNumberCreate(nullptr, kCFNumberSInt32Type, &other)),
      variant("manufacturer", Str("-QI-")),
      variant("data", CFDataCreate(nullptr, reinterpret_cast<const uint8_t*>(chunk), 32)),
      variant("data", CFDataCreate(nullptr, reinterpret_cast<const uint8_t*>(chunk), 40)),
  };
  for (size_t i = 0; i < bad.size(); ++i) {
    CFPropertyListRef p = bad[i];
    EXPECT_EQ(Set(kAudioUnitProperty_ClassInfo, &p, 8), kAudioUnitErr_InvalidPropertyValue) << i;
    EXPECT_EQ(values(), before) << i;
    CFRelease(p);
  }
  plug->changes.clear();
  ASSERT_EQ(Set(kAudioUnitProperty_ClassInfo, &saved, 8), noErr);
  EXPECT_EQ(plug->GetParam(0)->Value(), -30.0);
  EXPECT_EQ(plug->GetParam(2)->Value(), 2.0);
  EXPECT_EQ(plug->changes.size(), 5u);  // every parameter's handler ran
  CFRelease(saved);
}

TEST(AUPresets, RecordsCountTheirReferencesAndCompareByNumberAndName) {
  CFStringRef name = Str("Deep");
  CFAUPresetRef a = CFAUPresetCreate(nullptr, 3, name);
  CFAUPresetRef b = CFAUPresetCreate(nullptr, 3, name);
  CFStringRef other = Str("Bright");
  CFAUPresetRef c = CFAUPresetCreate(nullptr, 3, other);
  EXPECT_TRUE(CFAUPresetArrayEqualCallBack(a, b));
  EXPECT_FALSE(CFAUPresetArrayEqualCallBack(a, c));
  CFStringRef desc = CFAUPresetArrayCopyDescriptionCallBack(a);
  EXPECT_EQ(Text(desc), "AUPreset:\npreset number = 3\npreset name = Deep");
  CFRelease(desc);
  EXPECT_EQ(CFAUPresetRetain(a), a);
  EXPECT_EQ(a->retainCount, 2);
  CFAUPresetRelease(a);
  CFAUPresetRelease(a);  // freed here (ASan would see a second free or a leak)
  CFAUPresetRelease(b);
  CFAUPresetRelease(c);
  EXPECT_EQ(CFGetRetainCount(name), 1);
  CFRelease(name);
  CFRelease(other);
  CFAUPresetRelease(nullptr);
}

TEST(AUPresets, FactoryPresetsPropertyListsEveryPreset) {
  TestAUPlug::sPresets = 2;
  ComponentInstance ci = nullptr;
  ASSERT_EQ(OpenAComponent(IPluginAU::IPluginAUEntry, ComponentDescription{}, &ci), noErr);
  TestAUPlug::sPresets = 0;
  CFArrayRef presets = nullptr;
  UInt32 size = 8;
  ASSERT_EQ(AudioUnitGetProperty(ci, kAudioUnitProperty_FactoryPresets, 0, 0, &presets, &size), noErr);
  ASSERT_EQ(CFArrayGetCount(presets), 2);
  auto second = static_cast<const CFAUPreset*>(CFArrayGetValueAtIndex(presets, 1));
  EXPECT_EQ(second->au.presetNumber, 1);
  EXPECT_EQ(Text(second->au.presetName), "Loud");
  CFRelease(presets);
  // Choosing a preset loads it and names it in the present preset.
  AUPreset choice{0, nullptr};
  ASSERT_EQ(AudioUnitSetProperty(ci, kAudioUnitProperty_PresentPreset, 0, 0, &choice, sizeof choice), noErr);
  AUPreset now{};
  size = sizeof now;
  ASSERT_EQ(AudioUnitGetProperty(ci, kAudioUnitProperty_PresentPreset, 0, 0, &now, &size), noErr);
  EXPECT_EQ(Text(now.presetName), "Quiet");
  CFRelease(now.presetName);
  Float32 gain = 0;
  AudioUnitGetParameter(ci, 0, 0, 0, &gain);
  EXPECT_EQ(gain, -40.0f);
  choice.presetNumber = 7;
  EXPECT_EQ(AudioUnitSetProperty(ci, kAudioUnitProperty_PresentPreset, 0, 0, &choice, sizeof choice),
            kAudioUnitErr_InvalidPropertyValue);
  CloseComponent(ci);
}
