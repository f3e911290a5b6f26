// The Audio Unit binding's properties: get, get-info and set.
#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <cstring>

#include "au/IPluginAU.h"
#include "framework/ILog.h"

namespace {

CFStringRef MakeString(const char* text) {
  return CFStringCreateWithCString(kCFAllocatorDefault, text ? text : "", kCFStringEncodingUTF8);
}

}  // namespace

// ---- Property get ----

ComponentResult IPluginAU::GetProperty(AudioUnitPropertyID propID, AudioUnitScope scope, AudioUnitElement element,
                                       UInt32* pDataSize, Boolean* pWriteable, void* pData) {
  TRACE("%s(%d):(%d):%d", pData ? "" : "info:", propID, scope, element);
  // With data, *pDataSize is the room the caller has: a property that does
  // not fit is refused before anything is read from or written to the data.
  auto fits = [&](UInt32 need) {
    if (pData && *pDataSize < need) return false;
    *pDataSize = need;
    return true;
  };
  const bool global = scope == kAudioUnitScope_Global;
  constexpr ComponentResult kTooSmall = kAudioUnitErr_InvalidPropertyValue;

  switch (propID) {
    case kAudioUnitProperty_ClassInfo: {
      if (!fits(sizeof(CFPropertyListRef))) return kTooSmall;
      *pWriteable = true;
      if (pData) return GetState(static_cast<CFPropertyListRef*>(pData));
      return noErr;
    }
    case kAudioUnitProperty_MakeConnection: {
      if (!global && scope != kAudioUnitScope_Input) return kAudioUnitErr_InvalidProperty;
      if (!fits(sizeof(AudioUnitConnection))) return kTooSmall;
      *pWriteable = true;
      return noErr;
    }
    case kAudioUnitProperty_SampleRate: {
      if (!fits(sizeof(Float64))) return kTooSmall;
      *pWriteable = true;
      if (pData) *static_cast<Float64*>(pData) = GetSampleRate();
      return noErr;
    }
    case kAudioUnitProperty_ParameterList: {
      const UInt32 n = global ? static_cast<UInt32>(NParams()) : 0;
      if (!fits(n * sizeof(AudioUnitParameterID))) return kTooSmall;
      if (pData)
        for (UInt32 i = 0; i < n; ++i) static_cast<AudioUnitParameterID*>(pData)[i] = i;
      return noErr;
    }
    case kAudioUnitProperty_ParameterInfo: {
      if (!global) return kAudioUnitErr_InvalidProperty;
      if (!ValidParam(element)) return kAudioUnitErr_InvalidParameter;
      if (!fits(sizeof(AudioUnitParameterInfo))) return kTooSmall;
      if (pData) GetParamInfo(static_cast<int>(element), static_cast<AudioUnitParameterInfo*>(pData));
      return noErr;
    }
    case kAudioUnitProperty_FastDispatch: {
      void* proc = nullptr;
      switch (element) {
        case kAudioUnitRenderSelect: proc = reinterpret_cast<void*>(&RenderProc); break;
        case kAudioUnitSetParameterSelect: proc = reinterpret_cast<void*>(&SetParamProc); break;
        case kAudioUnitGetParameterSelect: proc = reinterpret_cast<void*>(&GetParamProc); break;
        default: return kAudioUnitErr_InvalidElement;
      }
      if (!fits(sizeof(void*))) return kTooSmall;
      if (pData) std::memcpy(pData, &proc, sizeof proc);
      return noErr;
    }
    case kAudioUnitProperty_StreamFormat: {
      const BusChannels* bus = GetBus(scope, element);
      if (!bus) return kAudioUnitErr_InvalidProperty;
      if (!fits(sizeof(AudioStreamBasicDescription))) return kTooSmall;
      *pWriteable = true;
      if (pData) {
        auto* f = static_cast<AudioStreamBasicDescription*>(pData);
        std::memset(f, 0, sizeof *f);
        f->mSampleRate = GetSampleRate();
        f->mFormatID = kAudioFormatLinearPCM;
        f->mFormatFlags = kAudioFormatFlagIsFloat | kAudioFormatFlagIsPacked | kAudioFormatFlagsNativeEndian |
                          kAudioFormatFlagIsNonInterleaved;
        f->mBitsPerChannel = 32;
        f->mFramesPerPacket = 1;
        f->mBytesPerFrame = 4;
        f->mBytesPerPacket = 4;
        f->mChannelsPerFrame =
            static_cast<UInt32>(bus->mNHostChannels < 0 ? bus->mNPlugChannels : bus->mNHostChannels);
      }
      return noErr;
    }
    case kAudioUnitProperty_ElementCount: {
      if (!fits(sizeof(UInt32))) return kTooSmall;
      if (pData) {
        UInt32 n = 0;
        if (scope == kAudioUnitScope_Input) n = static_cast<UInt32>(NInputBuses());
        else if (scope == kAudioUnitScope_Output) n = static_cast<UInt32>(NOutputBuses());
        else if (global) n = 1;
        *static_cast<UInt32*>(pData) = n;
      }
      return noErr;
    }
    case kAudioUnitProperty_Latency: {
      if (!global) return kAudioUnitErr_InvalidProperty;
      if (!fits(sizeof(Float64))) return kTooSmall;
      if (pData) *static_cast<Float64*>(pData) = GetLatency() / GetSampleRate();
      return noErr;
    }
    case kAudioUnitProperty_SupportedNumChannels: {
      if (!global) return kAudioUnitErr_InvalidProperty;
      const UInt32 n = static_cast<UInt32>(NChannelIO());
      if (!fits(n * 2 * sizeof(SInt16))) return kTooSmall;
      if (pData) {
        auto* pairs = static_cast<SInt16*>(pData);
        for (UInt32 i = 0; i < n; ++i) {
          const ChannelIO* io = GetChannelIO(static_cast<int>(i));
          TRACE("IO:%d:%d", io->mIn, io->mOut);
          pairs[2 * i] = static_cast<SInt16>(io->mIn);
          pairs[2 * i + 1] = static_cast<SInt16>(io->mOut);
        }
      }
      return noErr;
    }
    case kAudioUnitProperty_MaximumFramesPerSlice: {
      if (!global) return kAudioUnitErr_InvalidProperty;
      if (!fits(sizeof(UInt32))) return kTooSmall;
      *pWriteable = true;
      if (pData) *static_cast<UInt32*>(pData) = static_cast<UInt32>(GetBlockSize());
      return noErr;
    }
    case kAudioUnitProperty_ParameterValueStrings: {
      if (!global) return kAudioUnitErr_InvalidProperty;
      if (!ValidParam(element)) return kAudioUnitErr_InvalidParameter;
      const IParam* p = GetParam(static_cast<int>(element));
      const int n = p->GetNDisplayTexts();
      if (n == 0) {
        *pDataSize = 0;
        return kAudioUnitErr_InvalidProperty;
      }
      if (!fits(sizeof(CFArrayRef))) return kTooSmall;
      if (pData) {
        CFMutableArrayRef array = CFArrayCreateMutable(kCFAllocatorDefault, n, &kCFTypeArrayCallBacks);
        for (int i = 0; i < n; ++i) {
          CFStringRef s = MakeString(p->GetDisplayTextAtIdx(i));
          CFArrayAppendValue(array, s);
          CFRelease(s);
        }
        *static_cast<CFArrayRef*>(pData) = array;
      }
      return noErr;
    }
    case kAudioUnitProperty_GetUIComponentList: {
      if (!GetGUI()) return kAudioUnitErr_InvalidProperty;
      if (!fits(sizeof(ComponentDescription))) return kTooSmall;
      if (pData) {
        auto* cd = static_cast<ComponentDescription*>(pData);
        cd->componentType = kAudioUnitCarbonViewComponentType;
        cd->componentSubType = static_cast<OSType>(GetUniqueID());
        cd->componentManufacturer = static_cast<OSType>(GetMfrID());
        cd->componentFlags = 0;
        cd->componentFlagsMask = 0;
      }
      return noErr;
    }
    case kAudioUnitProperty_AudioChannelLayout: return kAudioUnitErr_InvalidPropertyValue;
    case kAudioUnitProperty_TailTime: {
      if (!global) return kAudioUnitErr_InvalidProperty;
      if (!fits(sizeof(Float64))) return kTooSmall;
      *pWriteable = GetTailSize() >= 1;
      if (pData) *static_cast<Float64*>(pData) = GetTailSize() / GetSampleRate();
      return noErr;
    }
    case kAudioUnitProperty_BypassEffect: {
      if (!global) return kAudioUnitErr_InvalidProperty;
      if (!fits(sizeof(UInt32))) return kTooSmall;
      *pWriteable = true;
      if (pData) *static_cast<UInt32*>(pData) = IsBypassed() ? 1 : 0;
      return noErr;
    }
    case kAudioUnitProperty_LastRenderError: {
      if (!global) return kAudioUnitErr_InvalidProperty;
      if (!fits(sizeof(OSStatus))) return kTooSmall;
      if (pData) *static_cast<OSStatus*>(pData) = noErr;
      return noErr;
    }
    case kAudioUnitProperty_SetRenderCallback: {
      if ((!global && scope != kAudioUnitScope_Input) || element >= mInBusConnections.size())
        return kAudioUnitErr_InvalidProperty;
      if (!fits(sizeof(AURenderCallbackStruct))) return kTooSmall;
      *pWriteable = true;
      return noErr;
    }
    case kAudioUnitProperty_FactoryPresets: {
      if (!fits(sizeof(CFArrayRef))) return kTooSmall;
      if (pData) {
        const int n = NPresets();
        CFMutableArrayRef array = CFArrayCreateMutable(kCFAllocatorDefault, n, &kCFAUPresetArrayCallBacks);
        if (!array) return coreFoundationUnknownErr;
        for (int i = 0; i < n; ++i) {
          CFStringRef name = MakeString(GetPresetName(i));
          CFAUPresetRef preset = CFAUPresetCreate(kCFAllocatorDefault, i, name);
          if (preset) {
            CFArrayAppendValue(array, preset);
            CFAUPresetRelease(preset);
          }
          CFRelease(name);
        }
        *static_cast<CFArrayRef*>(pData) = array;
      }
      return noErr;
    }
    case kAudioUnitProperty_HostCallbacks: {
      if (!global) return kAudioUnitErr_InvalidProperty;
      if (!fits(sizeof(HostCallbackInfo))) return kTooSmall;
      *pWriteable = true;
      return noErr;
    }
    case kAudioUnitProperty_CurrentPreset:
    case kAudioUnitProperty_PresentPreset: {
      if (!fits(sizeof(AUPreset))) return kTooSmall;
      *pWriteable = true;
      if (pData) {
        auto* preset = static_cast<AUPreset*>(pData);
        const int idx = GetCurrentPresetIdx();
        preset->presetNumber = idx;
        preset->presetName = MakeString(GetPresetName(idx));
      }
      return noErr;
    }
    case kAudioUnitProperty_ElementName: {
      const std::string* label = nullptr;
      if (scope == kAudioUnitScope_Output) {
        label = GetOutputBusLabel(static_cast<int>(std::min<AudioUnitElement>(element, 1u << 20)));
      } else if (scope == kAudioUnitScope_Input) {
        if (element > 1) return kAudioUnitErr_InvalidElement;
        label = GetInputBusLabel(static_cast<int>(element));
      } else {
        return kAudioUnitErr_InvalidScope;
      }
      if (!label) return kAudioUnitErr_InvalidElement;
      // Only a real get makes the string; an info request is refused.
      *pWriteable = false;
      if (!pData) {
        *pDataSize = sizeof(CFStringRef);
        return kAudioUnitErr_InvalidProperty;
      }
      if (!fits(sizeof(CFStringRef))) return kTooSmall;
      *static_cast<CFStringRef*>(pData) = MakeString(label->c_str());
      return noErr;
    }
    case kAudioUnitProperty_CocoaUI: {
      if (!GetGUI()) return kAudioUnitErr_InvalidProperty;
      if (!fits(sizeof(AudioUnitCocoaViewInfo))) return kTooSmall;
      if (pData) {
        CFStringRef id = MakeString(mBundleIdentifier.c_str());
        CFURLRef url = CFBundleCopyBundleURL(CFBundleGetBundleWithIdentifier(id));
        CFRelease(id);
        if (!url) return kAudioUnitErr_InvalidProperty;
        auto* info = static_cast<AudioUnitCocoaViewInfo*>(pData);
        info->mCocoaAUViewBundleLocation = url;
        info->mCocoaAUViewClass[0] = MakeString(mViewFactoryClassName.c_str());
      }
      return noErr;
    }
    case kAudioUnitProperty_SupportedChannelLayoutTags: {
      if (!IsInst() || NOutputBuses() == 1 || scope != kAudioUnitScope_Output) return kAudioUnitErr_InvalidProperty;
      const BusChannels* bus = GetBus(scope, element);
      if (!bus) return kAudioUnitErr_InvalidElement;
      if (!fits(sizeof(AudioChannelLayoutTag))) return kTooSmall;
      *pWriteable = true;
      if (pData) {
        AudioChannelLayoutTag tag = kAudioChannelLayoutTag_Unknown;
        if (bus->mNPlugChannels == 1) tag = kAudioChannelLayoutTag_Mono;
        else if (bus->mNPlugChannels == 2) tag = kAudioChannelLayoutTag_Stereo;
        *static_cast<AudioChannelLayoutTag*>(pData) = tag;
      }
      return noErr;
    }
    case kAudioUnitProperty_ParameterStringFromValue: {
      if (!global) return kAudioUnitErr_InvalidProperty;
      if (!fits(sizeof(AudioUnitParameterStringFromValue))) return kTooSmall;
      if (pData) {
        auto* sfv = static_cast<AudioUnitParameterStringFromValue*>(pData);
        if (!ValidParam(sfv->inParamID)) return kAudioUnitErr_InvalidParameter;
        const IParam* p = GetParam(static_cast<int>(sfv->inParamID));
        // Without a value the current one is shown.
        const double v = sfv->inValue ? *sfv->inValue : p->Value();
        if (!std::isfinite(v)) return kAudioUnitErr_InvalidPropertyValue;
        p->GetDisplayForHost(v, false, mValueStringBuffer, true, static_cast<int>(sizeof mValueStringBuffer));
        sfv->outString = MakeString(mValueStringBuffer);
      }
      return noErr;
    }
    case kAudioUnitProperty_ParameterIDName: {
      if (!global) return kAudioUnitErr_InvalidProperty;
      if (!fits(sizeof(AudioUnitParameterNameInfo))) return kTooSmall;
      if (pData) {
        auto* ni = static_cast<AudioUnitParameterNameInfo*>(pData);
        if (!ValidParam(ni->inID)) return kAudioUnitErr_InvalidParameter;
        char name[32];
        std::strncpy(name, GetParam(static_cast<int>(ni->inID))->GetNameForHost(), sizeof name - 1);
        name[sizeof name - 1] = '\0';
        if (ni->inDesiredLength != kAudioUnitParameterName_Full) {
          const SInt32 len = std::clamp<SInt32>(ni->inDesiredLength, 0, 31);
          name[len] = '\0';
        }
        ni->outName = MakeString(name);
      }
      return noErr;
    }
    case kAudioUnitProperty_ParameterClumpName: {
      if (!global) return kAudioUnitErr_InvalidProperty;
      if (!fits(sizeof(AudioUnitParameterNameInfo))) return kTooSmall;
      if (pData) {
        auto* ni = static_cast<AudioUnitParameterNameInfo*>(pData);
        const std::vector<const char*>& groups = ParamGroups();
        if (ni->inID < 1 || ni->inID > groups.size()) return kAudioUnitErr_PropertyNotInUse;
        ni->outName = MakeString(groups[ni->inID - 1]);
      }
      return noErr;
    }
    case kAudioUnitProperty_ParameterValueFromString: {
      if (!global) return kAudioUnitErr_InvalidProperty;
      if (!fits(sizeof(AudioUnitParameterValueFromString))) return kTooSmall;
      if (pData) {
        auto* vfs = static_cast<AudioUnitParameterValueFromString*>(pData);
        if (!ValidParam(vfs->inParamID)) return kAudioUnitErr_InvalidParameter;
        const char* text = CFStringGetCStringPtr(vfs->inString, kCFStringEncodingUTF8);
        if (!text) return kAudioUnitErr_InvalidPropertyValue;
        const IParam* p = GetParam(static_cast<int>(vfs->inParamID));
        if (p->GetNDisplayTexts() == 0) {
          double v = std::strtod(text, nullptr);
          if (!std::isfinite(v)) return kAudioUnitErr_InvalidPropertyValue;
          vfs->outValue = static_cast<AudioUnitParameterValue>(p->DisplayIsNegated() ? -v : v);
        } else {
          int v = 0;
          if (p->MapDisplayText(text, &v)) vfs->outValue = static_cast<AudioUnitParameterValue>(v);
        }
      }
      return noErr;
    }
    case kMusicDeviceProperty_InstrumentCount: {
      if (!global || !IsInst()) return kAudioUnitErr_InvalidProperty;
      if (!fits(sizeof(UInt32))) return kTooSmall;
      if (pData) *static_cast<UInt32*>(pData) = 1;
      return noErr;
    }
    default: return kAudioUnitErr_InvalidProperty;
  }
}

