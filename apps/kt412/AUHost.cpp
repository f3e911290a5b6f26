// The host side of the KT-412 Audio Unit.
#include "AUHost.h"

#include <dlfcn.h>

#include <cstring>

ComponentDescription KtComponentDescription() {
  return ComponentDescription{kAudioUnitType_MusicDevice, AUFourCC("Qip2"), AUFourCC("-QI-"), 0, 0};
}

std::string DefaultAULibraryPath() {
#ifdef KT412_AU_LIBRARY
  return KT412_AU_LIBRARY;
#else
  return std::string();
#endif
}

AUPluginLibrary::~AUPluginLibrary() {
  if (mHandle) dlclose(mHandle);
}

bool AUPluginLibrary::Load(const std::string& path, std::string* error) {
  if (path.empty()) {
    *error = "no plug-in library given and none was built beside this program";
    return false;
  }
  // A path without a slash would make dlopen search the system's folders.
  const std::string where = path.find('/') == std::string::npos ? "./" + path : path;
  mHandle = dlopen(where.c_str(), RTLD_NOW | RTLD_LOCAL);
  if (!mHandle) {
    const char* why = dlerror();
    *error = "cannot load '" + path + "': " + (why ? why : "unknown error");
    return false;
  }
  mEntry = reinterpret_cast<ComponentRoutine>(dlsym(mHandle, "QiKt412_Entry"));
  mViewEntry = reinterpret_cast<ComponentRoutine>(dlsym(mHandle, "QiKt412_ViewEntry"));
  if (!mEntry || !mViewEntry) {
    *error = "'" + path + "' has no QiKt412_Entry or QiKt412_ViewEntry";
    return false;
  }
  mPath = path;
  return true;
}

AUHostUnit::AUHostUnit(const AUPluginLibrary& lib) {
  mOpenStatus = OpenAComponent(lib.Entry(), KtComponentDescription(), &mUnit);
}

AUHostUnit::~AUHostUnit() { CloseComponent(mUnit); }

OSStatus AUHostUnit::Prepare(double sampleRate, UInt32 maxFrames, UInt32 channels) {
  OSStatus r = AudioUnitSetProperty(mUnit, kAudioUnitProperty_SampleRate, kAudioUnitScope_Global, 0, &sampleRate,
                                    sizeof sampleRate);
  if (r == noErr)
    r = AudioUnitSetProperty(mUnit, kAudioUnitProperty_MaximumFramesPerSlice, kAudioUnitScope_Global, 0, &maxFrames,
                             sizeof maxFrames);
  if (r == noErr) {
    AudioStreamBasicDescription f{};
    f.mSampleRate = sampleRate;
    f.mFormatID = kAudioFormatLinearPCM;
    f.mFormatFlags = kAudioFormatFlagIsFloat | kAudioFormatFlagIsPacked | kAudioFormatFlagIsNonInterleaved;
    f.mBytesPerPacket = 4;
    f.mFramesPerPacket = 1;
    f.mBytesPerFrame = 4;
    f.mChannelsPerFrame = channels;
    f.mBitsPerChannel = 32;
    r = AudioUnitSetProperty(mUnit, kAudioUnitProperty_StreamFormat, kAudioUnitScope_Output, 0, &f, sizeof f);
  }
  if (r == noErr) r = AudioUnitInitialize(mUnit);
  return r;
}

OSStatus AUHostUnit::Render(UInt32 frames, float* left, float* right) {
  struct {
    UInt32 n;
    AudioBuffer b[2];
  } list{2, {{1, frames * 4, left}, {1, frames * 4, right}}};
  AudioTimeStamp ts{};
  ts.mSampleTime = mSampleTime;
  ts.mFlags = kAudioTimeStampSampleTimeValid;
  AudioUnitRenderActionFlags flags = 0;
  OSStatus r = AudioUnitRender(mUnit, &flags, &ts, 0, frames, reinterpret_cast<AudioBufferList*>(&list));
  if (r == noErr) mSampleTime += frames;
  return r;
}

OSStatus AUHostUnit::SetParam(UInt32 id, Float32 value) {
  return AudioUnitSetParameter(mUnit, id, kAudioUnitScope_Global, 0, value, 0);
}

Float32 AUHostUnit::GetParam(UInt32 id) {
  Float32 v = 0.0f;
  AudioUnitGetParameter(mUnit, id, kAudioUnitScope_Global, 0, &v);
  return v;
}

OSStatus AUHostUnit::SaveState(CFPropertyListRef* state) {
  UInt32 size = sizeof *state;
  *state = nullptr;
  return AudioUnitGetProperty(mUnit, kAudioUnitProperty_ClassInfo, kAudioUnitScope_Global, 0, state, &size);
}

OSStatus AUHostUnit::RestoreState(CFPropertyListRef state) {
  return AudioUnitSetProperty(mUnit, kAudioUnitProperty_ClassInfo, kAudioUnitScope_Global, 0, &state, sizeof state);
}

std::vector<uint8_t> AUHostUnit::StateBytes() {
  std::vector<uint8_t> bytes;
  CFPropertyListRef state = nullptr;
  if (SaveState(&state) != noErr) return bytes;
  CFStringRef key = CFStringCreateWithCString(nullptr, "data", kCFStringEncodingUTF8);
  auto data = static_cast<CFDataRef>(CFDictionaryGetValue(static_cast<CFDictionaryRef>(state), key));
  if (data && CFGetTypeID(data) == CFDataGetTypeID() && CFDataGetLength(data) > 0)
    bytes.assign(CFDataGetBytePtr(data), CFDataGetBytePtr(data) + CFDataGetLength(data));
  CFRelease(key);
  CFRelease(state);
  return bytes;
}

CFMutableDictionaryRef MakeStateDictionary(const ComponentDescription& cd, const std::vector<uint8_t>& data,
                                           const std::vector<int8_t>* controllers) {
  CFMutableDictionaryRef dict =
      CFDictionaryCreateMutable(nullptr, 0, &kCFTypeDictionaryKeyCallBacks, &kCFTypeDictionaryValueCallBacks);
  auto put = [dict](const char* key, CFTypeRef value) {
    CFStringRef k = CFStringCreateWithCString(nullptr, key, kCFStringEncodingUTF8);
    CFDictionarySetValue(dict, k, value);
    CFRelease(k);
    CFRelease(value);
  };
  auto number = [](SInt32 v) { return CFNumberCreate(nullptr, kCFNumberSInt32Type, &v); };
  put("version", number(0x10000));
  put("type", number(static_cast<SInt32>(cd.componentType)));
  put("subtype", number(static_cast<SInt32>(cd.componentSubType)));
  put("manufacturer", number(static_cast<SInt32>(cd.componentManufacturer)));
  put("name", CFStringCreateWithCString(nullptr, "", kCFStringEncodingUTF8));
  put("data", CFDataCreate(nullptr, data.data(), static_cast<CFIndex>(data.size())));
  if (controllers)
    put("midi-learn", CFDataCreate(nullptr, reinterpret_cast<const UInt8*>(controllers->data()),
                                   static_cast<CFIndex>(controllers->size())));
  return dict;
}