// ---- Property set ----

ComponentResult IPluginAU::SetProperty(AudioUnitPropertyID propID, AudioUnitScope scope, AudioUnitElement element,
                                       UInt32* pDataSize, const void* pData) {
  TRACE("(%d):(%d):%d", propID, scope, element);
  // A listener typically reads the property back, so it hears of a change
  // once the change is made, and never of one that was refused.
  const ComponentResult r = ChangeProperty(propID, scope, element, pDataSize, pData);
  if (r == noErr) InformListeners(propID, scope);
  return r;
}

ComponentResult IPluginAU::ChangeProperty(AudioUnitPropertyID propID, AudioUnitScope scope, AudioUnitElement element,
                                          UInt32* pDataSize, const void* pData) {
  // Rate, slice size and formats size the buffers that a fast-dispatch
  // render uses without the mutex: an initialised unit takes no change to
  // them (the value it already has is no change).
  const bool initialized = IsInitialized();
  // Data the property reads must be there and big enough.
  auto has = [&](size_t need) { return pData && *pDataSize >= need; };
  constexpr ComponentResult kBadValue = kAudioUnitErr_InvalidPropertyValue;

  switch (propID) {
    case kAudioUnitProperty_ClassInfo:
      if (!has(sizeof(CFPropertyListRef))) return kBadValue;
      return SetState(*static_cast<const CFPropertyListRef*>(pData));
    case kAudioUnitProperty_MakeConnection: {
      if (scope != kAudioUnitScope_Input && scope != kAudioUnitScope_Global) return kAudioUnitErr_InvalidProperty;
      if (!has(sizeof(AudioUnitConnection))) return kBadValue;
      const auto* conn = static_cast<const AudioUnitConnection*>(pData);
      if (conn->destInputNumber >= mInBusConnections.size()) return kAudioUnitErr_InvalidProperty;
      InputBusConnection* in = mInBusConnections[conn->destInputNumber].get();
      *in = InputBusConnection();
      ComponentResult r = noErr;
      if (AudioUnit src = conn->sourceAudioUnit) {
        AudioStreamBasicDescription format{};
        UInt32 size = sizeof format;
        r = AudioUnitGetProperty(src, kAudioUnitProperty_StreamFormat, kAudioUnitScope_Output,
                                 conn->sourceOutputNumber, &format, &size);
        if (r == noErr) {
          UInt32 formatSize = sizeof format;
          r = SetProperty(kAudioUnitProperty_StreamFormat, kAudioUnitScope_Input, conn->destInputNumber, &formatSize,
                          &format);
        }
        if (r == noErr) {
          in->mUpstreamUnit = src;
          in->mUpstreamBusIdx = static_cast<int>(conn->sourceOutputNumber);
          AudioUnitRenderProc proc = nullptr;
          UInt32 size2 = sizeof proc;
          if (AudioUnitGetProperty(src, kAudioUnitProperty_FastDispatch, kAudioUnitScope_Global,
                                   kAudioUnitRenderSelect, &proc, &size2) == noErr &&
              proc) {
            in->mUpstreamRenderProc = proc;
            in->mUpstreamObj = GetComponentInstanceStorage(src);
          }
        }
      }
      AssessInputConnections();
      return r;
    }
    case kAudioUnitProperty_SampleRate: {
      if (!has(sizeof(Float64))) return kBadValue;
      Float64 rate;
      std::memcpy(&rate, pData, sizeof rate);
      if (!(rate >= kMinSampleRate && rate <= kMaxSampleRate)) return kBadValue;
      if (initialized) return rate == GetSampleRate() ? noErr : kAudioUnitErr_Initialized;
      SetSampleRate(rate);
      Reset();
      return noErr;
    }
    case kAudioUnitProperty_StreamFormat: {
      BusChannels* bus = GetBusMutable(scope, element);
      if (!bus) return kAudioUnitErr_InvalidProperty;
      if (!has(sizeof(AudioStreamBasicDescription))) return kBadValue;
      AudioStreamBasicDescription f;
      std::memcpy(&f, pData, sizeof f);
      const int nChannels = f.mChannelsPerFrame > 1024 ? 1024 : static_cast<int>(f.mChannelsPerFrame);
      const bool rateOK = f.mSampleRate == 0.0 || (f.mSampleRate >= kMinSampleRate && f.mSampleRate <= kMaxSampleRate);
      const bool linearPCM = f.mFormatID == kAudioFormatLinearPCM;
      const bool canonical = (f.mFormatFlags & (kAudioFormatFlagIsFloat | kAudioFormatFlagIsPacked)) != 0;
      const int before = bus->mNHostChannels;
      if (initialized) {
        const int current = before < 0 ? bus->mNPlugChannels : before;
        const bool same = linearPCM && canonical && nChannels == current &&
                          (f.mSampleRate == 0.0 || f.mSampleRate == GetSampleRate());
        if (!same) return kAudioUnitErr_Initialized;
        bus->mNHostChannels = nChannels;  // now configured, at the count it had
        return noErr;
      }
      bus->mNHostChannels = 0;
      const bool connectionOK = nChannels >= 1 && CheckLegalIO(scope, static_cast<int>(element), nChannels);
      TRACE("%d:%d:%s:%s:%s", nChannels, element, connectionOK ? "connectionOK" : "connectionNotOK",
            canonical ? "canonicalFormat" : "notCanonicalFormat", linearPCM ? "linearPCM" : "notLinearPCM");
      if (!connectionOK || !linearPCM || !canonical || !rateOK) {
        bus->mNHostChannels = before;  // a refused format changes nothing
        return kBadValue;
      }
      bus->mNHostChannels = nChannels;
      if (f.mSampleRate > 0.0) SetSampleRate(f.mSampleRate);
      AssessInputConnections();
      return noErr;
    }
    case kAudioUnitProperty_MaximumFramesPerSlice: {
      if (!has(sizeof(UInt32))) return kBadValue;
      UInt32 n;
      std::memcpy(&n, pData, sizeof n);
      if (n < 1 || n > static_cast<UInt32>(kMaxBlockSize)) return kBadValue;
      if (initialized) return static_cast<int>(n) == GetBlockSize() ? noErr : kAudioUnitErr_Initialized;
      SetBlockSize(static_cast<int>(n));
      Reset();
      return noErr;
    }
    case kAudioUnitProperty_BypassEffect: {
      if (!has(sizeof(UInt32))) return kBadValue;
      UInt32 v;
      std::memcpy(&v, pData, sizeof v);
      SetBypassed(v != 0);
      OnActivate(!IsBypassed());
      // Hosts expect silence on either side of a bypass.
      ResetAndSilence();
      return noErr;
    }
    case kAudioUnitProperty_SetRenderCallback: {
      if (scope != kAudioUnitScope_Input || element >= mInBusConnections.size()) return kAudioUnitErr_InvalidProperty;
      if (!has(sizeof(AURenderCallbackStruct))) return kBadValue;
      InputBusConnection* in = mInBusConnections[element].get();
      *in = InputBusConnection();
      AURenderCallbackStruct cb;
      std::memcpy(&cb, pData, sizeof cb);
      if (cb.inputProc) in->mUpstreamRenderCallback = cb;
      AssessInputConnections();
      return noErr;
    }
    case kAudioUnitProperty_HostCallbacks: {
      if (scope != kAudioUnitScope_Global) return kAudioUnitErr_InvalidProperty;
      if (!has(sizeof(HostCallbackInfo))) return kBadValue;
      std::memcpy(&mHostCallbackInfo, pData, sizeof mHostCallbackInfo);
      return noErr;
    }
    case kAudioUnitProperty_CurrentPreset:
    case kAudioUnitProperty_PresentPreset: {
      if (!has(sizeof(AUPreset))) return kBadValue;
      const auto* preset = static_cast<const AUPreset*>(pData);
      return RestorePreset(preset->presetNumber) ? noErr : kBadValue;
    }
    case kAudioUnitProperty_OfflineRender: {
      if (!has(sizeof(UInt32))) return kBadValue;
      UInt32 v;
      std::memcpy(&v, pData, sizeof v);
      mIsOfflineRender = v != 0;
      return noErr;
    }
    case kAudioUnitProperty_AUHostIdentifier: {
      if (!has(sizeof(AUHostIdentifier))) return kBadValue;
      const auto* id = static_cast<const AUHostIdentifier*>(pData);
      const char* name = CFStringGetCStringPtr(id->hostName, kCFStringEncodingUTF8);
      if (!name) return kBadValue;
      const AUNumVersion& v = id->hostVersion;
      const int version = (v.majorRev << 16) + ((v.minorAndBugRev >> 4) << 8) + (v.minorAndBugRev & 0xF);
      SetHost(name, version);
      OnHostIdentified();
      return noErr;
    }
    default: return kAudioUnitErr_InvalidProperty;
  }
}
